#pragma once

#include <optional>

namespace tallybird {

// The international dialling code of the user's telephone locale
// (LC_TELEPHONE), e.g. 44 for en_GB; nothing when the locale names none.
std::optional<int> LocaleDiallingCode();

} // namespace tallybird
