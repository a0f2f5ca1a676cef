#pragma once

#include "cli/command_line.h"

#include <iosfwd>

namespace tallybird::cli {

// `tallybird-cli about`: the About window's six lines, after its service
// probe. Exit 0.
int RunAbout(const CommandLine& line, std::ostream& out, std::ostream& err);

// `tallybird-cli update [--install]`: the current and latest versions; with
// --install and a newer version, the installer is downloaded and started.
// Exit 1 when that download failed or this build leaves updates to the
// package manager.
int RunUpdate(const CommandLine& line, std::ostream& out, std::ostream& err);

} // namespace tallybird::cli
