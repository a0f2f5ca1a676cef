// The desktop program on a real X display (Xvfb) with a simulated scanner on
// a pseudo-terminal and the simulated service over HTTP: detection, the
// session on the worker thread, the window, the tray and a second launch.
#include "desktop/desktop_program.h"
#include "scripted_dialogs.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "xvfb_display.h" // after Qt: Xlib defines short macro names

namespace tallybird::test {
namespace {

bool displayReady = false;

const std::string kMissing = "826000000000002";
const std::string kOther = "985000000000001";

std::string ServiceState() {
    const QJsonObject country{
        {"lost",
         QJsonArray{QJsonObject{{"chip", QString::fromStdString(kMissing)}, {"attribute", 0}}}},
        {"organisations", QJsonArray{"Vets North", "01632 960001"}}};
    const QJsonObject state{{"time", 1765350000.0}, {"countries", QJsonObject{{"1", country}}}};
    return QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString();
}

// XDG folders of the test's own, for this process and the second launch.
class ProgramFolders {
public:
    explicit ProgramFolders(const TempDir& dir)
        : config_(dir / "config"), data_(dir / "data"), runtime_(dir / "runtime") {
        for (const auto& folder : {config_, data_, runtime_}) {
            std::filesystem::create_directories(folder);
        }
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        Set("XDG_CONFIG_HOME", config_);
        Set("XDG_DATA_HOME", data_);
        Set("XDG_STATE_HOME", dir / "state");
        Set("XDG_RUNTIME_DIR", runtime_);
    }
    std::filesystem::path SettingsFile() const { return config_ / "Tallybird" / "Tallybird.ini"; }

private:
    static void Set(const char* name, const std::filesystem::path& value) {
        setenv(name, value.c_str(), 1);
    }
    std::filesystem::path config_, data_, runtime_;
};

std::string Caption(MainWindow& window) {
    return window.findChild<QLabel*>("ProgressLabel")->text().toStdString();
}

TEST(DesktopEndToEnd, ScannerPluggedSessionRunsAndUnplugGoesBackToTheTray) {
    if (!displayReady) {
        GTEST_SKIP() << "Xvfb is not installed: this test needs an X display";
    }
    TempDir dir;
    ProgramFolders folders(dir);
    FakeSystemTray tray;
    ServiceSim service(dir.Path(), ServiceState());
    std::filesystem::create_directories(dir / "scanner");
    ScannerSim scanner(dir / "scanner", {"--scan", QString::fromStdString(kMissing), "--scan",
                                         QString::fromStdString(kOther)});
    ASSERT_TRUE(scanner.Linked());
    {
        SettingsStore store(folders.SettingsFile());
        store.Save("Settings", "StartUp", "Registered");
        store.Save("Settings", "ServerBaseUrl", service.BaseUrl());
        store.Save("Ports", "7", scanner.Link().string());
    }

    ScriptedDialogs dialogs;
    DesktopOptions options;
    options.startHidden = true; // as at login
    options.dialogs = &dialogs;
    DesktopProgram program(options);
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    ASSERT_TRUE(window.TrayIcon().HasIcon()) << "the tray is seen";
    EXPECT_FALSE(window.isVisible()) << "started into the tray";

    auto* list = window.findChild<QListWidget*>("ChipListBox");
    bool shown = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            shown = shown || window.IsShown();
            return Caption(window) == "Progress: Scanner connected, safe to remove" &&
                   list->count() == 2;
        },
        static_cast<int>(Scaled(std::chrono::milliseconds(60'000)).count())))
        << Caption(window);
    EXPECT_TRUE(shown && window.IsShown()) << "the scanner brings the window up";
    EXPECT_EQ(window.TrayIcon().ToolTip(), "Kivo Scanner connected");
    EXPECT_TRUE(dialogs.shown.empty());
    const std::string missingRow = list->item(0)->text().toStdString();
    const std::string otherRow = list->item(1)->text().toStdString();
    EXPECT_TRUE(missingRow.starts_with(kMissing) && missingRow.ends_with("Yes")) << missingRow;
    EXPECT_TRUE(otherRow.starts_with(kOther) && !otherRow.ends_with("Yes")) << otherRow;

    if (const char* shot = std::getenv("TALLYBIRD_SCREENSHOT")) {
        QTest::qWait(300);
        window.screen()->grabWindow(window.winId()).save(QString::fromLocal8Bit(shot));
    }

    // A second launch asks this one to come up, and ends.
    window.GoToTray();
    ASSERT_FALSE(window.isVisible());
    QProcess second;
    second.start(TALLYBIRD_DESKTOP_PATH, {});
    ASSERT_TRUE(second.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.IsShown(); },
                                static_cast<int>(Scaled(std::chrono::seconds(3)).count())));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, Scaled(std::chrono::milliseconds(800)));
    EXPECT_FALSE(program.ProgramSettings().ShowRequested()) << "\"Show\" is back to False";

    // Unplugged: offline, into the tray; the next pass finds nothing.
    EXPECT_EQ(scanner.Control("unplug"), "ok");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !window.isVisible() && window.TrayIcon().ToolTip() == "Kivo Scanner"; },
        static_cast<int>(Scaled(std::chrono::seconds(5)).count())));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Caption(window) == "Progress: No scanner attached"; },
                                static_cast<int>(Scaled(std::chrono::seconds(5)).count())));
    EXPECT_EQ(list->count(), 2) << "the list keeps the last session";
}

} // namespace
} // namespace tallybird::test

// Leak reports that are not ours: Qt's X11 platform asks the session bus for
// the desktop's services, and libdbus keeps what it allocated for that until
// the process ends. (Read by LeakSanitizer in the sanitizer build only.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    }
    std::unique_ptr<tallybird::test::XvfbDisplay> xvfb;
    std::unique_ptr<QApplication> app;
    if (!listing) {
        xvfb = std::make_unique<tallybird::test::XvfbDisplay>();
        if (!xvfb->Name().empty()) {
            setenv("DISPLAY", xvfb->Name().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            app = std::make_unique<QApplication>(argc, argv);
            QApplication::setQuitOnLastWindowClosed(false);
            tallybird::test::displayReady = true;
        }
    }
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
