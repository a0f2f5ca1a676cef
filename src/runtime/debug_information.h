#pragma once

#include "link/port_directory.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tallybird {

class SettingsStore;

// One port of the directory as support sees it.
struct DebugPort {
    int number = 0;
    PortCheck check;
    std::string path;
    std::string description;
    bool candidate = false;
};

// What Help > Copy Debug Information puts on the clipboard: enough for
// support to see the program, the ports and what happened, and nothing
// personal (the registration record is never read for it).
struct DebugFacts {
    std::string programVersion;
    std::string qtVersion;
    std::string keystrokePath; // how the keyboard wedge types; empty before it ran
    std::string settingsFile;
    std::map<std::string, std::string> settings; // [Settings], personal keys left out
    std::vector<DebugPort> ports;                // present or mapped ports only
    std::string logFile;
    std::vector<std::string> logLines; // the last ones, oldest first
};

inline constexpr std::size_t kDebugLogLines = 200;

// The last `count` lines of the log, from its rotated files as well when the
// current one holds fewer.
std::vector<std::string> LastLogLines(const std::filesystem::path& logFile, std::size_t count);

// Reads the settings, the port directory (opening only candidates, as
// detection does) and the log.
DebugFacts CollectDebugFacts(SettingsStore& store, const std::filesystem::path& logFile);

std::string DebugInformationText(const DebugFacts& facts);

} // namespace tallybird
