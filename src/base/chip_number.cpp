#include "base/chip_number.h"

#include <cstdio>

namespace tallybird {

ChipNumber ChipNumberText(unsigned country, std::uint64_t national) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u%012llu", country,
                  static_cast<unsigned long long>(national));
    return {text, ChipNumberValue(country, national)};
}

} // namespace tallybird
