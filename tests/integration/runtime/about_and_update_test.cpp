#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include "model/country_table.h"
#include "model/registration_record.h"
#include "platform/settings_store.h"
#include "runtime/about_info.h"
#include "runtime/software_update.h"
#include "web/http_client.h"
#include "web/service_client.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace tallybird {
namespace {

using namespace std::chrono_literals;

std::string StateWith(const std::string& version, const std::string& installer = "") {
    QJsonObject state{{"time", 1700000000}, {"version", QString::fromStdString(version)}};
    if (!installer.empty()) {
        state["installer"] = QString::fromStdString(installer);
    }
    return QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString();
}

unsigned ModeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777U;
}

bool WaitForFile(const std::filesystem::path& file) {
    const auto until = std::chrono::steady_clock::now() + test::Scaled(10s);
    while (std::chrono::steady_clock::now() < until) {
        if (std::filesystem::exists(file)) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

class AboutAndUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1", 1);
        sim = std::make_unique<test::ServiceSim>(folder.Path(), StateWith("2.6"));
        service = std::make_unique<ServiceClient>(sim->BaseUrl(), http);
    }

    void ServeVersion(const std::string& version, const std::string& installer = "") {
        ASSERT_TRUE(sim->SetState(
            QJsonDocument::fromJson(QByteArray::fromStdString(StateWith(version, installer)))
                .object()));
    }

    // An installer that leaves a marker when it runs.
    std::string MarkingInstaller() const {
        return "#!/bin/sh\necho started > '" + (folder / "installer-ran").string() + "'\n";
    }

    test::TempDir folder;
    CurlHttpClient http;
    std::unique_ptr<test::ServiceSim> sim;
    std::unique_ptr<ServiceClient> service;
};

TEST_F(AboutAndUpdateTest, TheProbeIsOnlineOnlyForANumberOtherThanZero) {
    struct Case {
        const char* hex;
        bool online;
    };
    for (const Case c : {Case{"30", false}, Case{"", false}, Case{"31", true},
                         Case{"313730303030303030", true}, Case{"3c48544d4c3e", false}}) {
        SCOPED_TRACE(c.hex);
        ASSERT_TRUE(sim->SetFault("getscannertime.php", "raw", 0, c.hex));
        EXPECT_EQ(ServiceAnswers(*service), c.online);
    }
    ASSERT_TRUE(sim->SetFault("getscannertime.php", "500"));
    EXPECT_FALSE(ServiceAnswers(*service));

    test::RefusingPort refusing;
    ServiceClient nobody("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/alpha/", http);
    EXPECT_FALSE(ServiceAnswers(nobody));
}

// The running version as a number is major + minor / 10, and so is the
// service's plain version; anything else offers no update.
TEST_F(AboutAndUpdateTest, OnlyANewerPlainVersionIsOffered) {
    struct Case {
        std::string reply;
        ProgramVersion running;
        std::string latestLine;
        std::optional<std::string> offered;
    };
    const std::vector<Case> cases{
        {"2.6", {2, 5}, "Latest Version: 2.6", "2.6"},
        {"2.6\r\n", {2, 5}, "Latest Version: 2.6", "2.6"},
        {"2.5", {2, 5}, "Latest Version: 2.5", std::nullopt},
        {"2.9", {2, 10}, "Latest Version: 2.9", std::nullopt},
        {"2.10", {2, 5}, "Latest Version: 2.10", "2.10"},
        {"0", {2, 5}, "Latest Version: Not Available", std::nullopt},
        {"2.6\nx", {2, 5}, "Latest Version: Not Available", std::nullopt},
        {"../", {2, 5}, "Latest Version: Not Available", std::nullopt},
        {"2.6;rm", {2, 5}, "Latest Version: Not Available", std::nullopt},
        {"http://evil.example/setup", {2, 5}, "Latest Version: Not Available", std::nullopt},
        {std::string(10000, '9'), {2, 5}, "Latest Version: Not Available", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 20));
        ServeVersion(c.reply);
        const UpdateCheck check = CheckForUpdate(*service, c.running);
        EXPECT_EQ(check.currentLine, "Current Version: " + c.running.Text());
        EXPECT_EQ(check.latestLine, c.latestLine);
        EXPECT_EQ(check.newerVersion, c.offered);
    }
    ASSERT_TRUE(sim->SetFault("softwareversion.php", "500"));
    EXPECT_EQ(CheckForUpdate(*service, {2, 5}).latestLine, "Latest Version: Not Available");
}

TEST_F(AboutAndUpdateTest, TheInstallerIsPrivateExecutableAndStartedWithoutAShell) {
    ServeVersion("2.6\r\n", MarkingInstaller());
    const UpdateCheck check = CheckForUpdate(*service, {2, 5});
    ASSERT_EQ(check.newerVersion, "2.6");
    std::uint64_t lastSeen = 0;
    const InstallOutcome outcome = DownloadAndStartInstaller(
        *service, *check.newerVersion, folder / "data", [&](std::uint64_t received, std::uint64_t) {
            lastSeen = received;
            return true;
        });
    ASSERT_TRUE(outcome.started) << outcome.error;
    EXPECT_EQ(outcome.installer, folder / "data" / "updates" / "setup2.6.run");
    EXPECT_EQ(ModeOf(folder / "data" / "updates"), 0700U);
    EXPECT_EQ(ModeOf(outcome.installer), 0700U);
    EXPECT_EQ(lastSeen, MarkingInstaller().size()) << "the progress reached the whole size";
    EXPECT_TRUE(WaitForFile(folder / "installer-ran"));
}

TEST_F(AboutAndUpdateTest, AFailedDownloadOrStartLeavesNoInstaller) {
    ServeVersion("2.6", MarkingInstaller());
    const auto updates = folder / "data" / "updates";
    auto leftovers = [&] {
        return std::distance(std::filesystem::directory_iterator(updates),
                             std::filesystem::directory_iterator());
    };
    struct Case {
        const char* name;
        const char* fault;
        std::string version;
    };
    for (const Case& c : {Case{"cut short", "truncated", "2.6"}, Case{"500", "500", "2.6"},
                          Case{"404: not the served version", "none", "2.7"}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim->SetFault("download", c.fault));
        const InstallOutcome outcome =
            DownloadAndStartInstaller(*service, c.version, folder / "data");
        EXPECT_FALSE(outcome.started);
        EXPECT_FALSE(outcome.error.empty());
        EXPECT_EQ(leftovers(), 0);
    }
    ASSERT_TRUE(sim->SetFault("download", "none"));
    const InstallOutcome abandoned = DownloadAndStartInstaller(
        *service, "2.6", folder / "data", [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_FALSE(abandoned.started);
    EXPECT_EQ(leftovers(), 0) << "an abandoned download leaves nothing";
    const InstallOutcome refused = DownloadAndStartInstaller(
        *service, "2.6", folder / "data", {}, [](const std::filesystem::path&, std::string& error) {
            error = "cannot start";
            return false;
        });
    EXPECT_FALSE(refused.started);
    EXPECT_EQ(refused.error, "cannot start");
    EXPECT_EQ(leftovers(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "installer-ran"));
}

TEST_F(AboutAndUpdateTest, TheUpdatesFolderIsNeverALink) {
    ServeVersion("2.6", MarkingInstaller());
    std::filesystem::create_directories(folder / "data");
    std::filesystem::create_directories(folder / "elsewhere");
    std::filesystem::create_directory_symlink(folder / "elsewhere", folder / "data" / "updates");
    const InstallOutcome outcome = DownloadAndStartInstaller(*service, "2.6", folder / "data");
    EXPECT_FALSE(outcome.started);
    EXPECT_TRUE(std::filesystem::is_empty(folder / "elsewhere"));
    EXPECT_FALSE(DownloadAndStartInstaller(*service, "../2.6", folder / "data").started);
}

// The command line prints what the windows show.
class CliAboutAndUpdateTest : public AboutAndUpdateTest {
protected:
    void SetUp() override {
        AboutAndUpdateTest::SetUp();
        SettingsStore store(folder / "config" / "Tallybird" / "Tallybird.ini");
        store.Save("Settings", "ServerBaseUrl", sim->BaseUrl());
    }
    std::filesystem::path DataFolder() const {
        return folder / "config" / "data-home" / "Tallybird";
    }
};

TEST_F(CliAboutAndUpdateTest, AboutPrintsTheSixLinesAfterItsProbe) {
    const test::ProcessResult unregistered = test::RunCli(folder / "config", {"about"});
    EXPECT_EQ(unregistered.exitCode, 0);
    EXPECT_EQ(unregistered.out, "Software Version: " TALLYBIRD_VERSION_TEXT "\n"
                                "Registered Name: Not Registered\n"
                                "Scanner S/N: Not Connected\n"
                                "Scanner Version: Not Connected\n"
                                "Registration Country: United Kingdom\n"
                                "Tallybird Database Online\n");

    RegistrationRecord record;
    record.ownerName = "Ann Owner";
    record.countryNumber = 3;
    ASSERT_TRUE(WriteRegistrationRecord(DataFolder(), record));
    ASSERT_TRUE(sim->SetFault("getscannertime.php", "raw", 0, "30"));
    const test::ProcessResult registered = test::RunCli(folder / "config", {"about"});
    EXPECT_NE(registered.out.find("Registered Name: Ann Owner\n"), std::string::npos);
    EXPECT_NE(registered.out.find("Registration Country: " + BuildCountryTable()[3] + "\n"),
              std::string::npos);
    EXPECT_NE(registered.out.find("Tallybird Database Offline\n"), std::string::npos);
}

TEST_F(CliAboutAndUpdateTest, UpdateShowsBothVersionsAndInstallsOnlyWhenAsked) {
    ServeVersion("2.6", MarkingInstaller());
    const test::ProcessResult shown = test::RunCli(folder / "config", {"update"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, "Current Version: " TALLYBIRD_VERSION_TEXT "\nLatest Version: 2.6\n");
    EXPECT_FALSE(std::filesystem::exists(DataFolder() / "updates"));

    if (!kSelfUpdateBuild) {
        const test::ProcessResult left = test::RunCli(folder / "config", {"update", "--install"});
        EXPECT_EQ(left.exitCode, 1);
        EXPECT_EQ(left.err, std::string(kPackageManagerNote) + "\n");
        EXPECT_FALSE(std::filesystem::exists(DataFolder() / "updates")) << "nothing downloaded";
        return;
    }
    ASSERT_TRUE(sim->SetFault("download", "500"));
    const test::ProcessResult failed = test::RunCli(folder / "config", {"update", "--install"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "Error: Unable to download new version\n");

    ASSERT_TRUE(sim->SetFault("download", "none"));
    const test::ProcessResult installed = test::RunCli(folder / "config", {"update", "--install"});
    EXPECT_EQ(installed.exitCode, 0) << installed.err;
    EXPECT_TRUE(WaitForFile(folder / "installer-ran"));
}

} // namespace
} // namespace tallybird
