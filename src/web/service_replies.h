#pragma once

#include "base/bytes.h"
#include "model/organisation_table.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallybird {

// Readers of the service's replies. Pure functions over the reply bytes: a
// reply that did not arrive, or arrived with a status other than 2xx, is
// read as the empty reply.

// The numeric value of a reply ("getscannertime.php", "softwareversion.php"):
// the number at its start, 0 when there is none (empty, an error page).
double ReplyNumber(ByteView reply);

// One chip the service adds to the list of missing animals, with the
// attribute byte that goes into the scanner beside it.
struct AddedChip {
    double number = 0; // the 15-digit chip number as a value
    std::uint16_t attribute = 0;

    bool operator==(const AddedChip&) const = default;
};
using AddedChips = std::vector<AddedChip>;
using RemovedChips = std::vector<double>;

// Each list holds at most this many entries; a reply with more records of
// one kind cannot be applied.
inline constexpr std::size_t kMaxListChanges = 250'001;
inline constexpr std::size_t kLostRecordSize = 8;

enum class LostListOutcome {
    NoChange, // shorter than one record, or an error page: the list stays as it is
    Changes,  // records were read (the lists may still both be empty)
    Malformed // a partial record or too many records: the session cannot go on
};

struct LostListReply {
    LostListOutcome outcome = LostListOutcome::NoChange;
    AddedChips addedChips;     // operations 1 and 2, in reply order
    RemovedChips removedChips; // operations 100 and 102, in reply order
};

// The "getlost.php" reply: 8-byte records of a chip number (byte 0 is the
// country code's high part, 255 standing for 0; byte 1 carries its two low
// bits and the national number's top six; bytes 2..5 the national number's
// low 32 bits, big-endian), an operation byte and an attribute byte. Records
// with other operations are skipped. Only an upper-case "<HTML" start marks
// an error page.
LostListReply ReadLostList(ByteView reply);

// The latest-version reply as a version that may stand in an address or a
// file name: digits separated by single dots ("2", "2.6", "10.0.1"), at most
// 16 characters once surrounding white space is removed. Anything else gives
// nothing, and no update is offered.
std::optional<std::string> PlainVersion(ByteView reply);

// Builds the table afresh from the "getorganisations.php" reply: the reply
// is URL-decoded and split at every "|"; each pair of fields gives one entry,
// name and number joined by a space and cut to 31 bytes. A trailing single
// field is ignored, and so are pairs beyond the table's last entry. A reply
// that is empty or does not decode gives the default entry alone.
OrganisationTable BuildOrganisationTable(ByteView reply);

} // namespace tallybird
