#pragma once

#include "base/bytes.h"
#include "model/scanner_memory.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tallybird {

// The program's copy of the missing-animal list held in the scanner. A value
// above 0 is a chip number, 0 a cleared slot, -1 a slot beyond the list.
struct LostList {
    std::vector<double> values = std::vector<double>(kListSlots, -1.0);
    std::vector<std::int16_t> attributes = std::vector<std::int16_t>(kListSlots, 0);
    std::int32_t count = 0;

    bool operator==(const LostList&) const = default;

    // Slots in use: the highest slot whose value is 0 or above, plus 1.
    void RecomputeCount();
};

// The chip number of a 7-byte list record (a first byte of 255 stands for 0).
double ListRecordValue(const std::uint8_t* record);

// The list out of a complete "UP" reply: 7-byte records up to the six
// terminator bytes. Nothing when the reply holds more records than the
// table's 250,001 slots, or bytes that are not a whole number of records.
std::optional<LostList> ReadListReply(ByteView reply);

} // namespace tallybird
