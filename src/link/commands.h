#pragma once

#include "base/bytes.h"
#include "link/session_link.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tallybird {

// The scanner's command set, one function per command, over the session's
// link. Every command's bytes are built here and nowhere else. Arguments go
// in, the decoded reply comes out; a failed command is a value (false, or a
// ReadResult without a value), never an exception. Replies returned as
// ByteView point into the link's reply and stay valid until the next command.
//
//   "SN" ReadSerialNumber   "VR" ReadVersion        "VY" AcknowledgeVersion
//   "SC" ReadScanLogRecords "TN" ReadTimeStamp      "TW" WriteTimeStamp
//   "UP" ReadListRecords    "DL" EnterDownloadMode  "CC" ClearScanCount
//   "SE" EraseSector        "WE" EnableWrites       "CE" EraseAllMemory
//   "RD" ReadMemory         "WR" WriteBytes         "EF" Sleep
//   "RO" SetKeyboardMode    "LP" SignalSessionEnd   "PA" ReadIdentity
//   "CN" ReadScanCount (in the completion table; no step sends it)

// A memory address on the wire: three bytes, most significant first.
std::array<std::uint8_t, 3> AddressBytes(std::uint32_t address);
// A time stamp on the wire: four bytes, most significant first.
std::array<std::uint8_t, 4> TimeStampBytes(std::uint32_t seconds);
// The version text of a "VR" reply: V0 as a Windows-1252 character, then V1
// in decimal (72, 1 give "H1"; 87, 12 give "W12").
std::string VersionText(std::uint8_t v0, std::uint8_t v1);
// Start of scan-log sector `index` (0..3): FlashTopByte x 65536 + 40960 +
// index x 4096.
std::uint32_t ScanLogSectorAddress(int flashTopByte, int index);
// Organisation slot k (0..255): FlashTopByte x 65536 + 0xE000 + 32 k. The
// 256 slots fill the two sectors from slot 0.
std::uint32_t OrganisationSlotAddress(int flashTopByte, int slot);

// The decoded reply of a command that reads something: a value, or why there
// is none. A reply shorter than its decoding needs cannot come through the
// transport (its completion rules check the length) but is told apart from a
// failed command, so a link that lets one through is not believed.
template <typename T> class ReadResult {
public:
    ReadResult(T value) : value_(std::move(value)) {} // NOLINT: a value reads as success
    static ReadResult CommandFailed() { return ReadResult(Status::kCommandFailed); }
    static ReadResult ShortReply() { return ReadResult(Status::kShortReply); }

    bool has_value() const { return value_.has_value(); }
    explicit operator bool() const { return has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return &*value_; }
    // The command itself failed: no complete reply in time.
    bool Failed() const { return status_ == Status::kCommandFailed; }
    // The command completed but its reply is too short to decode.
    bool Short() const { return status_ == Status::kShortReply; }

    friend bool operator==(const ReadResult& result, const T& value) {
        return result.value_ == value;
    }

private:
    enum class Status { kOk, kCommandFailed, kShortReply };
    explicit ReadResult(Status status) : status_(status) {}

    std::optional<T> value_;
    Status status_ = Status::kOk;
};

// Any command: code text and argument bytes, framed and sent. True when a
// complete reply came in time.
[[nodiscard]] bool SendCode(SessionLink& link, std::string_view code, ByteView arguments = {});

// "SN": the 24-bit wire serial S2 x 65536 + S1 x 256 + S0.
ReadResult<std::uint32_t> ReadSerialNumber(SessionLink& link);
// "VR": the version text ("H1", "W2", "W12").
ReadResult<std::string> ReadVersion(SessionLink& link);
// "VY" with one byte (the session sends 2 for every version but "H1").
[[nodiscard]] bool AcknowledgeVersion(SessionLink& link, std::uint8_t value = 2);
// "SC": the scan-log records of 6 bytes followed by the six bytes 255.
std::optional<ByteView> ReadScanLogRecords(SessionLink& link);
// "TN": T3 x 16777216 + T2 x 65536 + T1 x 256 + T0.
ReadResult<std::uint32_t> ReadTimeStamp(SessionLink& link);
// "TW" with the four time-stamp bytes.
[[nodiscard]] bool WriteTimeStamp(SessionLink& link, std::uint32_t seconds);
// "UP" (600-second limit): list records of 7 bytes, then six bytes 255.
std::optional<ByteView> ReadListRecords(SessionLink& link);
// "DL": readies the scanner for its memory to be programmed; the transport
// never reports it as failed.
bool EnterDownloadMode(SessionLink& link);
// "CC": clears the count of scanned chips (before the scan-log sectors are
// erased).
[[nodiscard]] bool ClearScanCount(SessionLink& link);
// "SE" with the address bytes of the 4096-byte sector that holds `address`.
[[nodiscard]] bool EraseSector(SessionLink& link, std::uint32_t address);
// "WE": allows writes into the memory (part of the reset).
[[nodiscard]] bool EnableWrites(SessionLink& link);
// "CE": erases the whole memory (part of the reset, 10-second limit).
[[nodiscard]] bool EraseAllMemory(SessionLink& link);
// "RD": the memory from `address`; 32 bytes as the transport completes it.
std::optional<ByteView> ReadMemory(SessionLink& link, std::uint32_t address);
// "WR": programs `data` at `address` (the session always sends 7 data bytes).
[[nodiscard]] bool WriteBytes(SessionLink& link, std::uint32_t address, ByteView data);
// "EF": puts the scanner to sleep; the transport never reports it as failed.
bool Sleep(SessionLink& link);
// "RO" with one byte: 1 turns keyboard mode on.
[[nodiscard]] bool SetKeyboardMode(SessionLink& link, std::uint8_t mode = 1);
// "LP": the last command of a session; complete on any data, and the session
// does not check its result.
bool SignalSessionEnd(SessionLink& link);
// "PA" over the link: complete at exactly 5 bytes; the reply as text.
std::optional<std::string> ReadIdentity(SessionLink& link);
// "CN": the number of scanned chips, three bytes most significant first.
ReadResult<std::uint32_t> ReadScanCount(SessionLink& link);

} // namespace tallybird
