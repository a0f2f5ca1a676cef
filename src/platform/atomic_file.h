#pragma once

#include "base/bytes.h"

#include <filesystem>
#include <optional>

namespace tallybird {

// Writes the whole file through a temporary file in the same folder that is
// renamed over the old one, so a crash or a full disk never leaves a
// half-written file behind. Whatever has the name is replaced, never written
// through: a symbolic link is replaced by the file, its target left alone. A
// replaced regular file keeps its permissions; a new one gets those of any
// new file. False when anything failed (a directory has the name, the folder
// is missing or full); the old file is then untouched and no temporary file
// is left.
bool WriteFileAtomically(const std::filesystem::path& file, ByteView contents);

// Removes the temporary files that writes of `file` left behind when the
// program was killed half-way (only regular files named as the writer names
// them). For a caller that alone writes `file`: another writer's temporary
// file would go too. Returns how many were removed.
int RemoveLeftoverTemporaries(const std::filesystem::path& file);

// The whole file, or nothing when it cannot be read: absent, unreadable, or
// not a regular file (a directory, a FIFO, a device). Never blocks; a
// symbolic link to a regular file is read.
std::optional<Bytes> ReadWholeFile(const std::filesystem::path& file);

} // namespace tallybird
