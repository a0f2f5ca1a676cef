#include "link/commands.h"

#include "base/single_byte_text.h"
#include "link/transport.h"
#include "model/scanner_memory.h"

namespace tallybird {

namespace {

constexpr std::uint32_t kScanLogOffset = 40960;       // A1 = 160, A0 = 0
constexpr std::uint32_t kOrganisationOffset = 0xE000; // top 8192 bytes
constexpr std::uint32_t kOrganisationSlotBytes = 32;

ByteView View(const auto& array) {
    return ByteView(array.data(), array.size());
}

// The reply of the last command when it has at least `size` bytes.
std::optional<ByteView> ReplyOf(const SessionLink& link, std::size_t size) {
    const ByteView reply = link.Reply();
    return reply.size() >= size ? std::optional<ByteView>(reply) : std::nullopt;
}

// A big-endian number of `size` bytes from the reply of `code`.
ReadResult<std::uint32_t> ReadNumber(SessionLink& link, std::string_view code, std::size_t size) {
    if (!SendCode(link, code)) {
        return ReadResult<std::uint32_t>::CommandFailed();
    }
    const auto reply = ReplyOf(link, size);
    if (!reply) {
        return ReadResult<std::uint32_t>::ShortReply();
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value = (value << 8) | (*reply)[i];
    }
    return value;
}

std::optional<ByteView> ReadWhole(SessionLink& link, std::string_view code,
                                  ByteView arguments = {}) {
    if (!SendCode(link, code, arguments)) {
        return std::nullopt;
    }
    return link.Reply();
}

} // namespace

std::array<std::uint8_t, 3> AddressBytes(std::uint32_t address) {
    return {static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address)};
}

std::array<std::uint8_t, 4> TimeStampBytes(std::uint32_t seconds) {
    return {static_cast<std::uint8_t>(seconds >> 24), static_cast<std::uint8_t>(seconds >> 16),
            static_cast<std::uint8_t>(seconds >> 8), static_cast<std::uint8_t>(seconds)};
}

std::string VersionText(std::uint8_t v0, std::uint8_t v1) {
    const std::uint8_t letter[] = {v0};
    return FromSingleByte(letter) + std::to_string(v1);
}

std::uint32_t ScanLogSectorAddress(int flashTopByte, int index) {
    return static_cast<std::uint32_t>(flashTopByte) * 65536 + kScanLogOffset +
           static_cast<std::uint32_t>(index) * kSectorBytes;
}

std::uint32_t OrganisationSlotAddress(int flashTopByte, int slot) {
    return static_cast<std::uint32_t>(flashTopByte) * 65536 + kOrganisationOffset +
           static_cast<std::uint32_t>(slot) * kOrganisationSlotBytes;
}

bool SendCode(SessionLink& link, std::string_view code, ByteView arguments) {
    return link.SendCommand(CommandBytes(code, arguments));
}

ReadResult<std::uint32_t> ReadSerialNumber(SessionLink& link) {
    return ReadNumber(link, "SN", 3);
}

ReadResult<std::string> ReadVersion(SessionLink& link) {
    if (!SendCode(link, "VR")) {
        return ReadResult<std::string>::CommandFailed();
    }
    const auto reply = ReplyOf(link, 2);
    if (!reply) {
        return ReadResult<std::string>::ShortReply();
    }
    return VersionText((*reply)[0], (*reply)[1]);
}

bool AcknowledgeVersion(SessionLink& link, std::uint8_t value) {
    const std::uint8_t argument[] = {value};
    return SendCode(link, "VY", argument);
}

std::optional<ByteView> ReadScanLogRecords(SessionLink& link) {
    return ReadWhole(link, "SC");
}

ReadResult<std::uint32_t> ReadTimeStamp(SessionLink& link) {
    return ReadNumber(link, "TN", 4);
}

bool WriteTimeStamp(SessionLink& link, std::uint32_t seconds) {
    return SendCode(link, "TW", View(TimeStampBytes(seconds)));
}

std::optional<ByteView> ReadListRecords(SessionLink& link) {
    return ReadWhole(link, "UP");
}

bool EnterDownloadMode(SessionLink& link) {
    return SendCode(link, "DL");
}

bool ClearScanCount(SessionLink& link) {
    return SendCode(link, "CC");
}

bool EraseSector(SessionLink& link, std::uint32_t address) {
    return SendCode(link, "SE", View(AddressBytes(address - address % kSectorBytes)));
}

bool EnableWrites(SessionLink& link) {
    return SendCode(link, "WE");
}

bool EraseAllMemory(SessionLink& link) {
    return SendCode(link, "CE");
}

std::optional<ByteView> ReadMemory(SessionLink& link, std::uint32_t address) {
    return ReadWhole(link, "RD", View(AddressBytes(address)));
}

bool WriteBytes(SessionLink& link, std::uint32_t address, ByteView data) {
    const auto a = AddressBytes(address);
    Bytes arguments(a.begin(), a.end());
    arguments.insert(arguments.end(), data.begin(), data.end());
    return SendCode(link, "WR", arguments);
}

bool Sleep(SessionLink& link) {
    return SendCode(link, "EF");
}

bool SetKeyboardMode(SessionLink& link, std::uint8_t mode) {
    const std::uint8_t argument[] = {mode};
    return SendCode(link, "RO", argument);
}

bool SignalSessionEnd(SessionLink& link) {
    return SendCode(link, "LP");
}

std::optional<std::string> ReadIdentity(SessionLink& link) {
    const auto reply = ReadWhole(link, "PA");
    if (!reply) {
        return std::nullopt;
    }
    return std::string(reply->begin(), reply->end());
}

ReadResult<std::uint32_t> ReadScanCount(SessionLink& link) {
    return ReadNumber(link, "CN", 3);
}

} // namespace tallybird
