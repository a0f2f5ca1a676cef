#pragma once

#include "app/bytes.h"

#include <filesystem>
#include <optional>

namespace tallybird {

// Writes the whole file through a temporary file in the same folder that is
// renamed over the old one, so a crash or a full disk never leaves a
// half-written file behind. False when anything failed; the old file is then
// untouched.
bool WriteFileAtomically(const std::filesystem::path& file, ByteView contents);

// The whole file, or nothing when it cannot be read (absent, unreadable).
std::optional<Bytes> ReadWholeFile(const std::filesystem::path& file);

} // namespace tallybird
