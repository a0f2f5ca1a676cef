#include "sim_commands.h"

#include <iostream>

namespace tallybird::sim {

// Replaced by the scanner simulator.
int RunScannerSimulator(int, char**) {
    std::cerr << "tallybird-sim: the scanner simulator is not built yet\n";
    return 1;
}

} // namespace tallybird::sim
