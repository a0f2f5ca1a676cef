#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallybird {

// One chip as a session read it from the scanner, for the chip history.
struct ReadRecord {
    std::string text; // as received: decimal, hexadecimal, three groups, other
    bool uploaded = false;
    bool missing = false; // on the scanner's missing-animal list at that session
};

// What the chip history keeps of one session: when, which scanner, how it
// ended and every chip it read, whether or not it ended in order.
struct SessionRecord {
    std::int64_t started = 0; // seconds since 1970 (UTC)
    std::int64_t ended = 0;
    std::string scanner; // the serial number as shown; empty when never read
    std::string version;
    std::string end;    // "orderly end", "failure path", "software error", "not run"
    std::string step;   // the failing step, when there is one
    std::string reason; // why a software error stopped the session
    std::vector<ReadRecord> reads;
};

} // namespace tallybird
