#pragma once

#include "base/bytes.h"
#include "link/serial_port.h"
#include "platform/clock.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tallybird {

// The reply buffer has cells 0..2,000,000. A full "UP" reply (250,001
// records of 7 bytes and the six-byte terminator) is 1,750,013 bytes.
inline constexpr std::size_t kReplyBufferCells = 2'000'001;
inline constexpr std::size_t kFullUploadReplyBytes = 250'001 * 7 + 6;
static_assert(kFullUploadReplyBytes < kReplyBufferCells);

// Why a command did not complete. "EF" and "DL" are never reported as failed,
// but their reason still tells what happened.
enum class FailReason {
    kNone,      // the reply is complete
    kTimeLimit, // the time limit passed first (no reply, too short, too long, no rule)
    kOverflow,  // the reply outgrew the reply buffer: failed at once, nothing overflows
    kPortError, // the port is not open, or the device failed or went away
};

// The result of `SendCommand`: `failed` is its failure flag.
struct CommandResult {
    bool failed = false;
    FailReason reason = FailReason::kNone;

    bool Ok() const { return !failed; }
};

// The completion rules of the scanner's commands.
enum class CompletionKind {
    kNever,       // no row matches: the command ends by its time limit
    kExactLength, // complete while `ReplyLength` equals `length`
    kFirstByteZ,  // complete while the first reply byte is 90 ("Z")
    kTerminator,  // six bytes 255 ending at the last 255 of a chunk
    kAnyData,     // complete on the first chunk ("LP"); never turns back
};

struct CompletionRule {
    CompletionKind kind = CompletionKind::kNever;
    std::size_t length = 0;
};

// Rows matched on the whole text apply only without argument bytes; rows
// matched on the first two characters apply whatever follows.
CompletionRule CompletionRuleFor(ByteView command);

// 600 s for exactly "UP", 10 s for exactly "CE", 2 s for every other text.
std::chrono::milliseconds TimeLimitFor(ByteView command);

// A command text as bytes: every character stands for one byte 0..255.
Bytes CommandBytes(std::string_view code, ByteView arguments = {});
// What goes on the wire for a command text: the text and one carriage
// return; nothing else frames it.
Bytes FramedCommand(ByteView command);

// Receives each "Progress: ..." caption the transport produces.
using CaptionSink = std::function<void(const std::string& caption)>;

// Receives the progress of a list read-back ("UP") as numbers: the bytes
// received so far and the size of a full read-back. A list is usually
// shorter than the full size, so the read-back ends with one last report
// whose `done` equals its `total` (the bytes it brought, 0 when none came).
using ProgressSink = std::function<void(int done, int total)>;

// The command transport on one serial port: frames a command,
// sends it, collects the reply into the reply buffer and decides by the
// command's rule when it is complete. Plain blocking code: it waits on the
// port itself (SerialPort::WaitForData), on whatever thread calls it, and
// measures its time limits on the injected monotonic clock.
class Transport {
public:
    // Both must outlive the transport. The caller opens and closes the port.
    Transport(SerialPort& port, const Clock& clock);
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Sends the command text and a CR and waits for the reply.
    // Bytes received while no command was pending are dropped first. After
    // a result that is not failed the reply is Reply().
    CommandResult SendCommand(ByteView command);
    CommandResult SendCommand(std::string_view command);

    // Cells 0 .. ReplyLength()-1 of the reply buffer; valid until the next
    // command. Filled also when the command failed (what arrived in time).
    ByteView Reply() const { return ByteView(replyBuffer_.data(), replyLength_); }
    std::int32_t ReplyLength() const { return static_cast<std::int32_t>(replyLength_); }
    // The whole buffer, allocated once at its full size and reused.
    const Bytes& WholeReplyBuffer() const { return replyBuffer_; }

    // "Progress: Uploading:- k" during "UP"; passed on each time k changes.
    void SetCaptionSink(CaptionSink sink) { captionSink_ = std::move(sink); }
    // The same read-back in numbers: after each chunk, and once at its end.
    void SetProgressSink(ProgressSink sink) { progressSink_ = std::move(sink); }

    SerialPort& Port() { return port_; }
    const SerialPort& Port() const { return port_; }

private:
    void DropWaitingBytes();
    // Reads one chunk (if any) into the buffer and applies the rule; false
    // when bytes are waiting but the buffer is full.
    bool ReceiveChunk(std::size_t& got);
    void ApplyRule(std::size_t chunkLength);
    bool TerminatorComplete(std::size_t chunkLength) const;
    void UpdateUploadCaption();
    void ReportUploadProgress(std::size_t done, std::size_t total) const;

    SerialPort& port_;
    const Clock& clock_;
    Bytes replyBuffer_;
    std::size_t replyLength_ = 0;
    bool replyComplete_ = false;
    CompletionRule rule_;
    bool uploading_ = false;
    long lastCaptionK_ = 0;
    CaptionSink captionSink_;
    ProgressSink progressSink_;
    std::array<std::uint8_t, 4096> dropBuffer_{};
};

} // namespace tallybird
