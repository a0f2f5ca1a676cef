#pragma once

#include "base/bytes.h"

#include <string>
#include <string_view>

namespace tallybird {

// Texts inside the program are UTF-8; the scanner, the service and the data
// files carry single bytes in the Windows-1252 code page. These two functions
// are the only crossing between the two.

// A character without a Windows-1252 code (or a malformed UTF-8 sequence)
// becomes '?'.
Bytes ToSingleByte(std::string_view utf8);

// Every byte has a character: the five codes Windows-1252 leaves undefined
// map to the C1 control characters of the same value, as Windows does.
std::string FromSingleByte(ByteView bytes);

} // namespace tallybird
