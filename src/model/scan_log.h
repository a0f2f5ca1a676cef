#pragma once

#include "base/bytes.h"
#include "model/scanner_memory.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tallybird {

// The chips scanned since the log was last cleared, as read with "SC".
struct ScanLog {
    // Display texts in scan order: the 15- or 16-digit chip number, ten hex
    // digits for records marked hexadecimal, or three groups joined by "*".
    std::vector<std::string> texts;
    // The numeric value of each decimal or hexadecimal
    // record. A three-group record writes 0 at the index the next record then
    // takes, so this table is not aligned with `texts`; it is only saved.
    std::array<double, kScannedValueCells> values{};
    // The upload body: "serial number=" + serial + "|", then each text + "|".
    std::string scanList;
};

// Nothing when the reply holds more than 3100 records, or bytes before the
// terminator that are not a whole number of records.
std::optional<ScanLog> ReadScanLog(ByteView reply, std::int64_t scannerSerial);

// The value a 10-digit hexadecimal display text stands for (country from the
// top two bits of its first byte); nothing for a text that is not 10 hex digits.
std::optional<double> HexChipTextValue(const std::string& text);

} // namespace tallybird
