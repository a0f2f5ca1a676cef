#pragma once

#include "base/bytes.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace tallybird {

// The organisations the scanner shows: entry 0 is always the default text,
// entries 1.. come from the service for the owner's country. Entries are
// Windows-1252 bytes, as they go into the scanner's 32-byte slots (text,
// byte 0, then 255s), so none is longer than 31 bytes. The scanner holds
// entries 0..255; an empty entry ends the table.
inline constexpr std::size_t kOrganisationTableSize = 257;
inline constexpr std::size_t kOrganisationSlots = 256;
inline constexpr std::size_t kOrganisationTextMax = 31;
inline constexpr std::string_view kDefaultOrganisation = "Tallybird 01632 960123";

struct OrganisationTable {
    std::array<Bytes, kOrganisationTableSize> entries;

    // Entries before the first empty one among the scanner's 256 slots.
    std::size_t Count() const;

    bool operator==(const OrganisationTable&) const = default;
};

} // namespace tallybird
