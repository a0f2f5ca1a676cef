#include "platform/locale_info.h"

#include "base/leading_number.h"

#include <langinfo.h>
#include <locale.h>

namespace tallybird {

std::optional<int> LocaleDiallingCode() {
    // A locale object of our own leaves the process-wide locale untouched.
    const locale_t locale = newlocale(LC_TELEPHONE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return std::nullopt;
    }
    const char* prefix = nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, locale);
    const auto code = WholeNumber(prefix != nullptr ? prefix : "");
    freelocale(locale);
    if (!code || *code < 1) {
        return std::nullopt;
    }
    return static_cast<int>(*code);
}

} // namespace tallybird
