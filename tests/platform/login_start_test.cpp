#include "platform/login_start.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tallybird {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    test::WriteTextFile(file, text);
}

std::string ReadText(const fs::path& file) {
    const Bytes bytes = test::ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

// What the package installs in /etc/xdg/autostart.
constexpr const char* kSystemEntry = "[Desktop Entry]\n"
                                     "Type=Application\n"
                                     "Name=Tallybird\n"
                                     "Exec=tallybird --hidden\n"
                                     "NoDisplay=true\n"
                                     "X-GNOME-Autostart-enabled=true\n";

class LoginStartTest : public testing::Test {
protected:
    test::TempDir dir;
    AutostartFolders folders{dir / "home/.config/autostart",
                             {dir / "etc/xdg-first/autostart", dir / "etc/xdg/autostart"}};
    fs::path program = "/usr/bin/tallybird";

    fs::path UserEntry() const { return folders.user / kAutostartEntryName; }
    fs::path SystemEntry() const { return folders.system.back() / kAutostartEntryName; }
};

TEST_F(LoginStartTest, OffWritesAHiddenCopyOfTheSystemEntryAndOnRemovesIt) {
    Put(SystemEntry(), kSystemEntry);
    EXPECT_TRUE(StartsAtLogin(folders));

    ASSERT_TRUE(SetStartAtLogin(folders, false, program));
    EXPECT_FALSE(StartsAtLogin(folders));
    EXPECT_EQ(ReadText(UserEntry()), "[Desktop Entry]\n"
                                     "Hidden=true\n"
                                     "Type=Application\n"
                                     "Name=Tallybird\n"
                                     "Exec=tallybird --hidden\n"
                                     "NoDisplay=true\n");
    EXPECT_EQ(ReadText(SystemEntry()), kSystemEntry) << "the system's entry is left alone";

    ASSERT_TRUE(SetStartAtLogin(folders, true, program));
    EXPECT_TRUE(StartsAtLogin(folders));
    EXPECT_FALSE(fs::exists(UserEntry()));
    EXPECT_TRUE(SetStartAtLogin(folders, true, program)) << "already on";
}

TEST_F(LoginStartTest, WithoutASystemEntryOnWritesAnEntryOfTheUsersOwn) {
    EXPECT_FALSE(StartsAtLogin(folders)) << "installed where the session does not look";

    ASSERT_TRUE(SetStartAtLogin(folders, true, "/opt/tally bird/tallybird"));
    EXPECT_TRUE(StartsAtLogin(folders));
    const std::string own = ReadText(UserEntry());
    EXPECT_NE(own.find("\nExec=\"/opt/tally bird/tallybird\" --hidden\n"), std::string::npos)
        << own;
    EXPECT_EQ(own.find("Hidden"), std::string::npos);

    ASSERT_TRUE(SetStartAtLogin(folders, false, program));
    EXPECT_FALSE(fs::exists(UserEntry()));
}

TEST_F(LoginStartTest, TheUsersEntryDecidesAndTheFirstSystemFolderComesFirst) {
    Put(SystemEntry(), kSystemEntry);
    Put(folders.system.front() / kAutostartEntryName,
        "[Desktop Entry]\nExec=tallybird --hidden\nHidden=true\n");
    EXPECT_FALSE(StartsAtLogin(folders)) << "the first folder of XDG_CONFIG_DIRS wins";
    fs::remove(folders.system.front() / kAutostartEntryName);

    // GNOME's own switch, as its tools write it, counts as off; a key of that
    // name in another group does not.
    Put(UserEntry(), "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(StartsAtLogin(folders));
    Put(UserEntry(), "[Desktop Entry]\nExec=x\n[Desktop Action a]\nHidden=true\n");
    EXPECT_TRUE(StartsAtLogin(folders));

    Put(UserEntry(), "[Desktop Entry]\r\nHidden=true\r\n");
    EXPECT_FALSE(StartsAtLogin(folders));
    ASSERT_TRUE(SetStartAtLogin(folders, true, program));
    EXPECT_FALSE(fs::exists(UserEntry()));
}

TEST_F(LoginStartTest, ASymbolicLinkIsReplacedNeverWrittenThrough) {
    Put(SystemEntry(), kSystemEntry);
    const fs::path elsewhere = dir / "elsewhere.desktop";
    Put(elsewhere, "[Desktop Entry]\nExec=tallybird --hidden\n");
    fs::create_directories(folders.user);
    fs::create_symlink(elsewhere, UserEntry());

    ASSERT_TRUE(SetStartAtLogin(folders, false, program));
    EXPECT_FALSE(fs::is_symlink(UserEntry()));
    EXPECT_EQ(ReadText(elsewhere), "[Desktop Entry]\nExec=tallybird --hidden\n");
    EXPECT_FALSE(StartsAtLogin(folders));

    fs::remove(UserEntry());
    fs::create_symlink(dir / "elsewhere-hidden.desktop", UserEntry());
    Put(dir / "elsewhere-hidden.desktop", "[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(SetStartAtLogin(folders, true, program));
    EXPECT_FALSE(fs::exists(fs::symlink_status(UserEntry())));
    EXPECT_TRUE(fs::exists(dir / "elsewhere-hidden.desktop")) << "only the link goes";
}

TEST_F(LoginStartTest, AFolderInTheWayIsReportedAndChangesNothing) {
    Put(SystemEntry(), kSystemEntry);
    fs::create_directories(UserEntry() / "inside");
    EXPECT_TRUE(StartsAtLogin(folders)) << "not a file: the system's entry applies";
    EXPECT_FALSE(SetStartAtLogin(folders, false, program));
    EXPECT_TRUE(fs::is_directory(UserEntry() / "inside"));
    EXPECT_TRUE(StartsAtLogin(folders));
}

TEST(LoginStartFolders, FollowTheBaseDirectoryVariables) {
    test::ScopedEnvironment env;
    env.Set("HOME", "/home/owner");
    env.Set("XDG_CONFIG_HOME", "/srv/config");
    env.Set("XDG_CONFIG_DIRS", "/etc/site:relative/xdg::/etc/xdg");
    AutostartFolders folders = DefaultAutostartFolders();
    EXPECT_EQ(folders.user, fs::path("/srv/config/autostart"));
    EXPECT_EQ(folders.system, (std::vector<fs::path>{"/etc/site/autostart", "/etc/xdg/autostart"}));

    env.Set("XDG_CONFIG_HOME", "relative");
    env.Unset("XDG_CONFIG_DIRS");
    folders = DefaultAutostartFolders();
    EXPECT_EQ(folders.user, fs::path("/home/owner/.config/autostart"));
    EXPECT_EQ(folders.system, (std::vector<fs::path>{"/etc/xdg/autostart"}));
}

struct ExecCase {
    std::string program;
    std::string exec;
};

class AutostartExecTest : public testing::TestWithParam<ExecCase> {};

TEST_P(AutostartExecTest, QuotesAndEscapesAsTheDesktopEntryRulesAsk) {
    EXPECT_EQ(AutostartExecLine(GetParam().program), GetParam().exec);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AutostartExecTest,
    testing::Values(
        ExecCase{"/usr/local/bin/tallybird", "/usr/local/bin/tallybird --hidden"},
        ExecCase{"/opt/my apps/tallybird", "\"/opt/my apps/tallybird\" --hidden"},
        ExecCase{"/opt/$HOME/\"x\"/tallybird", R"("/opt/\\$HOME/\\"x\\"/tallybird" --hidden)"},
        ExecCase{"/opt/a\\b/100%/tallybird", R"("/opt/a\\\\b/100%%/tallybird" --hidden)"},
        ExecCase{"/opt/a;rm -rf ~/tallybird", "\"/opt/a;rm -rf ~/tallybird\" --hidden"}));

} // namespace
} // namespace tallybird
