// tallybird: the desktop program. Everything happens in the start-up and
// the main window; main only hands over, with the program's log in place.
#include "desktop/desktop_program.h"
#include "platform/log_file.h"
#include "platform/program_log.h"

#include <algorithm>
#include <string_view>

int main(int argc, char** argv) {
    // --verbose: the log on stderr as well as in its file.
    const bool verbose = std::any_of(argv + 1, argv + argc, [](const char* arg) {
        return std::string_view(arg) == "--verbose" || std::string_view(arg) == "-v";
    });
    tallybird::LogFile log(tallybird::LogFile::DefaultFile());
    const tallybird::ProgramLogScope logScope(log, verbose);
    return tallybird::RunDesktopProgram(argc, argv);
}
