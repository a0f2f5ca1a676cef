#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallybird {

// Countries are known everywhere by a number 1..199: the registration record
// stores it and the service keys its missing-animal lists by it. United
// Kingdom (1), Netherlands (2) and Germany (3) come first; every other country
// is its index in the alphabetical list plus 4, so 68, 130 and 189 stay unused.

inline constexpr int kCountryCount = 196;

// The 196 names of the registration page's list, in order.
const std::array<std::string_view, kCountryCount>& CountryList();

// Number of the list entry at `index` (0..195).
int CountryNumberOfIndex(int index);

// The country table: 256 texts by country number. Entries 1..199 hold the name
// padded with spaces to the next multiple of 4 above its length; entry 84 is
// "Ireland"; 0, 68, 130, 189 and 200..255 are empty.
using CountryTable = std::array<std::string, 256>;
CountryTable BuildCountryTable();

// The country number a locale's international dialling code preselects.
std::optional<int> CountryNumberForDiallingCode(int diallingCode);

} // namespace tallybird
