#pragma once

namespace tallybird::sim {

// `tallybird-sim scanner ...`; argv[0] is "scanner".
int RunScannerSimulator(int argc, char** argv);

// `tallybird-sim service ...`; argv[0] is "service".
int RunServiceSimulator(int argc, char** argv);

} // namespace tallybird::sim
