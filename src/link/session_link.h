#pragma once

#include "base/bytes.h"

#include <chrono>
#include <functional>
#include <string>

namespace tallybird {

// The scanner as the session drives it: its port and the command transport.
class SessionLink {
public:
    SessionLink() = default;
    virtual ~SessionLink() = default;
    SessionLink(const SessionLink&) = delete;
    SessionLink& operator=(const SessionLink&) = delete;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Why the last Open failed, in the system's words; empty when unknown.
    virtual std::string OpenFailureText() const { return {}; }
    // The command text (code and argument bytes) goes out with its carriage
    // return; true when a complete reply came in time.
    [[nodiscard]] virtual bool SendCommand(ByteView commandText) = 0;
    // The reply of the last command that did not fail.
    virtual ByteView Reply() const = 0;
};

} // namespace tallybird
