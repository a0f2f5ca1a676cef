#pragma once

#include "cli/command_line.h"

#include <iosfwd>

namespace tallybird::cli {

// `tallybird-cli sync PORT [--test-mode] [--reset] [--save FILE]`: one
// synchronisation session at once. Exit 0 orderly end, 1 failure path, 2
// software error, 64 usage error.
int RunSync(const CommandLine& line, std::ostream& out, std::ostream& err);

// `tallybird-cli watch`: a detection pass every second, with a session for
// each newly attached scanner, until SIGINT or SIGTERM. Exit 0.
int RunWatch(const CommandLine& line, std::ostream& out, std::ostream& err);

} // namespace tallybird::cli
