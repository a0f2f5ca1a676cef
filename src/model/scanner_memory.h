#pragma once

#include <cstdint>
#include <string_view>

namespace tallybird {

// Facts of the scanner's NOR flash and of the tables the program keeps of it.

inline constexpr std::uint32_t kSectorBytes = 4096; // the unit of "SE"
inline constexpr std::uint32_t kPageBytes = 256;    // a "WR" never crosses a page

inline constexpr int kRecordSize = 7;                              // one list record
inline constexpr int kPageSize = static_cast<int>(kPageBytes);     // a "WR" never crosses a page
inline constexpr int kSectorSize = static_cast<int>(kSectorBytes); // the unit of "SE"
inline constexpr int kSlotsPerSector = kSectorSize / kRecordSize;  // 585
// A sector is erased and refilled only when more than half its slots are free.
inline constexpr int kRefillThreshold = 293;

// "SC" and "UP" replies end in six bytes 255 after their records.
inline constexpr std::size_t kReplyTerminatorSize = 6;
// Whether `replySize` is whole records of `recordSize` plus the terminator: a
// scanner that cuts a record short is not believed.
inline constexpr bool HoldsWholeRecords(std::size_t replySize, std::size_t recordSize) {
    return replySize >= kReplyTerminatorSize &&
           (replySize - kReplyTerminatorSize) % recordSize == 0;
}

// Slots 0..250000 of the missing-animal list.
inline constexpr int kListSlots = 250001;
// Scanned chips one session can hold (indices 1..3100).
inline constexpr int kMaxScannedChips = 3100;
inline constexpr int kScannedValueCells = kMaxScannedChips + 1;
// Organisation texts kept with the list; 0..255 reach the scanner.
inline constexpr int kOrganisationEntries = 257;

// Memory size by firmware: "H1" scanners have 8 x 64 KiB, the rest 32 x 64 KiB.
struct ScannerGeometry {
    int flashTopByte = 31;
    int lastSector = 511;

    // The list memory is sectors 0 .. lastSector - 6; the scan log follows.
    int LastListSector() const { return lastSector - 6; }
    std::int64_t ListMemoryBytes() const {
        return static_cast<std::int64_t>(LastListSector() + 1) * kSectorSize;
    }
    // Slots whose whole record lies in the list memory, at most kListSlots.
    int SlotCapacity() const;
};

ScannerGeometry GeometryForVersion(std::string_view version);

inline constexpr std::int64_t SlotAddress(std::int64_t slot) {
    return slot * kRecordSize;
}
inline constexpr int SectorOfSlot(std::int64_t slot) {
    return static_cast<int>(SlotAddress(slot) / kSectorSize);
}
// A record that starts in the last 6 bytes of a sector runs into the next one.
inline constexpr bool SlotFitsItsSector(std::int64_t slot) {
    return SlotAddress(slot) % kSectorSize <= kSectorSize - kRecordSize;
}

} // namespace tallybird
