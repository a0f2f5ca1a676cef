#pragma once

#include <filesystem>

namespace tallybird {

// The folders of the XDG base-directory rules. A variable that is unset,
// empty or relative is ignored (the rules call a relative value invalid) and
// the default below the home folder is taken, e.g.
// XdgHome("XDG_DATA_HOME", ".local/share").
std::filesystem::path XdgHome(const char* variable, const char* defaultBelowHome);

// $XDG_RUNTIME_DIR as Qt checks it (a folder of this user's that only this
// user may enter); when it is unset, relative or unusable, the private
// `runtime-<user>` folder in the temporary folder that Qt falls back to.
// Empty when there is no usable folder at all.
std::filesystem::path XdgRuntimeFolder();

} // namespace tallybird
