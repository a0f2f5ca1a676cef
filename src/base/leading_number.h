#pragma once

#include <optional>
#include <string_view>

namespace tallybird {

// The numeric value of a text as the program reads every reply, setting and
// typed code: blanks (space, tab, line feed) are ignored wherever they stand,
// reading stops at the first character that cannot continue a number, and a
// text with no number reads as 0. "604 173" is 604173, "-5\n" is -5,
// "12abc" is 12, "<html>" is 0.
double LeadingNumber(std::string_view text);

// The value of a text that is a number as a whole (blanks ignored), or
// nothing when any other character stands in it or no digit does.
std::optional<double> WholeNumber(std::string_view text);

// The value of a hexadecimal digit (either case), or nothing.
std::optional<int> HexDigitValue(char c);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfToEven(double value);

} // namespace tallybird
