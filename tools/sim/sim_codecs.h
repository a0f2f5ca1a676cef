#pragma once

// The simulators' own reading and writing of what travels on the wire: chip
// texts, query values, Windows-1252 text and numbers. They are kept apart
// from the program's so that a fault on one side shows up in the tests
// instead of cancelling out.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallybird::sim {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The text of a chip: the country code with at least three digits, then the
// national number with exactly twelve.
std::string ChipText(unsigned country, std::uint64_t national);

// The number of a query value or a reply: blanks (space, tab, line feed) are
// skipped, then an optional sign, digits, a fraction and an exponent (E or D)
// are read up to the first character that does not fit; no number reads as 0.
double NumberIn(std::string_view text);

// The number a text holds as a whole (blanks skipped), or nothing when
// another character stands in it or no digit does.
std::optional<double> WholeNumberIn(std::string_view text);

// A number as plain decimal text: a whole number without a point, otherwise
// the shortest fixed-point text that reads back to the same value.
std::string NumberText(double value);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves
// undefined stand for the control characters of the same value.
std::string Utf8FromWindows1252(ByteView bytes);

// UTF-8 as Windows-1252 bytes; a character the code page lacks, or a byte
// that does not belong to a well-formed sequence, becomes '?'.
Bytes Windows1252FromUtf8(std::string_view utf8);

// A query value as the service reads it: "+" is a space and "%" with two
// hex digits (either case) the byte of that value. A "%" near the end, with
// fewer than two bytes after it, stays as it is; one followed by anything
// but two hex digits makes the value empty.
Bytes QueryValueBytes(std::string_view encoded);

// A UTF-8 text as a query value: its Windows-1252 bytes, a space as "+",
// ASCII letters and digits as they are, every other byte as "%XX" with
// upper-case hex digits.
std::string QueryValueOf(std::string_view utf8);

// A version that may stand in a file name: digits in groups joined by single
// dots, with the white space around it dropped.
std::optional<std::string> PlainVersionOf(std::string_view reply);

} // namespace tallybird::sim
