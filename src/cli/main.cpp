// tallybird-cli: the program's core driven from a terminal, for tests, scripts
// and people without a desktop. Usage errors print a message and exit 64.
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

constexpr int kUsageError = 64;

constexpr std::string_view kUsage = R"(Usage: tallybird-cli COMMAND [ARGUMENTS]

Commands:
  --help       show this text
  --version    show the program version
)";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return kUsageError;
    }
    const std::string_view command = argv[1];
    if (command == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "tallybird-cli " << TALLYBIRD_VERSION_TEXT << '\n';
        return 0;
    }
    std::cerr << "tallybird-cli: unknown command '" << command << "'\n" << kUsage;
    return kUsageError;
}
