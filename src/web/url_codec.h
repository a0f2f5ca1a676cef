#pragma once

#include "base/bytes.h"

#include <string>
#include <string_view>

namespace tallybird {

// Query values of the registration request: the text's Windows-1252 bytes,
// a space as "+", digits and ASCII letters as they are, every other byte as
// "%" and two upper-case hex digits ("-" gives %2D, "é" gives %E9).
std::string UrlEncode(std::string_view text);

// "%" and the byte's value as two upper-case hex digits.
void AppendPercentEscape(std::string& out, std::uint8_t byte);

// The organisation reply: "+" becomes a space and "%XY" the byte of that hex
// value (either case). A "%" among the last two bytes is kept as it is; a "%"
// followed by two bytes that are not hex digits makes the whole result empty.
Bytes UrlDecode(ByteView encoded);

} // namespace tallybird
