#pragma once

#include "link/session_link.h"
#include "link/transport.h"

#include <filesystem>

namespace tallybird {

// The session's link: the transport on the port of one device.
class TransportLink final : public SessionLink {
public:
    TransportLink(Transport& transport, std::filesystem::path device)
        : transport_(transport), device_(std::move(device)) {}

    bool Open() override {
        transport_.Port().SetDevice(device_);
        return transport_.Port().Open();
    }
    void Close() override { transport_.Port().Close(); }
    bool IsOpen() const override { return transport_.Port().IsOpen(); }
    std::string OpenFailureText() const override {
        return transport_.Port().LastOpenFailure().text;
    }
    [[nodiscard]] bool SendCommand(ByteView commandText) override {
        lastResult_ = transport_.SendCommand(commandText);
        return lastResult_.Ok();
    }
    // The transport's result of the last command, with the reason it failed.
    const CommandResult& LastResult() const { return lastResult_; }
    ByteView Reply() const override { return transport_.Reply(); }

private:
    Transport& transport_;
    std::filesystem::path device_;
    CommandResult lastResult_;
};

} // namespace tallybird
