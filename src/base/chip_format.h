#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallybird {

// What a chip text received from the scanner holds: the decimal chip number
// (15 digits, 16 for codes 1000..1023), ten hexadecimal digits (a record
// marked hexadecimal), three decimal groups joined by "*", or anything else.
enum class ChipKind { Decimal = 0, Hexadecimal = 1, ThreeGroup = 2, Other = 3 };

ChipKind ClassifyChipText(std::string_view text);
// "decimal", "hexadecimal", "three-group", "other".
const char* ChipKindName(ChipKind kind);

// A country or manufacturer code (0..1023) and a 38-bit national number.
struct ChipCode {
    unsigned country = 0;
    std::uint64_t national = 0;
    bool operator==(const ChipCode&) const = default;
    // The number as one integer: country * 10^12 + national.
    std::int64_t Key() const;
};

// The chip number a decimal or hexadecimal text stands for; nothing for a
// three-group text or any other.
std::optional<ChipCode> ChipCodeOfText(std::string_view text);

// How the history shows a chip number: 15 digits ("985141000123456"), the
// code apart ("985 141000123456"), or code and national number in
// hexadecimal ("3D9.20D4432440").
enum class ChipFormat { Digits, Grouped, DotHex };

std::string FormatChipCode(const ChipCode& code, ChipFormat format);
// The text as shown in a format: decimal and hexadecimal texts as their chip
// number, any other text as received.
std::string FormatChipText(std::string_view text, ChipFormat format);

// The chip a search text names in any of the three formats or as a
// hexadecimal record text (surrounding spaces ignored); nothing when it names
// no whole chip number.
std::optional<ChipCode> ParseChipQuery(std::string_view query);

// The setting's words: "Digits", "Grouped", "DotHex"; anything else reads as
// Digits.
ChipFormat ChipFormatFromName(std::string_view name);
const char* ChipFormatName(ChipFormat format);

// Whether the main window's list gives the text a row: 10 or 15 characters,
// or a three-group text of exactly 11.
bool ShownInChipList(std::string_view text);

} // namespace tallybird
