#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tallybird::cli {

// `tallybird-cli ports`, `send PORT CODE [BYTE...]` and `probe PORT` (the command-line
// contract in the README). `args` are the words after the command name. They write
// results to `out`, usage errors and diagnostics to `err`, and return the
// exit status (64 for a usage error).
int RunPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunProbe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace tallybird::cli
