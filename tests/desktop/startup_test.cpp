#include "desktop/desktop_program.h"
#include "platform/single_instance.h"
#include "scripted_dialogs.h"
#include "support/test_support.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tallybird::test {
namespace {

// A program of the test's own: settings, data and lock in a temporary folder.
class StartupTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"config/Tallybird", "data", "runtime"}) {
            std::filesystem::create_directories(dir / sub);
        }
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
        // Detection looks at one port that is never there.
        store.Save("Settings", "comm", "255");
        store.Save("Ports", "255", (dir / "no-scanner").string());
    }

    DesktopOptions Options() {
        DesktopOptions options;
        options.dialogs = &dialogs;
        options.trayAvailable = [] { return true; };
        options.localeDiallingCode = [] { return std::optional<int>(44); };
        options.startHidden = true;
        return options;
    }

    TempDir dir;
    SettingsStore store{dir / "config" / "Tallybird" / "Tallybird.ini"};
    ScriptedDialogs dialogs;
};

TEST_F(StartupTest, APendingResetSurvivesTheStartAndASecondStartOnlyAsksForTheWindow) {
    store.Save("Settings", "StartUp", "Registered");
    store.Save("Settings", "ResetPending", "True");
    store.Save("Settings", "ResetDiscardsScans", "True");

    DesktopProgram first(Options());
    ASSERT_TRUE(first.Start());
    EXPECT_TRUE(first.State().resetPending) << "a reset a closed program left pending";
    EXPECT_EQ(store.Get("Settings", "ResetPending", ""), "True");
    EXPECT_EQ(first.Record().ownerName, "Not Registered") << "defaults of a missing record";
    EXPECT_EQ(first.Record().countryNumber, 1);
    EXPECT_FALSE(first.Window().isVisible());
    EXPECT_TRUE(dialogs.shown.empty()) << "no wizard once registered";

    DesktopProgram second(Options());
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(store.Get("Settings", "Show", ""), "True");
}

TEST_F(StartupTest, TheWizardComesUnlessStartUpIsExactlyRegistered) {
    store.Save("Settings", "StartUp", "registered");
    std::vector<std::string> pages;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* page = QApplication::activeModalWidget();
        if (page == nullptr) {
            return;
        }
        pages.push_back(page->objectName().toStdString());
        if (page->objectName() == "FrmStartup") {
            page->findChild<QPushButton*>("Command1")->click(); // Next
        } else {
            page->close(); // and Yes: go on without registering
        }
    });
    driver.start(20);

    DesktopProgram program(Options());
    ASSERT_TRUE(program.Start());
    driver.stop();
    EXPECT_EQ(pages, (std::vector<std::string>{"FrmStartup", "FrmStartupB"}));
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].title, "Registration not complete");
    const RegistrationRecord stored = ReadRegistrationRecord(dir / "data" / "Tallybird");
    EXPECT_EQ(stored.ownerName, "Not Registered");
    EXPECT_EQ(stored.countryNumber, 1) << "the locale's country";
    EXPECT_EQ(store.Get("Settings", "StartUp", ""), "registered") << "not completed";
}

// tallybird-cli watch holds the sessions' lock: the desktop program says so
// and ends, instead of asking a window that is not there to come up.
TEST_F(StartupTest, BesideAWatchTheProgramSaysWhoHoldsTheScannersAndEnds) {
    store.Save("Settings", "StartUp", "Registered");
    QProcess watch; // with this test's folders, from the environment
    watch.start(TALLYBIRD_CLI_PATH, {"watch"});
    ASSERT_TRUE(watch.waitForStarted());
    // The lock is taken and its holder written.
    const SingleInstance lock(dir / "runtime" / "tallybird.lock");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock.CurrentHolder().pid == watch.processId(); },
                                static_cast<int>(Scaled(std::chrono::seconds(10)).count())));

    DesktopProgram program(Options());
    EXPECT_FALSE(program.Start());
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].text.rfind("tallybird-cli watch (process " +
                                              std::to_string(watch.processId()) +
                                              ") already synchronises scanners",
                                          0),
              0U)
        << dialogs.shown[0].text;
    EXPECT_EQ(store.Get("Settings", "Show", ""), "") << "no window to bring up";
    watch.terminate();
    EXPECT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
}

} // namespace
} // namespace tallybird::test
