#include "session/organisation_update.h"

#include "link/commands.h"
#include "model/scanner_memory.h"

#include <algorithm>

namespace tallybird {
namespace {

constexpr int kSlots = 256;
constexpr int kSlotSize = 32;
// A slot goes out in five writes of 7 bytes; the last 3 bytes are 255.
constexpr int kWriteSize = 7;
constexpr int kWritesPerSlot = 5;
// The 256 slots of 32 bytes fill the two sectors from slot 0.
constexpr int kAreaSectors = 2;

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

OrganisationUpdate::Comparison
OrganisationUpdate::CompareSlots(const OrganisationTable& table) const {
    for (int k = 0; k < kSlots; ++k) {
        const auto slot = ReadMemory(link_, OrganisationSlotAddress(flashTopByte_, k));
        if (!slot) {
            return Comparison::CommandFailed;
        }
        if (SlotText(*slot) != table.entries[static_cast<std::size_t>(k)]) {
            return Comparison::Differs;
        }
    }
    return Comparison::Same;
}

bool OrganisationUpdate::WriteEntry(int slot, const Bytes& entry) const {
    const Bytes data = SlotData(entry);
    for (int part = 0; part < kWritesPerSlot; ++part) {
        std::array<std::uint8_t, kWriteSize> bytes{};
        for (int i = 0; i < kWriteSize; ++i) {
            const int at = part * kWriteSize + i;
            bytes[static_cast<std::size_t>(i)] =
                at < kSlotSize ? data[static_cast<std::size_t>(at)] : 255;
        }
        const std::uint32_t address = OrganisationSlotAddress(flashTopByte_, slot) +
                                      static_cast<std::uint32_t>(part * kWriteSize);
        if (!WriteBytes(link_, address, ByteView(bytes.data(), bytes.size()))) {
            return false;
        }
    }
    return true;
}

bool OrganisationUpdate::Apply(const OrganisationTable& table) const {
    switch (CompareSlots(table)) {
    case Comparison::CommandFailed:
        return false;
    case Comparison::Same:
        return true;
    case Comparison::Differs:
        break;
    }
    const std::uint32_t area = OrganisationSlotAddress(flashTopByte_, 0);
    for (int sector = 0; sector < kAreaSectors; ++sector) {
        if (!EraseSector(link_, area + static_cast<std::uint32_t>(sector) * kSectorBytes)) {
            return false;
        }
    }
    sleep_(std::chrono::seconds(1));
    for (std::size_t k = 0; k < table.Count(); ++k) {
        if (!WriteEntry(static_cast<int>(k), table.entries[k])) {
            return false;
        }
    }
    return true;
}

} // namespace tallybird
