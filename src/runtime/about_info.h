#pragma once

#include "model/country_table.h"
#include "model/registration_record.h"
#include "model/shared_state.h"
#include "web/service_client.h"

#include <array>
#include <cstdint>
#include <string>

namespace tallybird {

// What the About window reads: the owner, the scanner seen last and whether
// the service answered its probe.
struct AboutFacts {
    std::string ownerName;
    int countryNumber = 1;
    std::int64_t scannerWireSerial = 0; // 0: none identified since start-up
    std::string scannerVersion;         // empty: none identified
    bool databaseOnline = false;
};

// The window's six labels, top to bottom: software version, registered name,
// scanner serial, scanner version, registration country, database state.
using AboutLines = std::array<std::string, 6>;
AboutLines AboutLinesFor(const AboutFacts& facts, const CountryTable& countries);

// The facts of this run, without the service probe (offline until it answers).
AboutFacts CollectAboutFacts(const SharedState& state, const RegistrationRecord& record);

// The service probe: the service clock read as a number; anything but 0 is
// online. A service that cannot be reached is offline.
bool ServiceAnswers(ServiceClient& service);

} // namespace tallybird
