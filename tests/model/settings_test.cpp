#include "model/settings.h"
#include "model/shared_state.h"
#include "support/hostile_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tallybird {
namespace {

class SettingsTest : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path ini = dir / "Tallybird.ini";
};

// An administrator's file beneath the user's: a clinic sets the service
// address once for every account, and each user's own choice still wins.
TEST_F(SettingsTest, AdministratorDefaultsLieBeneathTheUsersFile) {
    test::ScopedEnvironment env;
    env.Set("XDG_CONFIG_DIRS", (dir / "site").string() + ":relative:" + (dir / "vendor").string());
    const auto files = SettingsStore::AdministratorDefaultFiles();
    ASSERT_EQ(files,
              (std::vector<std::filesystem::path>{dir / "site" / "Tallybird" / "Tallybird.ini",
                                                  dir / "vendor" / "Tallybird" / "Tallybird.ini"}))
        << "relative entries are ignored";
    std::filesystem::create_directories(dir / "site" / "Tallybird");
    std::filesystem::create_directories(dir / "vendor" / "Tallybird");
    test::WriteTextFile(files[0], "[Settings]\nServerBaseUrl=https://clinic.example/alpha/\n");
    test::WriteTextFile(files[1], "[Settings]\nServerBaseUrl=https://vendor.example/alpha/\n"
                                  "WedgeEnd=9\n");

    SettingsStore store(ini, files);
    Settings settings(store);
    EXPECT_EQ(settings.ServerBaseUrl(), "https://clinic.example/alpha/") << "first listed first";
    EXPECT_EQ(settings.WedgeEnd(), "9");
    EXPECT_EQ(settings.StartUp(), "") << "a key no file holds keeps its default";
    store.Save("Settings", "WedgeEnd", "27");
    EXPECT_EQ(settings.WedgeEnd(), "27") << "the user's own value wins";
    EXPECT_EQ(test::ReadFile(files[1]).size(), std::string("[Settings]\nServerBaseUrl=https://"
                                                           "vendor.example/alpha/\nWedgeEnd=9\n")
                                                   .size())
        << "the defaults are only read";

    env.Unset("XDG_CONFIG_DIRS");
    EXPECT_EQ(SettingsStore::AdministratorDefaultFiles(),
              std::vector<std::filesystem::path>{"/etc/xdg/Tallybird/Tallybird.ini"});
}

TEST_F(SettingsTest, AbsentKeysReadAsTheirDefaults) {
    SettingsStore store(ini);
    Settings settings(store);
    EXPECT_EQ(settings.WedgeEnd(), "13");
    EXPECT_FALSE(settings.ShowRequested());
    EXPECT_EQ(settings.StartUp(), "");
    EXPECT_FALSE(settings.Keyboard());
    EXPECT_EQ(settings.Comm(), 0);
    EXPECT_EQ(settings.ServerBaseUrl(), "http://127.0.0.1:8642/alpha/");
    EXPECT_FALSE(settings.ResetPending());
    EXPECT_FALSE(settings.ResetDiscardsScans());
    EXPECT_TRUE(settings.PortMap().empty());
    EXPECT_EQ(settings.WedgeKeyDelay(), 0);
}

TEST_F(SettingsTest, WedgeKeyDelayStaysWithin0To100) {
    SettingsStore store(ini);
    Settings settings(store);
    for (const auto& [text, ms] : std::vector<std::pair<const char*, int>>{
             {"35", 35}, {"250", 100}, {"-3", 0}, {"x", 0}, {"12.5", 12}}) {
        store.Save("Settings", "WedgeKeyDelay", text);
        EXPECT_EQ(settings.WedgeKeyDelay(), ms) << text;
    }
    settings.SetWedgeKeyDelay(400);
    EXPECT_EQ(store.Get("Settings", "WedgeKeyDelay", ""), "100");
}

TEST_F(SettingsTest, ValuesAreWordsInTheSettingsSectionOfAnIniFile) {
    {
        SettingsStore store(ini);
        Settings settings(store);
        settings.SetKeyboard(true);
        settings.SetRunning(false);
        settings.SetStartUp("Registered");
        settings.SetResetPending(ResetKind::DiscardsScans);
    }
    const std::string text(reinterpret_cast<const char*>(test::ReadFile(ini).data()),
                           test::ReadFile(ini).size());
    EXPECT_NE(text.find("[Settings]"), std::string::npos);
    EXPECT_NE(text.find("Keyboard=True"), std::string::npos);
    EXPECT_NE(text.find("Running=False"), std::string::npos);
    EXPECT_NE(text.find("StartUp=Registered"), std::string::npos);
    EXPECT_NE(text.find("ResetPending=True"), std::string::npos);
    EXPECT_NE(text.find("ResetDiscardsScans=True"), std::string::npos);
}

TEST_F(SettingsTest, ReadsWhatAnotherProcessWroteMeanwhile) {
    SettingsStore running(ini);
    Settings settings(running);
    EXPECT_FALSE(settings.ShowRequested());
    {
        SettingsStore secondInstance(ini);
        Settings(secondInstance).SetShowRequested(true);
    }
    EXPECT_TRUE(settings.ShowRequested());
}

TEST_F(SettingsTest, HandWrittenFileWithPortsAndComm) {
    test::WriteTextFile(ini, "[Settings]\ncomm=5\nKeyboard=true\nServerBaseUrl="
                             "http://127.0.0.1:9000/alpha/\n\n[Ports]\n7=/tmp/kivo0\n"
                             "300=/dev/null\nx=/dev/null\n");
    SettingsStore store(ini);
    Settings settings(store);
    EXPECT_EQ(settings.Comm(), 5);
    EXPECT_FALSE(settings.Keyboard()) << "only the exact word True is true";
    EXPECT_EQ(settings.ServerBaseUrl(), "http://127.0.0.1:9000/alpha/");
    const auto ports = settings.PortMap();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports.at(7), "/tmp/kivo0");
}

TEST_F(SettingsTest, CommFarOutsideThePortsKeepsItsMeaning) {
    const struct {
        const char* text;
        int comm;
    } cases[] = {{"7", 7},     {"7.5", 8},          {"", 0},
                 {"abc", 0},   {"-3", 0},           {"-99999999999", 0},
                 {"300", 256}, {"7888888888", 256}, {"1e400", 256}};
    for (const auto& c : cases) {
        test::WriteTextFile(ini, std::string("[Settings]\ncomm=") + c.text + "\n");
        SettingsStore store(ini);
        EXPECT_EQ(Settings(store).Comm(), c.comm) << c.text;
    }
}

TEST_F(SettingsTest, HandWrittenValuesWithCommasComeBackWhole) {
    test::WriteTextFile(ini, "[Settings]\nServerBaseUrl=http://host/alpha,x/\nStartUp=,a,,b,\n\n"
                             "[Ports]\n7=/tmp/kivo,0\n");
    SettingsStore store(ini);
    Settings settings(store);
    EXPECT_EQ(settings.ServerBaseUrl(), "http://host/alpha,x/");
    EXPECT_EQ(settings.StartUp(), ",a,,b,") << "empty pieces stay";
    EXPECT_EQ(settings.PortMap().at(7), "/tmp/kivo,0");
}

TEST_F(SettingsTest, SavedValuesWithCommasComeBackWhole) {
    const std::string value = " a, b ,c,";
    SettingsStore(ini).Save("Ports", "9", value);
    SettingsStore store(ini);
    EXPECT_EQ(store.Get("Ports", "9", ""), value);
    EXPECT_EQ(store.Section("Ports").at("9"), value);
}

TEST_F(SettingsTest, AFifoOrADirectoryInPlaceOfTheFileReadsAsNoSettings) {
    for (const auto kind : {test::HostileFile::Fifo, test::HostileFile::Directory}) {
        SCOPED_TRACE(test::Name(kind));
        const auto file = dir / (test::Name(kind) + ".ini");
        ASSERT_TRUE(test::PlaceHostileFile(kind, file));
        const auto readsDefaults = [&] {
            SettingsStore store(file);
            Settings settings(store);
            settings.SetKeyboard(true);
            return settings.ServerBaseUrl() == kDefaultServerBaseUrl && !settings.Keyboard() &&
                           settings.PortMap().empty()
                       ? 0
                       : 1;
        };
        EXPECT_EQ(test::ExitCodeWithin(std::chrono::seconds(5), readsDefaults), 0);
    }
}

struct WedgeEndCase {
    std::string text;
    int code;
};

class WedgeEndTest : public testing::TestWithParam<WedgeEndCase> {};

TEST_P(WedgeEndTest, UnusableValuesGive13) {
    EXPECT_EQ(WedgeEndCharFrom(GetParam().text), GetParam().code) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, WedgeEndTest,
                         testing::Values(WedgeEndCase{"0", 13}, WedgeEndCase{"256", 13},
                                         WedgeEndCase{"-5", 13}, WedgeEndCase{"x", 13},
                                         WedgeEndCase{"", 13}, WedgeEndCase{"9x", 13},
                                         WedgeEndCase{"12.5", 12}, WedgeEndCase{"13.5", 14},
                                         WedgeEndCase{"0.5", 13}, WedgeEndCase{"255.5", 13},
                                         WedgeEndCase{"1", 1}, WedgeEndCase{" 9 ", 9},
                                         WedgeEndCase{"255", 255}));

TEST_F(SettingsTest, LoadingTheSharedStateResetsFlagsAndReadsTheSettings) {
    test::WriteTextFile(ini, "[Settings]\nWedgeEnd=9\nResetPending=True\n");
    SettingsStore store(ini);
    Settings settings(store);
    SharedState state;
    state.testMode = true;
    state.showProgress = true;
    state.wedgeActive = true;
    LoadSharedState(state, settings, dir.Path());
    EXPECT_EQ(state.dataFolder, dir.Path());
    EXPECT_EQ(state.wedgeEndChar, 9);
    EXPECT_EQ(state.serverBaseUrl, kDefaultServerBaseUrl);
    EXPECT_FALSE(state.testMode);
    EXPECT_FALSE(state.showProgress);
    EXPECT_FALSE(state.wedgeActive);
    EXPECT_TRUE(state.resetPending) << "a pending reset survives a restart";
}

TEST_F(SettingsTest, ResetRequestsPersistUntilCleared) {
    SettingsStore store(ini);
    Settings settings(store);
    SharedState state;

    RequestReset(state, settings, ResetKind::KeepsScans); // country change
    EXPECT_TRUE(state.resetPending);
    EXPECT_TRUE(settings.ResetPending());
    EXPECT_FALSE(settings.ResetDiscardsScans());

    RequestReset(state, settings, ResetKind::DiscardsScans); // Reset Scanner
    RequestReset(state, settings, ResetKind::KeepsScans);
    EXPECT_TRUE(settings.ResetDiscardsScans()) << "a later request keeps the user's consent";

    ClearReset(state, settings);
    EXPECT_FALSE(state.resetPending);
    EXPECT_FALSE(settings.ResetPending());
    EXPECT_FALSE(settings.ResetDiscardsScans());
    EXPECT_EQ(store.Get("Settings", "ResetPending", ""), "False");
}

// A session clears the reset it found when it started, never one the user
// asked for while it ran.
TEST_F(SettingsTest, ASessionClearsOnlyTheResetItActedOn) {
    SettingsStore store(ini);
    Settings settings(store);
    SharedState state;
    RequestReset(state, settings, ResetKind::KeepsScans);
    LoadSharedState(state, settings, dir.Path()); // found pending at start-up

    const ResetRequest found = PendingReset(state, settings);
    ASSERT_TRUE(found.pending);
    EXPECT_FALSE(found.discardsScans);
    RequestReset(state, settings, ResetKind::DiscardsScans); // chosen during the session
    EXPECT_FALSE(ClearResetActedOn(state, settings, found));
    EXPECT_TRUE(state.resetPending);
    EXPECT_TRUE(settings.ResetPending());
    EXPECT_TRUE(settings.ResetDiscardsScans());

    const ResetRequest next = PendingReset(state, settings);
    EXPECT_TRUE(next.discardsScans);
    EXPECT_TRUE(ClearResetActedOn(state, settings, next));
    EXPECT_FALSE(state.resetPending);
    EXPECT_FALSE(settings.ResetPending());

    const ResetRequest none = PendingReset(state, settings);
    EXPECT_FALSE(none.pending);
    RequestReset(state, settings, ResetKind::KeepsScans);
    EXPECT_FALSE(ClearResetActedOn(state, settings, none)) << "nothing was acted on";
    EXPECT_TRUE(settings.ResetPending());
}

} // namespace
} // namespace tallybird
