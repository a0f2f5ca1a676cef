#include "session/chip_number.h"

#include <cstdio>

namespace tallybird {

ChipNumber ChipNumberText(unsigned country, std::uint64_t national) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u%012llu", country,
                  static_cast<unsigned long long>(national));
    // Exact in a double: at most 1023 * 10^12 + 2^38, far below 2^53.
    const double value = static_cast<double>(country) * 1e12 + static_cast<double>(national);
    return {text, value};
}

} // namespace tallybird
