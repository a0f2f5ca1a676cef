#include "web/organisation_table.h"

#include "web/url_codec.h"

#include <algorithm>
#include <vector>

namespace tallybird {

std::size_t OrganisationTable::Count() const {
    const auto end = entries.begin() + kOrganisationSlots;
    return static_cast<std::size_t>(
        std::find_if(entries.begin(), end, [](const Bytes& e) { return e.empty(); }) -
        entries.begin());
}

OrganisationTable BuildOrganisationTable(ByteView reply) {
    const Bytes decoded = UrlDecode(reply);

    std::vector<ByteView> fields;
    const ByteView text(decoded);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '|') {
            fields.push_back(text.subspan(start, i - start));
            start = i + 1;
        }
    }

    OrganisationTable table;
    std::size_t entry = 1;
    for (std::size_t e = 0; e + 1 < fields.size() && entry < kOrganisationTableSize; e += 2) {
        Bytes& joined = table.entries[entry++];
        joined.assign(fields[e].begin(), fields[e].end());
        joined.push_back(' ');
        joined.insert(joined.end(), fields[e + 1].begin(), fields[e + 1].end());
        if (joined.size() > kOrganisationTextMax) {
            joined.resize(kOrganisationTextMax);
        }
    }
    table.entries[0].assign(kDefaultOrganisation.begin(), kDefaultOrganisation.end());
    return table;
}

} // namespace tallybird
