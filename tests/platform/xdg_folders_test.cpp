#include "platform/data_folder.h"
#include "platform/settings_store.h"
#include "platform/xdg_folders.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tallybird {
namespace {

class XdgFoldersTest : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path home = dir / "home";
    std::filesystem::path work = dir / "work"; // the current folder
    test::ScopedEnvironment env;

    void SetUp() override {
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(work);
        env.Set("HOME", home.string());
        env.Unset("XDG_STATE_HOME");
        env.ChangeFolder(work);
    }
};

struct HomeCase {
    std::string value; // of XDG_DATA_HOME and XDG_CONFIG_HOME
    bool used;         // else the default below $HOME
};

class XdgHomeTest : public XdgFoldersTest, public testing::WithParamInterface<HomeCase> {};

TEST_P(XdgHomeTest, OnlyAnAbsoluteValueIsUsed) {
    env.Set("XDG_DATA_HOME", GetParam().value);
    env.Set("XDG_CONFIG_HOME", GetParam().value);
    const std::filesystem::path value = GetParam().value;
    EXPECT_EQ(DefaultDataHome(), GetParam().used ? value : home / ".local/share");
    EXPECT_EQ(SettingsStore::DefaultFile(),
              (GetParam().used ? value : home / ".config") / "Tallybird" / "Tallybird.ini");
    EXPECT_EQ(XdgHome("XDG_STATE_HOME", ".local/state"), home / ".local/state") << "unset";
    EXPECT_TRUE(std::filesystem::is_empty(work)) << "nothing is made below the current folder";
}

INSTANTIATE_TEST_SUITE_P(Values, XdgHomeTest,
                         testing::Values(HomeCase{"rel/data", false}, HomeCase{"./data", false},
                                         HomeCase{"data", false}, HomeCase{"", false},
                                         HomeCase{"/srv/tallybird/data", true}));

} // namespace
} // namespace tallybird
