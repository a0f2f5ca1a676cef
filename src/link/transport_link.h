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
    bool SendCommand(ByteView commandText) override {
        return transport_.SendCommand(commandText).failed;
    }
    ByteView Reply() const override { return transport_.Reply(); }

private:
    Transport& transport_;
    std::filesystem::path device_;
};

} // namespace tallybird
