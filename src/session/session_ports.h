#pragma once

#include "app/bytes.h"

#include <chrono>
#include <functional>

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
    // `SendCommand`: the command text (code and argument bytes) goes out
    // with its carriage return; true when no complete reply came in time.
    virtual bool SendCommand(ByteView commandText) = 0;
    // The reply of the last command that did not fail.
    virtual ByteView Reply() const = 0;
};

// Waits that the session makes on purpose (the reset's 31 seconds, the
// pause after an erase); tests pass one that does not sleep.
using Sleeper = std::function<void(std::chrono::milliseconds)>;
void SleepFor(std::chrono::milliseconds duration);

} // namespace tallybird
