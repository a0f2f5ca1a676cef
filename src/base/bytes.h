#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tallybird {

// Raw bytes as they travel on the serial wire, over HTTP and in data files.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

} // namespace tallybird
