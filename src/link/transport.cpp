#include "link/transport.h"

#include "base/leading_number.h"

#include <algorithm>

namespace tallybird {

namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kZ = 90;
constexpr std::uint8_t kTerminatorByte = 255;
constexpr std::size_t kTerminatorLength = 6;
// A chunk at least this long means the reply streams in faster than it is
// read (a pty hands over up to 4095 bytes per read): read again at once.
constexpr std::size_t kStreamingChunk = 2048;

// "UP" waits for a whole list read-back; "CE" (chip erase) is slow.
constexpr milliseconds kUploadLimit{600'000};
constexpr milliseconds kChipEraseLimit{10'000};
constexpr milliseconds kDefaultLimit{2'000};

bool IsExactly(ByteView command, std::string_view text) {
    return command.size() == text.size() &&
           std::equal(text.begin(), text.end(), command.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool StartsWith(ByteView command, std::string_view code) {
    return command.size() >= code.size() && IsExactly(command.first(code.size()), code);
}

struct RuleRow {
    std::string_view code;
    bool wholeText;
    CompletionRule rule;
};

// The completion table, in its order.
constexpr RuleRow kRules[] = {
    {"UP", true, {CompletionKind::kTerminator, 0}},
    {"CN", true, {CompletionKind::kExactLength, 3}},
    {"VR", true, {CompletionKind::kExactLength, 2}},
    {"RO", false, {CompletionKind::kFirstByteZ, 0}},
    {"VY", false, {CompletionKind::kFirstByteZ, 0}},
    {"SC", true, {CompletionKind::kTerminator, 0}},
    {"EF", true, {CompletionKind::kExactLength, 1}},
    {"SN", true, {CompletionKind::kExactLength, 3}},
    {"TN", true, {CompletionKind::kExactLength, 4}},
    {"PA", true, {CompletionKind::kExactLength, 5}},
    {"RD", false, {CompletionKind::kExactLength, 32}},
    {"SE", false, {CompletionKind::kFirstByteZ, 0}},
    {"WR", false, {CompletionKind::kFirstByteZ, 0}},
    {"DL", false, {CompletionKind::kFirstByteZ, 0}},
    {"TW", false, {CompletionKind::kFirstByteZ, 0}},
    {"CC", false, {CompletionKind::kFirstByteZ, 0}},
    {"LP", false, {CompletionKind::kAnyData, 0}},
    {"WE", false, {CompletionKind::kFirstByteZ, 0}},
    {"CE", false, {CompletionKind::kFirstByteZ, 0}},
};

// Whole milliseconds, rounded up, so a wait never ends just before its limit.
milliseconds CeilMs(Clock::TimePoint::duration d) {
    return std::chrono::ceil<milliseconds>(d);
}

} // namespace

CompletionRule CompletionRuleFor(ByteView command) {
    for (const auto& row : kRules) {
        if (row.wholeText ? IsExactly(command, row.code) : StartsWith(command, row.code)) {
            return row.rule;
        }
    }
    return {};
}

milliseconds TimeLimitFor(ByteView command) {
    if (IsExactly(command, "UP")) {
        return kUploadLimit;
    }
    if (IsExactly(command, "CE")) {
        return kChipEraseLimit;
    }
    return kDefaultLimit;
}

Bytes FramedCommand(ByteView command) {
    Bytes framed(command.begin(), command.end());
    framed.push_back(kCarriageReturn);
    return framed;
}

Bytes CommandBytes(std::string_view code, ByteView arguments) {
    Bytes bytes(code.begin(), code.end());
    bytes.insert(bytes.end(), arguments.begin(), arguments.end());
    return bytes;
}

Transport::Transport(SerialPort& port, const Clock& clock)
    : port_(port), clock_(clock), replyBuffer_(kReplyBufferCells) {}

CommandResult Transport::SendCommand(std::string_view command) {
    return SendCommand(
        ByteView(reinterpret_cast<const std::uint8_t*>(command.data()), command.size()));
}

CommandResult Transport::SendCommand(ByteView command) {
    const milliseconds limit = TimeLimitFor(command);
    // "EF" (sleep) and "DL" never report failure, complete or not.
    const bool neverFails = IsExactly(command, "EF") || IsExactly(command, "DL");

    // The link was idle until now: what arrived meanwhile is dropped.
    DropWaitingBytes();
    rule_ = CompletionRuleFor(command);
    uploading_ = IsExactly(command, "UP");
    lastCaptionK_ = 0;
    replyLength_ = 0;
    replyComplete_ = false;

    FailReason reason = FailReason::kTimeLimit;
    if (!port_.Write(FramedCommand(command))) {
        reason = FailReason::kPortError;
    } else {
        const auto start = clock_.Now();
        std::size_t lastChunk = 0;
        while (!replyComplete_) {
            const auto elapsed = clock_.Now() - start;
            if (elapsed >= limit) {
                break;
            }
            // After a large chunk the next one is usually there already: read
            // at once. Otherwise block on the port until bytes come.
            if (lastChunk < kStreamingChunk) {
                const WaitResult waited = port_.WaitForData(CeilMs(limit - elapsed));
                if (waited == WaitResult::kBroken) {
                    reason = FailReason::kPortError;
                    break;
                }
                if (waited == WaitResult::kTimeout) {
                    continue;
                }
            }
            lastChunk = 0;
            if (!ReceiveChunk(lastChunk)) {
                reason = FailReason::kOverflow;
                break;
            }
        }
    }
    if (uploading_) {
        // The read-back is over, whole or not: its bar closes.
        ReportUploadProgress(replyLength_, replyLength_);
    }
    uploading_ = false;
    if (replyComplete_) {
        return {false, FailReason::kNone};
    }
    return {!neverFails, reason};
}

void Transport::DropWaitingBytes() {
    // Bounded, so a device that never stops sending cannot hold us here.
    std::size_t dropped = 0;
    while (dropped < kReplyBufferCells && port_.BytesWaiting() > 0) {
        const std::size_t got = port_.Read(dropBuffer_);
        if (got == 0) {
            break;
        }
        dropped += got;
    }
}

bool Transport::ReceiveChunk(std::size_t& got) {
    if (replyLength_ >= replyBuffer_.size()) {
        // More bytes than the reply buffer holds: stop storing and fail at once.
        return port_.BytesWaiting() == 0;
    }
    got = port_.Read(std::span<std::uint8_t>(replyBuffer_).subspan(replyLength_));
    if (got == 0) {
        return true;
    }
    replyLength_ += got;
    if (uploading_) {
        UpdateUploadCaption();
        ReportUploadProgress(std::min(replyLength_, kFullUploadReplyBytes), kFullUploadReplyBytes);
    }
    ApplyRule(got);
    return true;
}

void Transport::ApplyRule(std::size_t chunkLength) {
    switch (rule_.kind) {
    case CompletionKind::kNever:
        break;
    case CompletionKind::kExactLength:
        // Exact: a reply that grows past the count is incomplete again.
        replyComplete_ = replyLength_ == rule_.length;
        break;
    case CompletionKind::kFirstByteZ:
        replyComplete_ = replyLength_ >= 1 && replyBuffer_[0] == kZ;
        break;
    case CompletionKind::kTerminator:
        replyComplete_ = TerminatorComplete(chunkLength);
        break;
    case CompletionKind::kAnyData:
        replyComplete_ = true;
        break;
    }
}

// Only the last byte 255 of the chunk just read is examined; the six
// bytes 255 that end there may have arrived in earlier chunks.
bool Transport::TerminatorComplete(std::size_t chunkLength) const {
    const std::size_t chunkStart = replyLength_ - chunkLength;
    const auto begin = replyBuffer_.begin() + static_cast<std::ptrdiff_t>(chunkStart);
    const auto end = replyBuffer_.begin() + static_cast<std::ptrdiff_t>(replyLength_);
    const auto last = std::find(std::make_reverse_iterator(end), std::make_reverse_iterator(begin),
                                kTerminatorByte);
    if (last == std::make_reverse_iterator(begin) || replyLength_ < kTerminatorLength) {
        return false;
    }
    // e: stored bytes up to and including that byte 255.
    const auto e = static_cast<std::size_t>(last.base() - replyBuffer_.begin());
    // Bytes after that 255 within the chunk would otherwise pass; a reply
    // with trailing bytes after the terminator is not complete (the read-out
    // would take the terminator for a record), so the terminator must end it.
    if (e < kTerminatorLength || e != replyLength_) {
        return false;
    }
    return std::all_of(replyBuffer_.begin() + static_cast<std::ptrdiff_t>(e - kTerminatorLength),
                       replyBuffer_.begin() + static_cast<std::ptrdiff_t>(e),
                       [](std::uint8_t b) { return b == kTerminatorByte; });
}

void Transport::UpdateUploadCaption() {
    // k = ReplyLength / 1000 to the nearest whole number, halves to even; 0 is
    // never shown, so the first caption comes past 500 bytes.
    const auto k = static_cast<long>(RoundHalfToEven(static_cast<double>(replyLength_) / 1000.0));
    if (k != 0 && k != lastCaptionK_) {
        lastCaptionK_ = k;
        if (captionSink_) {
            captionSink_("Progress: Uploading:- " + std::to_string(k));
        }
    }
}

void Transport::ReportUploadProgress(std::size_t done, std::size_t total) const {
    // Both fit an int: nothing beyond the reply buffer is ever stored.
    if (progressSink_) {
        progressSink_(static_cast<int>(done), static_cast<int>(total));
    }
}

} // namespace tallybird
