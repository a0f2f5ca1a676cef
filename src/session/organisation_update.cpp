#include "session/organisation_update.h"

#include "link/commands.h"

#include <algorithm>

namespace tallybird {
namespace {

constexpr int kSlots = 256;
constexpr int kSlotSize = 32;
constexpr int kWriteSize = 7;

Bytes AddressedCommand(char a, char b, std::uint32_t address) {
    const auto bytes = AddressBytes(address);
    return {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), bytes[0], bytes[1],
            bytes[2]};
}

} // namespace

Bytes OrganisationUpdate::SlotText(ByteView slot) {
    Bytes text;
    for (std::size_t i = 0; i < slot.size() && i < kSlotSize && slot[i] != 0; ++i) {
        if (slot[i] != 255) {
            text.push_back(slot[i]);
        }
    }
    return text;
}

Bytes OrganisationUpdate::SlotData(const Bytes& entry) {
    Bytes data = entry;
    data.push_back(0);
    data.resize(kSlotSize, 255);
    return data;
}

bool OrganisationUpdate::Matches(const OrganisationTable& table, bool& same) const {
    same = true;
    for (int k = 0; k < kSlots; ++k) {
        if (!Send(AddressedCommand('R', 'D', SlotAddress(k)))) {
            return false;
        }
        if (SlotText(link_.Reply()) != table.entries[static_cast<std::size_t>(k)]) {
            same = false;
            return true;
        }
    }
    return true;
}

bool OrganisationUpdate::Apply(const OrganisationTable& table) const {
    bool same = false;
    if (!Matches(table, same)) {
        return false;
    }
    if (same) {
        return true;
    }
    const auto top = static_cast<std::uint32_t>(flashTopByte_) * 65536u;
    if (!Send(AddressedCommand('S', 'E', top + 0xE000u)) ||
        !Send(AddressedCommand('S', 'E', top + 0xF000u))) {
        return false;
    }
    sleep_(std::chrono::seconds(1));
    for (std::size_t k = 0; k < table.Count(); ++k) {
        const Bytes data = SlotData(table.entries[k]);
        for (int part = 0; part < 5; ++part) {
            Bytes command = AddressedCommand('W', 'R',
                                             SlotAddress(static_cast<int>(k)) +
                                                 static_cast<std::uint32_t>(part * kWriteSize));
            for (int i = 0; i < kWriteSize; ++i) {
                const int at = part * kWriteSize + i;
                command.push_back(at < kSlotSize ? data[static_cast<std::size_t>(at)] : 255);
            }
            if (!Send(command)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace tallybird
