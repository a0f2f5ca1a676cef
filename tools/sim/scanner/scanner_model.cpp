#include "scanner_model.h"

#include <cerrno>
#include <cstdlib>

#include <QByteArray>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <map>

namespace tallybird::sim {

namespace {

constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kLf = 10;
constexpr std::uint8_t kZ = 90;
constexpr std::size_t kWrFixedArguments = 10; // 3 address bytes + 7 data bytes
constexpr std::size_t kMaxWrData = 256;
constexpr std::size_t kListRecordBytes = 7;
constexpr std::size_t kScanRecordBytes = 6;
constexpr std::size_t kMaxListRecords = 250'001; // slots 0..250,000
constexpr std::uint32_t kScanLogBytes = 4 * 4096;
constexpr std::uint32_t kOrganisationOffset = 0xE000;
constexpr int kOrganisationSlots = 256;

// Argument bytes after each code.
const std::map<std::string, std::size_t>& ArgumentCounts() {
    static const std::map<std::string, std::size_t> counts = {
        {"SN", 0}, {"VR", 0}, {"VY", 1}, {"SC", 0}, {"TN", 0}, {"TW", 4}, {"UP", 0},
        {"DL", 0}, {"CC", 0}, {"SE", 3}, {"WE", 0}, {"CE", 0}, {"RD", 3}, {"WR", 10},
        {"EF", 0}, {"RO", 1}, {"LP", 0}, {"PA", 0}, {"CN", 0}};
    return counts;
}

std::uint32_t Address(const Bytes& args) {
    return (static_cast<std::uint32_t>(args[0]) << 16) |
           (static_cast<std::uint32_t>(args[1]) << 8) | args[2];
}

bool AllErased(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

void SplitChip(const std::string& text, unsigned& country, std::uint64_t& national) {
    country = static_cast<unsigned>(std::stoul(text.substr(0, 3)));
    national = std::stoull(text.substr(3));
}

std::string ChipTextOfListRecord(ByteView r) {
    const unsigned c = r[0] == 255 ? 0 : r[0];
    const unsigned country = c * 4 + (r[1] >> 6);
    const std::uint64_t national =
        (static_cast<std::uint64_t>(r[1] & 63) << 32) | (static_cast<std::uint64_t>(r[2]) << 24) |
        (static_cast<std::uint64_t>(r[3]) << 16) | (static_cast<std::uint64_t>(r[4]) << 8) | r[5];
    return ChipText(country, national);
}

// The scanner's firmware writes each record it appends to the scan log page by
// page, so a record that crosses a page boundary lands whole (one program
// alone would wrap inside its page).
void ProgramAcrossPages(FlashMemory& memory, std::uint32_t address, ByteView data) {
    while (!data.empty()) {
        const std::size_t room = FlashMemory::kPageBytes - address % FlashMemory::kPageBytes;
        const std::size_t part = std::min(room, data.size());
        memory.Program(address, data.first(part));
        address += static_cast<std::uint32_t>(part);
        data = data.subspan(part);
    }
}

std::string Hex(ByteView bytes, const char* separator) {
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        if (i != 0) {
            out += separator;
        }
        out += two;
    }
    return out;
}

} // namespace

Bytes ListRecordFor(const std::string& chipText, std::uint8_t attribute) {
    unsigned country = 0;
    std::uint64_t national = 0;
    SplitChip(chipText, country, national);
    Bytes r(kListRecordBytes);
    r[0] = static_cast<std::uint8_t>(country / 4);
    if (r[0] == 0 && chipText != "000000000000000") {
        r[0] = 255;
    }
    r[1] = static_cast<std::uint8_t>(((country % 4) << 6) | ((national >> 32) & 63));
    r[2] = static_cast<std::uint8_t>(national >> 24);
    r[3] = static_cast<std::uint8_t>(national >> 16);
    r[4] = static_cast<std::uint8_t>(national >> 8);
    r[5] = static_cast<std::uint8_t>(national);
    r[6] = attribute;
    return r;
}

Bytes ScanRecordFor(const std::string& chipText) {
    unsigned country = 0;
    std::uint64_t national = 0;
    SplitChip(chipText, country, national);
    Bytes r(kScanRecordBytes);
    for (int i = 0; i < 4; ++i) {
        r[i] = static_cast<std::uint8_t>(national >> (8 * i));
    }
    r[4] = static_cast<std::uint8_t>(((country & 3) << 6) | ((national >> 32) & 63));
    // Byte 5 of 0 would mean the three-group format: codes 0..3 are stored
    // as 255, which the program shows in hexadecimal.
    const auto upper = static_cast<std::uint8_t>(country >> 2);
    r[5] = upper == 0 ? 255 : upper;
    return r;
}

std::string ChipTextOfScanRecord(ByteView r) {
    const unsigned c = r[5] == 255 ? 0 : r[5];
    const unsigned country = c * 4 + (r[4] >> 6);
    std::uint64_t national = static_cast<std::uint64_t>(r[4] & 63) << 32;
    for (int i = 0; i < 4; ++i) {
        national |= static_cast<std::uint64_t>(r[i]) << (8 * i);
    }
    return ChipText(country, national);
}

ScannerModel::ScannerModel(ScannerConfig config)
    : config_(std::move(config)), memory_(config_.version == "H1" ? 8 * 65536 : 32 * 65536) {}

int ScannerModel::FlashTopByte() const {
    return config_.version == "H1" ? 7 : 31;
}

int ScannerModel::LastSector() const {
    return config_.version == "H1" ? 127 : 511;
}

std::uint32_t ScannerModel::ScanLogStart() const {
    return static_cast<std::uint32_t>(FlashTopByte()) * 65536 + 40960;
}

std::uint32_t ScannerModel::ListMemoryEnd() const {
    return static_cast<std::uint32_t>(LastSector() - 5) * 4096;
}

std::vector<Reply> ScannerModel::Feed(ByteView bytes) {
    std::vector<Reply> replies;
    const auto& counts = ArgumentCounts();
    for (std::uint8_t byte : bytes) {
        if (pending_.empty() && (byte == kCr || byte == kLf)) {
            continue; // a stray line end between commands
        }
        pending_.push_back(byte);
        if (pending_.size() < 2) {
            continue;
        }
        const std::string code(pending_.begin(), pending_.begin() + 2);
        const auto known = counts.find(code);
        const std::size_t after = pending_.size() - 2; // bytes after the code
        std::optional<Reply> reply;
        if (known == counts.end()) {
            if (byte == kCr || pending_.size() > 2 + kMaxWrData + 16) {
                reply = Finish(false); // unknown: logged, never answered
            }
        } else if (after <= known->second) {
            continue; // argument bytes are taken by count, whatever their value
        } else if (after == known->second + 1 && byte == kCr) {
            reply = Finish(true);
        } else if (byte == kCr) {
            // More bytes than the count: "WR" with a longer data part, or a
            // malformed command.
            reply = Finish(code == "WR" && after - 1 - 3 <= kMaxWrData);
        } else if (pending_.size() > 2 + kWrFixedArguments + kMaxWrData + 1) {
            reply = Finish(false);
        }
        if (reply) {
            replies.push_back(std::move(*reply));
        }
    }
    return replies;
}

std::vector<Reply> ScannerModel::IdleFlush() {
    std::vector<Reply> replies;
    if (pending_.empty()) {
        return replies;
    }
    const bool shortWrite = pending_.size() >= 2 + 3 + 1 && pending_.back() == kCr &&
                            pending_[0] == 'W' && pending_[1] == 'R';
    if (pending_.back() != kCr) {
        pending_.push_back(kCr); // logged as it came, without a reply
    }
    if (auto reply = Finish(shortWrite)) {
        replies.push_back(std::move(*reply));
    }
    return replies;
}

std::optional<Reply> ScannerModel::Finish(bool wellFormed) {
    // The command without its CR; a one-letter command ("X" CR) has a code of
    // one byte and no arguments.
    const ByteView command = ByteView(pending_).first(pending_.size() - 1);
    const ByteView codeBytes = command.first(std::min<std::size_t>(2, command.size()));
    const std::string code(codeBytes.begin(), codeBytes.end());
    const Bytes args(command.begin() + static_cast<std::ptrdiff_t>(codeBytes.size()),
                     command.end());
    pending_.clear();
    Log(code, args);
    if (!wellFormed) {
        return std::nullopt;
    }
    return Execute(code, args);
}

void ScannerModel::Log(const std::string& code, const Bytes& args) const {
    if (!logSink) {
        return;
    }
    std::string line;
    for (char c : code) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b >= 33 && b < 127) {
            line += c;
        } else {
            line += "\\x" + Hex(ByteView(&b, 1), "");
        }
    }
    if (!args.empty()) {
        line += ' ';
        line += Hex(args, " ");
    }
    logSink(line);
}

std::optional<Reply> ScannerModel::Execute(const std::string& code, const Bytes& args) {
    ++commandCount_;
    if ((config_.stopAfter > 0 && commandCount_ > config_.stopAfter) ||
        config_.silent.count(code) != 0) {
        return std::nullopt;
    }
    Reply reply;
    reply.bytes = Answer(code, args);
    if (config_.garbage.count(code) != 0) {
        // Same length (at least 3), no byte 255, first byte never "Z".
        const std::size_t length = std::max<std::size_t>(reply.bytes.size(), 3);
        reply.bytes.resize(length);
        for (auto& b : reply.bytes) {
            garbageSeed_ = garbageSeed_ * 1103515245 + 12345;
            b = static_cast<std::uint8_t>((garbageSeed_ >> 16) % 255);
        }
        if (reply.bytes[0] == kZ) {
            reply.bytes[0] = kZ + 1;
        }
    }
    if (config_.shortReply.count(code) != 0 && !reply.bytes.empty()) {
        reply.bytes.pop_back();
    }
    if (config_.extra.count(code) != 0) {
        reply.bytes.insert(reply.bytes.end(), {1, 2, 3});
    }
    if (config_.dropAfter > 0 && commandCount_ == config_.dropAfter) {
        reply.dropLink = true;
        reply.keepBytes = std::min(config_.dropAfterBytes, reply.bytes.size());
    }
    return reply;
}

Bytes ScannerModel::Answer(const std::string& code, const Bytes& args) {
    const Bytes z = {kZ};
    if (code == "SN") {
        return {static_cast<std::uint8_t>(config_.serial >> 16),
                static_cast<std::uint8_t>(config_.serial >> 8),
                static_cast<std::uint8_t>(config_.serial)};
    }
    if (code == "VR") {
        const std::string& v = config_.version;
        const int number = v.size() > 1 ? std::atoi(v.c_str() + 1) : 0;
        return {static_cast<std::uint8_t>(v.empty() ? '?' : v[0]),
                static_cast<std::uint8_t>(number)};
    }
    if (code == "TN") {
        const std::uint32_t t = config_.timeStamp;
        return {static_cast<std::uint8_t>(t >> 24), static_cast<std::uint8_t>(t >> 16),
                static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)};
    }
    if (code == "TW") {
        config_.timeStamp = (static_cast<std::uint32_t>(args[0]) << 24) |
                            (static_cast<std::uint32_t>(args[1]) << 16) |
                            (static_cast<std::uint32_t>(args[2]) << 8) | args[3];
        return z;
    }
    if (code == "SC") {
        Bytes reply;
        for (const Bytes& record : ScanLogRecords()) {
            reply.insert(reply.end(), record.begin(), record.end());
        }
        reply.insert(reply.end(), 6, 255);
        return reply;
    }
    if (code == "UP") {
        const std::size_t count = ListRecordCount();
        const auto& bytes = memory_.Contents();
        Bytes reply(bytes.begin(),
                    bytes.begin() + static_cast<std::ptrdiff_t>(count * kListRecordBytes));
        reply.insert(reply.end(), 6, 255);
        return reply;
    }
    if (code == "SE") {
        memory_.EraseSector(Address(args));
        return z;
    }
    if (code == "CE") {
        memory_.EraseAll();
        return z;
    }
    if (code == "RD") {
        return memory_.Read(Address(args), 32);
    }
    if (code == "WR") {
        memory_.Program(Address(args), ByteView(args).subspan(3));
        return z;
    }
    if (code == "RO") {
        keyboardMode_ = args[0] == 1;
        return z;
    }
    if (code == "PA") {
        return Bytes(config_.paReply.begin(), config_.paReply.end());
    }
    if (code == "CN") {
        const auto n = static_cast<std::uint32_t>(ScanLogRecords().size());
        return {static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                static_cast<std::uint8_t>(n)};
    }
    // "VY", "DL", "CC", "WE", "EF", "LP": acknowledged with "Z". "CC" leaves
    // the memory alone: the log ends at its first erased record, and the
    // session erases its sectors with "SE".
    return z;
}

std::vector<Bytes> ScannerModel::ScanLogRecords() const {
    std::vector<Bytes> records;
    const std::uint32_t start = ScanLogStart();
    for (std::uint32_t a = start; a + kScanRecordBytes <= start + kScanLogBytes;
         a += kScanRecordBytes) {
        Bytes record = memory_.Read(a, kScanRecordBytes);
        if (AllErased(record)) {
            break;
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::size_t ScannerModel::ListRecordCount() const {
    const auto& bytes = memory_.Contents();
    std::size_t count = 0;
    while (count < kMaxListRecords && (count + 1) * kListRecordBytes <= ListMemoryEnd() &&
           !AllErased(ByteView(bytes).subspan(count * kListRecordBytes, kListRecordBytes))) {
        ++count;
    }
    return count;
}

std::optional<Bytes> ScannerModel::Scan(ByteView scanRecord) {
    const std::size_t used = ScanLogRecords().size();
    if ((used + 1) * kScanRecordBytes <= kScanLogBytes) {
        ProgramAcrossPages(memory_,
                           ScanLogStart() + static_cast<std::uint32_t>(used * kScanRecordBytes),
                           scanRecord);
    }
    if (!keyboardMode_) {
        return std::nullopt;
    }
    const std::string text = ChipTextOfScanRecord(scanRecord);
    Bytes out(text.begin(), text.end());
    out.push_back(kCr);
    return out;
}

void ScannerModel::Unplugged() {
    pending_.clear();
    keyboardMode_ = false;
}

namespace {

bool CountIn(const std::string& text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str() && *end == '\0' && value > 0 && value < (1L << 30);
}

} // namespace

bool ScannerModel::SetFault(const std::string& kind, const std::string& value) {
    long count = 0;
    if (kind == "stop-after" && CountIn(value, count)) {
        config_.stopAfter = commandCount_ + static_cast<int>(count);
        return true;
    }
    if (kind == "drop-after") {
        const auto colon = value.find(':');
        long bytes = 0;
        if (!CountIn(value.substr(0, colon), count) ||
            (colon != std::string::npos && value.substr(colon + 1) != "0" &&
             !CountIn(value.substr(colon + 1), bytes))) {
            return false;
        }
        config_.dropAfter = commandCount_ + static_cast<int>(count);
        config_.dropAfterBytes = static_cast<std::size_t>(bytes);
        return true;
    }
    if (value.size() != 2) {
        return false;
    }
    if (kind == "silent") {
        config_.silent.insert(value);
    } else if (kind == "garbage") {
        config_.garbage.insert(value);
    } else if (kind == "short") {
        config_.shortReply.insert(value);
    } else if (kind == "extra") {
        config_.extra.insert(value);
    } else {
        return false;
    }
    return true;
}

void ScannerModel::ClearFaults() {
    config_.stopAfter = 0;
    config_.dropAfter = 0;
    config_.dropAfterBytes = 0;
    config_.silent.clear();
    config_.garbage.clear();
    config_.shortReply.clear();
    config_.extra.clear();
}

QJsonObject ScannerModel::Dump(bool withMemory) const {
    QJsonObject dump;
    dump["serial"] = static_cast<double>(config_.serial);
    dump["version"] = QString::fromStdString(config_.version);
    dump["timeStamp"] = static_cast<double>(config_.timeStamp);
    dump["keyboardMode"] = keyboardMode_;
    dump["commandCount"] = commandCount_;
    dump["memorySize"] = static_cast<double>(memory_.Size());
    dump["flashTopByte"] = FlashTopByte();

    QJsonArray list;
    const auto& bytes = memory_.Contents();
    const std::size_t count = ListRecordCount();
    for (std::size_t k = 0; k < count; ++k) {
        const ByteView r = ByteView(bytes).subspan(k * kListRecordBytes, kListRecordBytes);
        QJsonObject record;
        record["chip"] = QString::fromStdString(ChipTextOfListRecord(r));
        record["attribute"] = r[6];
        record["hex"] = QString::fromStdString(Hex(r, ""));
        list.append(record);
    }
    dump["list"] = list;

    QJsonArray scans;
    for (const Bytes& record : ScanLogRecords()) {
        QJsonObject scan;
        scan["chip"] = QString::fromStdString(ChipTextOfScanRecord(record));
        scan["hex"] = QString::fromStdString(Hex(record, ""));
        scans.append(scan);
    }
    dump["scanLog"] = scans;

    QJsonArray organisations;
    const std::uint32_t area =
        static_cast<std::uint32_t>(FlashTopByte()) * 65536 + kOrganisationOffset;
    for (int k = 0; k < kOrganisationSlots; ++k) {
        const Bytes slot = memory_.Read(area + static_cast<std::uint32_t>(k) * 32, 32);
        std::string text;
        for (std::uint8_t b : slot) {
            if (b == 0) {
                break;
            }
            if (b != 255) {
                text += static_cast<char>(b);
            }
        }
        organisations.append(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
    dump["organisations"] = organisations;

    if (withMemory) {
        const QByteArray raw(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()));
        dump["memoryBase64"] = QString::fromLatin1(raw.toBase64());
    }
    return dump;
}

} // namespace tallybird::sim
