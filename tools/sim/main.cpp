#include "sim_commands.h"

#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    const std::string_view usage = "usage: tallybird-sim scanner|service [OPTIONS] (--help)\n";
    if (argc < 2) {
        std::cerr << usage;
        return 64;
    }
    const std::string_view which = argv[1];
    if (which == "scanner") {
        return tallybird::sim::RunScannerSimulator(argc - 1, argv + 1);
    }
    if (which == "service") {
        return tallybird::sim::RunServiceSimulator(argc - 1, argv + 1);
    }
    if (which == "--help") {
        std::cout << usage;
        return 0;
    }
    std::cerr << usage;
    return 64;
}
