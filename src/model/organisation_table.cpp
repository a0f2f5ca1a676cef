#include "model/organisation_table.h"

#include <algorithm>

namespace tallybird {

std::size_t OrganisationTable::Count() const {
    const auto* const end = entries.begin() + kOrganisationSlots;
    return static_cast<std::size_t>(
        std::find_if(entries.begin(), end, [](const Bytes& e) { return e.empty(); }) -
        entries.begin());
}

} // namespace tallybird
