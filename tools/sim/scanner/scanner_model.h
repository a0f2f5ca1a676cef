#pragma once

#include "flash_memory.h"

#include <QJsonObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tallybird::sim {

// How the simulated scanner is set up and how it misbehaves.
struct ScannerConfig {
    std::uint32_t serial = 66051;     // wire value ("SN")
    std::string version = "W2";       // "VR": first character, then a number 0..255
    std::uint32_t timeStamp = 0;      // "TN"
    std::string paReply = "KivoS";    // "PA": at least 5 bytes holding "Kivo"
    int stopAfter = 0;                // answer no command after the k-th (0: never)
    std::set<std::string> silent;     // codes never answered
    std::set<std::string> garbage;    // codes answered with garbage of the same length
    std::set<std::string> shortReply; // codes whose reply loses its last byte
    std::set<std::string> extra;      // codes whose reply gets three bytes more
    int dropAfter = 0;                // drop the link at the k-th command (0: never)
    std::size_t dropAfterBytes = 0;   // ... after sending this many bytes of its reply
};

// What the scanner sends back for one command.
struct Reply {
    Bytes bytes;
    bool dropLink = false;     // drop the link once `keepBytes` are sent
    std::size_t keepBytes = 0; // reply bytes sent before the link drops
};

// 7-byte list record and 6-byte scan-log record of a
// 15-digit chip number text.
Bytes ListRecordFor(const std::string& chipText, std::uint8_t attribute);
Bytes ScanRecordFor(const std::string& chipText);
// The 15-digit text of a 6-byte scan-log record.
std::string ChipTextOfScanRecord(ByteView record);

// The Kivo Scanner's command handling over a NOR-flash memory. Framing: a
// command is a two-letter code, its known number of argument bytes (any
// values, 13 included) and a CR; see Feed() for "WR".
class ScannerModel {
public:
    explicit ScannerModel(ScannerConfig config);

    // Memory areas: list, scan log, organisations.
    int FlashTopByte() const;
    int LastSector() const;
    std::uint32_t ScanLogStart() const;
    std::uint32_t ListMemoryEnd() const;

    // Bytes received from the program. Returns the replies of every command
    // that completed, in order; each command is also passed to the log sink
    // as "CODE HH HH ..." (argument bytes in hex).
    //
    // "WR" framing: 3 address bytes and 7 data bytes are taken by count (the
    // session always sends exactly 7); when the byte after
    // them is not the CR, the bytes up to the next CR are further data (at
    // most 256 data bytes in all). Every other command takes its fixed count
    // and then expects the CR; a command with more argument bytes than its
    // count is logged and not answered. IdleFlush() ends a command whose
    // bytes stopped arriving at its last CR (a shorter "WR").
    std::vector<Reply> Feed(ByteView bytes);
    std::vector<Reply> IdleFlush();
    bool MidCommand() const { return !pending_.empty(); }

    // A chip read by the scanner: appended to the scan log; in keyboard mode
    // also returned as its text and a CR, to be sent at once.
    std::optional<Bytes> Scan(ByteView scanRecord);
    // Unplugging forgets a half-received command and leaves keyboard mode.
    void Unplugged();

    // A fault set while the scanner runs ("stop-after K", "drop-after K[:N]",
    // "silent CODE", "garbage CODE", "short CODE", "extra CODE"); counts
    // start from the next command. False for an unknown fault or a bad value.
    bool SetFault(const std::string& kind, const std::string& value);
    // No fault from now on.
    void ClearFaults();

    FlashMemory& Memory() { return memory_; }
    const FlashMemory& Memory() const { return memory_; }
    bool KeyboardMode() const { return keyboardMode_; }
    int CommandCount() const { return commandCount_; }
    std::uint32_t TimeStamp() const { return config_.timeStamp; }

    // Everything worth checking: identity, time stamp, list records, scan
    // log, organisation texts and (with `withMemory`) the memory in base64.
    QJsonObject Dump(bool withMemory) const;

    // Scan-log records (6 bytes each) up to the first erased one.
    std::vector<Bytes> ScanLogRecords() const;
    // List records (7 bytes each) from address 0 up to the first erased one.
    std::size_t ListRecordCount() const;

    std::function<void(const std::string&)> logSink;

private:
    std::optional<Reply> Execute(const std::string& code, const Bytes& args);
    Bytes Answer(const std::string& code, const Bytes& args);
    void Log(const std::string& code, const Bytes& args) const;
    std::optional<Reply> Finish(bool wellFormed);

    ScannerConfig config_;
    FlashMemory memory_;
    bool keyboardMode_ = false;
    int commandCount_ = 0;
    std::uint32_t garbageSeed_ = 12345;
    Bytes pending_; // bytes of the command being received
};

} // namespace tallybird::sim
