#include "session/scanner_memory.h"

#include <algorithm>
#include <cstring>

namespace tallybird {

int ScannerGeometry::SlotCapacity() const {
    const std::int64_t fitting = ListMemoryBytes() / kRecordSize;
    return static_cast<int>(std::min<std::int64_t>(fitting, kListSlots));
}

ScannerGeometry GeometryForVersion(const char* version) {
    if (std::strcmp(version, "H1") == 0) {
        return {7, 127};
    }
    return {31, 511};
}

} // namespace tallybird
