#pragma once

#include "model/lost_list.h"

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallybird {

// The chip list of one session: the rows shown, the bare chip number of each
// row, and the history lines that join the export text.
struct ChipHistory {
    std::vector<std::string> rows;
    std::vector<std::string> rowChipNumbers;
    std::string sessionLines; // each line ends in CR LF
};

// Local wall-clock time, asked afresh for every line.
using LocalClock = std::function<std::tm()>;
std::tm LocalTimeNow();

// Rows and lines go by the text's length: 10 (hexadecimal), 11 (three
// groups) or 15 (decimal) characters; any other text gets neither. A text
// holding "*" is a three-group text whatever its length. Decimal and
// hexadecimal chips that the list holds are marked "Yes".
ChipHistory BuildChipHistory(const std::vector<std::string>& scannedTexts, const LostList& list,
                             const LocalClock& now);

// "dd/mm/yy hh:mm:ss" of a count of seconds since 1 January 1970, read as is
// (no time-zone conversion).
std::string LastUpdateText(double seconds);

// A time stamp in seconds as the whole number the scanner takes; nothing for a
// value outside 0 .. 2^32 - 1, which its four bytes cannot carry.
std::optional<std::uint32_t> ScannerStamp(double seconds);

} // namespace tallybird
