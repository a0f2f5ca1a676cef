#include "runtime/about_info.h"

#include <cstdio>

namespace tallybird {
namespace {

// People are shown the wire serial plus this offset.
constexpr std::int64_t kDisplayedSerialOffset = 60539;

std::string SerialLine(std::int64_t wireSerial) {
    if (wireSerial <= 0) {
        return "Scanner S/N: Not Connected";
    }
    char digits[32];
    std::snprintf(digits, sizeof digits, "%06lld",
                  static_cast<long long>(wireSerial + kDisplayedSerialOffset));
    return std::string("Scanner S/N: ") + digits;
}

std::string CountryLine(int countryNumber, const CountryTable& countries) {
    // Numbers below 2 are the United Kingdom (0 is what an unregistered
    // record holds).
    if (countryNumber < 2) {
        return "Registration Country: United Kingdom";
    }
    const auto index = static_cast<std::size_t>(countryNumber);
    return "Registration Country: " + (index < countries.size() ? countries[index] : std::string());
}

} // namespace

AboutLines AboutLinesFor(const AboutFacts& facts, const CountryTable& countries) {
    return {
        std::string("Software Version: ") + TALLYBIRD_VERSION_TEXT,
        "Registered Name: " + (facts.ownerName.empty() ? "Not Registered" : facts.ownerName),
        SerialLine(facts.scannerWireSerial),
        "Scanner Version: " +
            (facts.scannerVersion.empty() ? std::string("Not Connected") : facts.scannerVersion),
        CountryLine(facts.countryNumber, countries),
        facts.databaseOnline ? "Tallybird Database Online" : "Tallybird Database Offline",
    };
}

AboutFacts CollectAboutFacts(const SharedState& state, const RegistrationRecord& record) {
    AboutFacts facts;
    facts.ownerName = record.ownerName;
    facts.countryNumber = record.countryNumber;
    facts.scannerWireSerial = state.LastScannerSerial();
    facts.scannerVersion = state.LastScannerVersion();
    return facts;
}

bool ServiceAnswers(ServiceClient& service) {
    const ServiceResult<double> time = service.FetchServiceTime();
    return !time.Failed() && time.value != 0;
}

} // namespace tallybird
