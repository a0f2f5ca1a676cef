#include "platform/settings_store.h"
#include "runtime/debug_information.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

std::string Lines(const std::string& prefix, int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) {
        text += prefix + std::to_string(i) + "\n";
    }
    return text;
}

TEST(DebugInformation, TheLastLinesComeFromTheRotatedFilesWhenTheCurrentOneIsShort) {
    test::TempDir dir;
    const auto log = dir / "tallybird.log";
    test::WriteTextFile(dir / "tallybird.log.2", Lines("old ", 0, 99));
    test::WriteTextFile(dir / "tallybird.log.1", Lines("mid ", 0, 99));
    test::WriteTextFile(log, Lines("new ", 0, 29));

    const auto lines = LastLogLines(log, 200);
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines.front(), "old 30");
    EXPECT_EQ(lines[70], "mid 0");
    EXPECT_EQ(lines.back(), "new 29");
    EXPECT_EQ(LastLogLines(log, 10).front(), "new 20");
    EXPECT_TRUE(LastLogLines(dir / "absent.log", 200).empty());
}

TEST(DebugInformation, ShowsSettingsAndMappedPortsButNothingPersonal) {
    test::TempDir dir;
    test::WriteTextFile(dir / "not-a-tty", "x");
    test::WriteTextFile(dir / "Tallybird.ini",
                        "[Settings]\nKeyboard=True\nEmail=someone@example.org\nname=Jo Bloggs\n\n"
                        "[Ports]\n7=" +
                            (dir / "gone").string() + "\n8=" + (dir / "not-a-tty").string() + "\n");
    test::WriteTextFile(dir / "tallybird.log", "session end: scanner 126590, orderly end\n");
    SettingsStore store(dir / "Tallybird.ini");

    const std::string text = DebugInformationText(CollectDebugFacts(store, dir / "tallybird.log"));
    EXPECT_TRUE(text.starts_with(std::string("Tallybird ") + TALLYBIRD_VERSION_TEXT + " (Qt "))
        << text;
    EXPECT_NE(text.find("  Keyboard=True\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("someone@example.org"), std::string::npos) << text;
    EXPECT_EQ(text.find("Bloggs"), std::string::npos) << text;
    // A mapped port is listed even when absent; one that would not open says why.
    EXPECT_NE(text.find("  7\t2 absent\t" + (dir / "gone").string() + "\tUSB Serial Port ("),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  8\t1 busy\t" + (dir / "not-a-tty").string()), std::string::npos) << text;
    EXPECT_NE(text.find("candidate\t(" + (dir / "not-a-tty").string() + ": "), std::string::npos)
        << text;
    EXPECT_NE(text.find("the last 1 lines):\nsession end: scanner 126590, orderly end\n"),
              std::string::npos)
        << text;
}

} // namespace
} // namespace tallybird
