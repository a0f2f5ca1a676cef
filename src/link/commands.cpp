#include "link/commands.h"

#include <algorithm>

namespace tallybird {

namespace {

constexpr std::uint32_t kScanLogOffset = 40960;       // A1 = 160, A0 = 0
constexpr std::uint32_t kOrganisationOffset = 0xE000; // top 8192 bytes
constexpr std::uint32_t kOrganisationSlotBytes = 32;

ByteView View(const auto& array) {
    return ByteView(array.data(), array.size());
}

template <std::size_t N> std::optional<std::array<std::uint8_t, N>> FixedReply(Transport& link) {
    std::array<std::uint8_t, N> reply{};
    const ByteView got = link.Reply();
    if (got.size() != N) {
        return std::nullopt;
    }
    std::copy(got.begin(), got.end(), reply.begin());
    return reply;
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
    return std::string(1, static_cast<char>(v0)) + std::to_string(v1);
}

std::uint32_t ScanLogSectorAddress(int flashTopByte, int index) {
    return static_cast<std::uint32_t>(flashTopByte) * 65536 + kScanLogOffset +
           static_cast<std::uint32_t>(index) * kSectorBytes;
}

std::uint32_t OrganisationSlotAddress(int flashTopByte, int slot) {
    return static_cast<std::uint32_t>(flashTopByte) * 65536 + kOrganisationOffset +
           static_cast<std::uint32_t>(slot) * kOrganisationSlotBytes;
}

CommandResult SendCode(Transport& link, std::string_view code, ByteView arguments) {
    return link.SendCommand(CommandBytes(code, arguments));
}

std::optional<std::uint32_t> ReadSerialNumber(Transport& link) {
    if (SendCode(link, "SN").failed) {
        return std::nullopt;
    }
    const auto r = link.Reply();
    return static_cast<std::uint32_t>(r[0]) * 65536 + static_cast<std::uint32_t>(r[1]) * 256 + r[2];
}

std::optional<std::string> ReadVersion(Transport& link) {
    if (SendCode(link, "VR").failed) {
        return std::nullopt;
    }
    return VersionText(link.Reply()[0], link.Reply()[1]);
}

CommandResult SendVersionCheck(Transport& link, std::uint8_t value) {
    const std::uint8_t argument[] = {value};
    return SendCode(link, "VY", argument);
}

std::optional<ByteView> ReadScanLog(Transport& link) {
    if (SendCode(link, "SC").failed) {
        return std::nullopt;
    }
    return link.Reply();
}

std::optional<std::uint32_t> ReadTimeStamp(Transport& link) {
    if (SendCode(link, "TN").failed) {
        return std::nullopt;
    }
    const auto r = link.Reply();
    return (static_cast<std::uint32_t>(r[0]) << 24) | (static_cast<std::uint32_t>(r[1]) << 16) |
           (static_cast<std::uint32_t>(r[2]) << 8) | r[3];
}

CommandResult WriteTimeStamp(Transport& link, std::uint32_t seconds) {
    return SendCode(link, "TW", View(TimeStampBytes(seconds)));
}

std::optional<ByteView> ReadList(Transport& link) {
    if (SendCode(link, "UP").failed) {
        return std::nullopt;
    }
    return link.Reply();
}

CommandResult SendDL(Transport& link) {
    return SendCode(link, "DL");
}

CommandResult SendCC(Transport& link) {
    return SendCode(link, "CC");
}

CommandResult EraseSector(Transport& link, std::uint32_t address) {
    return SendCode(link, "SE", View(AddressBytes(address - address % kSectorBytes)));
}

CommandResult SendWE(Transport& link) {
    return SendCode(link, "WE");
}

CommandResult SendCE(Transport& link) {
    return SendCode(link, "CE");
}

std::optional<std::array<std::uint8_t, 32>> ReadMemory(Transport& link, std::uint32_t address) {
    if (SendCode(link, "RD", View(AddressBytes(address))).failed) {
        return std::nullopt;
    }
    return FixedReply<32>(link);
}

CommandResult WriteMemory(Transport& link, std::uint32_t address, ByteView data) {
    Bytes arguments;
    const auto a = AddressBytes(address);
    arguments.assign(a.begin(), a.end());
    arguments.insert(arguments.end(), data.begin(), data.end());
    return SendCode(link, "WR", arguments);
}

CommandResult PutToSleep(Transport& link) {
    return SendCode(link, "EF");
}

CommandResult SetKeyboardMode(Transport& link, std::uint8_t mode) {
    const std::uint8_t argument[] = {mode};
    return SendCode(link, "RO", argument);
}

CommandResult SendLP(Transport& link) {
    return SendCode(link, "LP");
}

std::optional<std::string> ReadIdentity(Transport& link) {
    if (SendCode(link, "PA").failed) {
        return std::nullopt;
    }
    const auto r = link.Reply();
    return std::string(r.begin(), r.end());
}

std::optional<std::array<std::uint8_t, 3>> ReadCN(Transport& link) {
    if (SendCode(link, "CN").failed) {
        return std::nullopt;
    }
    return FixedReply<3>(link);
}

} // namespace tallybird
