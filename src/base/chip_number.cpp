#include "base/chip_number.h"

#include <cstdio>

namespace tallybird {

RecordChip DecodeRecordChip(const std::uint8_t* mostSignificantFirst) {
    const std::uint8_t* b = mostSignificantFirst;
    RecordChip chip;
    chip.highByte = b[0] == 255 ? 0u : b[0];
    chip.country = chip.highByte * 4 + (b[1] >> 6);
    chip.national = std::uint64_t{b[1] & 0x3Fu};
    for (int i = 2; i <= 5; ++i) {
        chip.national = (chip.national << 8) | b[i];
    }
    return chip;
}

ChipNumber ChipNumberText(unsigned country, std::uint64_t national) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u%012llu", country,
                  static_cast<unsigned long long>(national));
    return {text, ChipNumberValue(country, national)};
}

} // namespace tallybird
