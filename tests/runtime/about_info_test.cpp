#include "runtime/about_info.h"
#include "runtime/software_update.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

TEST(AboutInfoTest, LinesForTheScannerSeenLastAndTheRegistration) {
    const CountryTable countries = BuildCountryTable();
    struct Case {
        AboutFacts facts;
        AboutLines lines;
    };
    const std::string version = std::string("Software Version: ") + TALLYBIRD_VERSION_TEXT;
    const std::vector<Case> cases{
        {{"", 0, 0, "", false},
         {version, "Registered Name: Not Registered", "Scanner S/N: Not Connected",
          "Scanner Version: Not Connected", "Registration Country: United Kingdom",
          "Tallybird Database Offline"}},
        {{"Ann Owner", 1, 1, "W2", true},
         {version, "Registered Name: Ann Owner", "Scanner S/N: 060540", "Scanner Version: W2",
          "Registration Country: United Kingdom", "Tallybird Database Online"}},
        {{"Bob", 2, 66051, "H1", true},
         {version, "Registered Name: Bob", "Scanner S/N: 126590", "Scanner Version: H1",
          "Registration Country: " + countries[2], "Tallybird Database Online"}},
        {{"Bob", 255, 16777215, "W9", false},
         {version, "Registered Name: Bob", "Scanner S/N: 16837754", "Scanner Version: W9",
          "Registration Country: " + countries[255], "Tallybird Database Offline"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AboutLinesFor(c.facts, countries), c.lines);
    }
    EXPECT_EQ(countries[2].rfind("Netherlands", 0), 0U);
}

TEST(AboutInfoTest, TheScannerSeenLastComesFromTheSharedState) {
    SharedState state;
    RegistrationRecord record;
    record.ownerName = "Ann";
    record.countryNumber = 84;
    AboutFacts facts = CollectAboutFacts(state, record);
    EXPECT_EQ(facts.scannerWireSerial, 0);
    EXPECT_EQ(facts.scannerVersion, "");
    state.NoteScannerSerial(66051);
    state.NoteScannerVersion("W2");
    facts = CollectAboutFacts(state, record);
    EXPECT_EQ(facts.scannerWireSerial, 66051);
    EXPECT_EQ(facts.scannerVersion, "W2");
    EXPECT_EQ(facts.countryNumber, 84);
    EXPECT_FALSE(facts.databaseOnline) << "offline until the probe answers";
}

TEST(SoftwareUpdateTest, VersionValuesCountTheMinorInTenths) {
    EXPECT_DOUBLE_EQ(PlainVersionValue("2.6"), 2.6);
    EXPECT_DOUBLE_EQ(PlainVersionValue("2.10"), 3.0);
    EXPECT_DOUBLE_EQ(PlainVersionValue("3"), 3.0);
    EXPECT_DOUBLE_EQ(PlainVersionValue("2.6.9"), 2.6);
    EXPECT_DOUBLE_EQ((ProgramVersion{2, 10}).Value(), 3.0);
    EXPECT_EQ((ProgramVersion{2, 5}).Text(), "2.5");
    EXPECT_EQ(RunningVersion().Text(), TALLYBIRD_VERSION_TEXT);
}

} // namespace
} // namespace tallybird
