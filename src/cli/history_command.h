#pragma once

#include "cli/command_line.h"

#include <iosfwd>

namespace tallybird::cli {

// `tallybird-cli history [--since DATE] [--until DATE] [--csv FILE]
// [--xlsx FILE]`: every chip read in the sessions that started between the
// two local days (both included). Without a file option one line per read on
// stdout. Exit 0; 1 when a file could not be written; 64 usage error.
int RunHistory(const CommandLine& line, std::ostream& out, std::ostream& err);

} // namespace tallybird::cli
