#include "sim_commands.h"

#include <iostream>
#include <string_view>

namespace {

constexpr std::string_view kUsage = R"(Usage: tallybird-sim scanner|service [OPTIONS]

Tallybird's test bed: a simulated Kivo Scanner on a pseudo-terminal and a
simulated Tallybird service on 127.0.0.1, used by the tests, the demo and the
benchmarks.

Commands:
  scanner       a Kivo Scanner on a pseudo-terminal linked at PATH (--link
                PATH), with a flash-memory model, faults and a control socket
  service       the online service on 127.0.0.1 (--port N), with per-country
                lists, organisations, recorded traffic and faults

Options:
  -h, --help    show this text; "scanner --help" and "service --help" list
                each simulator's own options
  --version     show the program version
)";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 64;
    }
    const std::string_view which = argv[1];
    if (which == "scanner") {
        return tallybird::sim::RunScannerSimulator(argc - 1, argv + 1);
    }
    if (which == "service") {
        return tallybird::sim::RunServiceSimulator(argc - 1, argv + 1);
    }
    if (which == "--help" || which == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (which == "--version") {
        std::cout << "tallybird-sim " << TALLYBIRD_SIM_VERSION_TEXT << '\n';
        return 0;
    }
    std::cerr << "tallybird-sim: unknown command '" << which << "'\n" << kUsage;
    return 64;
}
