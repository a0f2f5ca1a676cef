#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace tallybird::cli {

// The device a PORT argument names.
struct Device {
    std::filesystem::path path;
    std::string description;
    int number = 0; // its port number, 0 when the directory does not number it
};

bool AllDigits(const std::string& text);

// PORT: a port number looked up in the port directory, or a device path.
// Nothing (and a message on `err`) for a number outside 1..255.
std::optional<Device> ResolvePort(const std::string& word, std::ostream& err);

// One line on `err` with the remedy when this account may not open the
// device (the commands go on and fail as they would).
void ReportIfRefused(const std::filesystem::path& device, std::ostream& err);

} // namespace tallybird::cli
