// tallybird-cli: the program's core driven from a terminal, for tests, scripts
// and people without a desktop. Usage errors print a message and exit 64.
#include "cli/about_commands.h"
#include "cli/command_line.h"
#include "cli/history_command.h"
#include "cli/link_commands.h"
#include "cli/program.h"
#include "cli/session_commands.h"
#include "platform/log_file.h"
#include "platform/program_log.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using tallybird::cli::CommandLine;
using tallybird::cli::kUsageError;

// An option of one command: its long name, what it does, and the name of
// its value (empty for a flag).
struct OptionEntry {
    const char* name;
    const char* description;
    const char* valueName = "";
};

struct CommandEntry {
    const char* name;
    const char* arguments; // as the usage line shows them
    const char* summary;   // the command list's text, one line or more
    std::size_t fewestWords;
    std::optional<std::size_t> mostWords; // nothing: no limit
    std::vector<OptionEntry> options;
    int (*run)(const CommandLine&, std::ostream&, std::ostream&);
};

const std::vector<CommandEntry>& Commands() {
    static const std::vector<CommandEntry> commands{
        {"ports",
         "",
         "list the port directory: number, status (0 available, 1 busy, 2 absent),\n"
         "path, description, tab-separated",
         0,
         0,
         {},
         tallybird::cli::RunPorts},
        {"send",
         "PORT CODE [BYTE...]",
         "send the command CODE with argument bytes (0..255) and print the reply\n"
         "bytes in decimal; exit 1 when the command failed",
         2,
         std::nullopt,
         {},
         tallybird::cli::RunSend},
        {"probe",
         "PORT",
         "the detection probe (\"PA\"); prints the reply text; exit 0 when it\n"
         "contains \"Kivo\", else 1",
         1,
         1,
         {},
         tallybird::cli::RunProbe},
        {"sync",
         "PORT [--test-mode] [--reset] [--save FILE]",
         "one synchronisation session on PORT: captions on stdout, \"Title: ...\"\n"
         "for the window title, message boxes on stderr as \"<title>: <text>\";\n"
         "exit 0 orderly end, 1 failure path, 2 software error",
         1,
         1,
         {{"test-mode", "turn on test mode and its progress captions"},
          {"reset", "request a reset of the scanner, as Reset Scanner does"},
          {"save", "after the session, save the chip list to FILE as File > Save does", "FILE"}},
         tallybird::cli::RunSync},
        {"watch",
         "",
         "a detection pass every second and a session for each scanner plugged in,\n"
         "until SIGINT or SIGTERM; exit 1 when the desktop program or another\n"
         "watch already runs sessions for this account",
         0,
         0,
         {},
         tallybird::cli::RunWatch},
        {"about",
         "",
         "what the About window shows, after its probe of the service",
         0,
         0,
         {},
         tallybird::cli::RunAbout},
        {"update",
         "[--install]",
         "the current and the latest version; --install downloads and starts a\n"
         "newer version's installer",
         0,
         0,
         {{"install", "download and start the newer version's installer"}},
         tallybird::cli::RunUpdate},
        {"history",
         "[--since DATE] [--until DATE] [--csv FILE] [--xlsx FILE]",
         "every chip read, one line per read (time, scanner, chip, kind, uploaded,\n"
         "missing, tab-separated), or exported as CSV or a spreadsheet; DATE is\n"
         "YYYY-MM-DD, local time, both days included",
         0,
         0,
         {{"since", "reads of sessions from this day on", "DATE"},
          {"until", "reads of sessions up to this day", "DATE"},
          {"csv", "write them to FILE as CSV (UTF-8, a header row)", "FILE"},
          {"xlsx", "write them to FILE as a spreadsheet", "FILE"}},
         tallybird::cli::RunHistory},
    };
    return commands;
}

constexpr const char* kPortNote =
    "PORT is a port number 1..255 (section [Ports] of the settings file, then\n"
    "/dev/ttyUSB<k> = k+1 and /dev/ttyACM<k> = k+129) or a device path.\n"
    "The program's log is kept in ~/.local/state/Tallybird/tallybird.log.\n";

const CommandEntry* FindCommand(const QString& name) {
    const auto& commands = Commands();
    const auto found = std::find_if(commands.begin(), commands.end(), [&](const CommandEntry& c) {
        return name == QLatin1String(c.name);
    });
    return found == commands.end() ? nullptr : &*found;
}

// Every parser knows these, on the program and after any command.
struct CommonOptions {
    QCommandLineOption help{{"h", "help"}, "show this text"};
    QCommandLineOption version{"version", "show the program version"};
    QCommandLineOption verbose{{"v", "verbose"}, "the program's log on stderr too"};
};

std::string Indented(const std::string& text, const std::string& indent) {
    std::string result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        result += indent + text.substr(start, stop - start) + '\n';
        start = stop + 1;
    }
    return result;
}

std::string ProgramHelp() {
    std::string help =
        "Usage: tallybird-cli [-v] COMMAND [ARGUMENTS]\n"
        "Keeps a Kivo Scanner in step with the Tallybird service from a terminal.\n\n"
        "Commands:\n";
    for (const CommandEntry& command : Commands()) {
        help += "  " + std::string(command.name) +
                (*command.arguments ? std::string(" ") + command.arguments : std::string()) + '\n' +
                Indented(command.summary, "      ");
    }
    help += "  help [COMMAND]\n      this text, or a command's\n\n"
            "Options (also after a command):\n"
            "  -h, --help     show this text (after a command: that command's)\n"
            "  --version      show the program version\n"
            "  -v, --verbose  the program's log on stderr too\n\n";
    return help + kPortNote;
}

std::string CommandHelp(const CommandEntry& command) {
    std::string help = "Usage: tallybird-cli " + std::string(command.name) +
                       (*command.arguments ? std::string(" ") + command.arguments : "") + "\n" +
                       Indented(command.summary, "") + "\nOptions:\n";
    for (const OptionEntry& option : command.options) {
        std::string names = "  --" + std::string(option.name);
        if (*option.valueName) {
            names += std::string(" ") + option.valueName;
        }
        help += names + std::string(names.size() < 18 ? 18 - names.size() : 1, ' ') +
                option.description + '\n';
    }
    help += "  -h, --help        show this text\n"
            "  --version         show the program version\n"
            "  -v, --verbose     the program's log on stderr too\n";
    if (std::string(command.arguments).find("PORT") != std::string::npos) {
        help += '\n' + std::string(kPortNote);
    }
    return help;
}

int UsageError(const std::string& message, const std::string& hint) {
    std::cerr << "tallybird-cli: " << message << '\n' << hint;
    return kUsageError;
}

std::string UsageLine(const CommandEntry& command) {
    return "usage: tallybird-cli " + std::string(command.name) +
           (*command.arguments ? std::string(" ") + command.arguments : "") + "\n(tallybird-cli " +
           command.name + " --help tells more)\n";
}

int ShowVersion() {
    std::cout << "tallybird-cli " << TALLYBIRD_VERSION_TEXT << '\n';
    return 0;
}

// The log goes to its file; with -v to stderr as well. Without -v, stderr
// carries only the messages the user must see.
int RunWithLog(const CommandEntry& command, const CommandLine& line, bool verbose) {
    tallybird::LogFile log(tallybird::LogFile::DefaultFile());
    const tallybird::ProgramLogScope logScope(log, verbose);
    return command.run(line, std::cout, std::cerr);
}

int RunCommand(const CommandEntry& command, const QStringList& words, bool verbose) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const CommonOptions common;
    parser.addOptions({common.help, common.version, common.verbose});
    std::vector<QCommandLineOption> options;
    for (const OptionEntry& entry : command.options) {
        options.emplace_back(QString::fromLatin1(entry.name),
                             QString::fromLatin1(entry.description),
                             QString::fromLatin1(entry.valueName));
        parser.addOption(options.back());
    }
    if (!parser.parse(QStringList{"tallybird-cli"} + words)) {
        return UsageError(parser.errorText().toStdString(), UsageLine(command));
    }
    if (parser.isSet(common.help)) {
        std::cout << CommandHelp(command);
        return 0;
    }
    if (parser.isSet(common.version)) {
        return ShowVersion();
    }
    CommandLine line;
    for (const QString& word : parser.positionalArguments()) {
        line.positional.push_back(word.toStdString());
    }
    if (line.positional.size() < command.fewestWords ||
        (command.mostWords && line.positional.size() > *command.mostWords)) {
        return UsageError(line.positional.size() < command.fewestWords
                              ? "too few arguments for " + std::string(command.name)
                              : "too many arguments for " + std::string(command.name),
                          UsageLine(command));
    }
    for (std::size_t i = 0; i < command.options.size(); ++i) {
        if (!parser.isSet(options[i])) {
            continue;
        }
        if (*command.options[i].valueName) {
            line.values[command.options[i].name] = parser.value(options[i]).toStdString();
        } else {
            line.flags.insert(command.options[i].name);
        }
    }
    return RunWithLog(command, line, verbose || parser.isSet(common.verbose));
}

} // namespace

int main(int argc, char** argv) {
    // Serial ports are QObjects: they want an application object on this
    // thread (no event loop runs; the commands wait on the port itself).
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The command's own words, options among them, are the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const CommonOptions common;
    parser.addOptions({common.help, common.version, common.verbose});
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (!parser.parse(arguments)) {
        return UsageError(parser.errorText().toStdString(), ProgramHelp());
    }
    QStringList words = parser.positionalArguments();
    if (parser.isSet(common.help)) {
        std::cout << ProgramHelp();
        return 0;
    }
    if (parser.isSet(common.version)) {
        return ShowVersion();
    }
    if (words.isEmpty()) {
        std::cerr << ProgramHelp();
        return kUsageError;
    }
    const QString name = words.takeFirst();
    if (name == QLatin1String("help")) {
        if (words.isEmpty()) {
            std::cout << ProgramHelp();
            return 0;
        }
        if (const CommandEntry* command = FindCommand(words.front());
            command && words.size() == 1) {
            std::cout << CommandHelp(*command);
            return 0;
        }
        return UsageError("no such command: " + words.join(' ').toStdString(), ProgramHelp());
    }
    const CommandEntry* command = FindCommand(name);
    if (command == nullptr) {
        return UsageError("unknown command '" + name.toStdString() + "'", ProgramHelp());
    }
    return RunCommand(*command, words, parser.isSet(common.verbose));
}
