#pragma once

#include "app/bytes.h"
#include "registration/registration_record.h"
#include "session/list_merge.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// The "getlost.php" reply, read.
struct LostChangesReply {
    enum class Kind { NoChange, Changes, Malformed } kind = Kind::NoChange;
    ListChanges changes;
};

// The service as the session uses it. Nothing (nullopt / false) means the
// request failed in transport, which stops the session as a software error.
class SessionService {
public:
    SessionService() = default;
    virtual ~SessionService() = default;
    SessionService(const SessionService&) = delete;
    SessionService& operator=(const SessionService&) = delete;

    virtual bool Register(const RegistrationRecord& record, std::int64_t scannerSerial) = 0;
    // False also when the service did not answer with a 2xx status: the scan
    // log must then not be cleared.
    virtual bool UploadScans(const std::string& scanList) = 0;
    virtual std::optional<LostChangesReply> FetchLostChanges(double lastUpdate, int country,
                                                             const std::string& version) = 0;
    virtual std::optional<double> FetchServiceTime() = 0;
    // Entries 0..256 of the organisation table, as single-byte texts.
    virtual std::optional<std::vector<Bytes>> FetchOrganisationTable(int country) = 0;
};

// Waits that the session makes on purpose (the reset's 31 seconds, the
// pause after an erase); tests pass one that does not sleep.
using Sleeper = std::function<void(std::chrono::milliseconds)>;
void SleepFor(std::chrono::milliseconds duration);

} // namespace tallybird
