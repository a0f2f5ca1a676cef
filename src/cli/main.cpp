// tallybird-cli: the program's core driven from a terminal, for tests, scripts
// and people without a desktop. Usage errors print a message and exit 64.
#include "cli/about_commands.h"
#include "cli/history_command.h"
#include "cli/link_commands.h"
#include "cli/session_commands.h"
#include "platform/log_file.h"
#include "platform/program_log.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kUsageError = 64;

constexpr std::string_view kUsage = R"(Usage: tallybird-cli COMMAND [ARGUMENTS]

Commands:
  ports                     list the port directory: number, status (0 available,
                            1 busy, 2 absent), path, description, tab-separated
  send PORT CODE [BYTE...]  send the command CODE with argument bytes (0..255)
                            and print the reply bytes in decimal; exit 1 when
                            the command failed
  probe PORT                the detection probe ("PA"); prints the reply text;
                            exit 0 when it contains "Kivo", else 1
  sync PORT [--test-mode] [--reset] [--save FILE]
                            one synchronisation session on PORT: captions on
                            stdout, "Title: ..." for the window title, message
                            boxes on stderr as "<title>: <text>"; exit 0 orderly
                            end, 1 failure path, 2 software error
  watch                     a detection pass every second and a session for
                            each scanner plugged in, until SIGINT or SIGTERM;
                            exit 1 when the desktop program or another watch
                            already runs sessions for this account
  about                     what the About window shows, after its probe of
                            the service
  update [--install]        the current and the latest version; --install
                            downloads and starts a newer version's installer
  history [--since DATE] [--until DATE] [--csv FILE] [--xlsx FILE]
                            every chip read, one line per read (time, scanner,
                            chip, kind, uploaded, missing, tab-separated), or
                            exported as CSV or a spreadsheet; DATE is YYYY-MM-DD
  -h, --help                show this text (also after a command)
  --version                 show the program version
  -v, --verbose             (with any command) the program's log on stderr too;
                            it is always kept in ~/.local/state/Tallybird/tallybird.log

PORT is a port number 1..255 (section [Ports] of the settings file, then
/dev/ttyUSB<k> = k+1 and /dev/ttyACM<k> = k+129) or a device path.
)";

bool IsVerboseOption(std::string_view arg) {
    return arg == "-v" || arg == "--verbose";
}

// --help and --version answer as the program's first word or right after a
// command ("tallybird-cli sync --help").
bool Asks(const std::vector<std::string>& words, std::string_view option,
          std::string_view shortOption = {}) {
    const auto is = [&](const std::string& word) {
        return word == option || (!shortOption.empty() && word == shortOption);
    };
    return is(words.front()) || (words.size() > 1 && is(words[1]));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    const bool verbose = std::any_of(words.begin(), words.end(), IsVerboseOption);
    words.erase(std::remove_if(words.begin(), words.end(), IsVerboseOption), words.end());
    if (words.empty()) {
        std::cerr << kUsage;
        return kUsageError;
    }
    // The log goes to its file; with -v to stderr as well. Without -v,
    // stderr carries only the messages the user must see.
    tallybird::LogFile log(tallybird::LogFile::DefaultFile());
    const tallybird::ProgramLogScope logScope(log, verbose);
    const std::string_view command = words.front();
    if (Asks(words, "--help", "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (Asks(words, "--version")) {
        std::cout << "tallybird-cli " << TALLYBIRD_VERSION_TEXT << '\n';
        return 0;
    }
    // Serial ports are QObjects: they want an application object on this
    // thread (no event loop runs; the commands wait on the port itself).
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "ports") {
        return tallybird::cli::RunPorts(args, std::cout, std::cerr);
    }
    if (command == "send") {
        return tallybird::cli::RunSend(args, std::cout, std::cerr);
    }
    if (command == "probe") {
        return tallybird::cli::RunProbe(args, std::cout, std::cerr);
    }
    if (command == "sync") {
        return tallybird::cli::RunSync(args, std::cout, std::cerr);
    }
    if (command == "watch") {
        return tallybird::cli::RunWatch(args, std::cout, std::cerr);
    }
    if (command == "about") {
        return tallybird::cli::RunAbout(args, std::cout, std::cerr);
    }
    if (command == "update") {
        return tallybird::cli::RunUpdate(args, std::cout, std::cerr);
    }
    if (command == "history") {
        return tallybird::cli::RunHistory(args, std::cout, std::cerr);
    }
    std::cerr << "tallybird-cli: unknown command '" << command << "'\n" << kUsage;
    return kUsageError;
}
