#include "sim_commands.h"

#include <iostream>

namespace tallybird::sim {

// Replaced by the service simulator.
int RunServiceSimulator(int, char**) {
    std::cerr << "tallybird-sim: the service simulator is not built yet\n";
    return 1;
}

} // namespace tallybird::sim
