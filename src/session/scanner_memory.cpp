#include "session/scanner_memory.h"

#include "link/commands.h"

#include <algorithm>

namespace tallybird {

int ScannerGeometry::SlotCapacity() const {
    const std::int64_t fitting = ListMemoryBytes() / kRecordSize;
    return static_cast<int>(std::min<std::int64_t>(fitting, kListSlots));
}

ScannerGeometry GeometryForVersion(std::string_view version) {
    const MemoryLayout layout = MemoryLayoutOf(version);
    return {layout.flashTopByte, layout.lastSector};
}

} // namespace tallybird
