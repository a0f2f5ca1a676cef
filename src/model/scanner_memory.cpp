#include "model/scanner_memory.h"

#include <algorithm>

namespace tallybird {

int ScannerGeometry::SlotCapacity() const {
    const std::int64_t fitting = ListMemoryBytes() / kRecordSize;
    return static_cast<int>(std::min<std::int64_t>(fitting, kListSlots));
}

// "H1" scanners have FlashTopByte 7 and LastSector 127; every other version
// 31 and 511.
ScannerGeometry GeometryForVersion(std::string_view version) {
    if (version == "H1") {
        return {7, 127};
    }
    return {31, 511};
}

} // namespace tallybird
