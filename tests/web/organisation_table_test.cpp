#include "model/organisation_table.h"
#include "web/service_replies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallybird {
namespace {

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::vector<std::string> Texts(const OrganisationTable& table) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        texts.emplace_back(table.entries[i].begin(), table.entries[i].end());
    }
    return texts;
}

TEST(OrganisationTableTest, PairsBecomeEntriesAfterTheDefault) {
    struct Case {
        std::string reply;
        std::vector<std::string> entries;
    };
    const std::string def(kDefaultOrganisation);
    for (const Case& c : {
             Case{"Vets+North|01632+960001|Dog+Rescue|01632+960002",
                  {def, "Vets North 01632 960001", "Dog Rescue 01632 960002"}},
             Case{"A|1|", {def, "A 1"}},            // three fields, the last empty
             Case{"A|1|B", {def, "A 1"}},           // a trailing single field is ignored
             Case{"Only+one+field", {def}},         // no "|": one field, no pair
             Case{"", {def}},                       // empty reply
             Case{"A|1|%zz|2", {def}},              // a bad escape empties the whole reply
             Case{"Caf%E9|%7C", {def, "Caf\xE9 "}}, // decoded before it is split
         }) {
        EXPECT_EQ(Texts(BuildOrganisationTable(B(c.reply))), c.entries) << c.reply;
    }
}

TEST(OrganisationTableTest, AJoinedTextLongerThan31BytesIsCut) {
    // 20 + 1 + 19 = 40 characters.
    const OrganisationTable table =
        BuildOrganisationTable(B("Abcdefghijklmnopqrst|0123456789012345678"));
    EXPECT_EQ(table.entries[1], B("Abcdefghijklmnopqrst 0123456789"));
    EXPECT_EQ(table.entries[1].size(), kOrganisationTextMax);
}

TEST(OrganisationTableTest, PairsBeyondTheLastEntryAreDropped) {
    std::string reply;
    for (int i = 1; i <= 300; ++i) {
        reply += "N" + std::to_string(i) + "|" + std::to_string(i) + "|";
    }
    const OrganisationTable table = BuildOrganisationTable(B(reply));
    EXPECT_EQ(table.entries[256], B("N256 256"));
    EXPECT_EQ(table.Count(), kOrganisationSlots);
}

} // namespace
} // namespace tallybird
