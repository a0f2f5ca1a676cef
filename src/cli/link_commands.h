#pragma once

#include "cli/command_line.h"

#include <iosfwd>

namespace tallybird::cli {

// `tallybird-cli ports`, `send PORT CODE [BYTE...]` and `probe PORT` (the
// command-line contract in the README). `line` holds the command's parsed
// words (their number already checked). They write results to `out`, usage
// errors and diagnostics to `err`, and return the exit status (64 for a
// usage error).
int RunPorts(const CommandLine& line, std::ostream& out, std::ostream& err);
int RunSend(const CommandLine& line, std::ostream& out, std::ostream& err);
int RunProbe(const CommandLine& line, std::ostream& out, std::ostream& err);

} // namespace tallybird::cli
