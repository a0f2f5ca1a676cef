// The desktop program on a real X display (Xvfb) with a simulated scanner on
// a pseudo-terminal and the simulated service over HTTP: detection, the
// session on the worker thread, the window, the tray and a second launch.
#include "desktop/desktop_program.h"
#include "platform/single_instance.h"
#include "scripted_dialogs.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

#include "xvfb_display.h" // after Qt: Xlib defines short macro names

namespace tallybird::test {
namespace {

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
    // A registered owner, the simulated service, and the scanner as port 7.
    void SaveRegisteredSetup(const std::string& serviceUrl,
                             const std::filesystem::path& scanner) const {
        SettingsStore store(SettingsFile());
        store.Save("Settings", "StartUp", "Registered");
        store.Save("Settings", "ServerBaseUrl", serviceUrl);
        store.Save("Ports", "7", scanner.string());
    }

private:
    static void Set(const char* name, const std::filesystem::path& value) {
        setenv(name, value.c_str(), 1);
    }
    std::filesystem::path config_, data_, runtime_;
};

// The program as the desktop starts it at login, its boxes answered by the
// test.
DesktopOptions StartedAtLogin(ScriptedDialogs& dialogs) {
    DesktopOptions options;
    options.startHidden = true;
    options.dialogs = &dialogs;
    return options;
}

// Each test on the Xvfb display, in folders of its own.
class DesktopEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!XvfbDisplayReady()) {
            GTEST_SKIP() << "Xvfb is not installed: this test needs an X display";
        }
    }

    TempDir dir;
    ProgramFolders folders{dir};
};

std::string Caption(MainWindow& window) {
    return window.findChild<QLabel*>("ProgressLabel")->text().toStdString();
}

TEST_F(DesktopEndToEnd, ScannerPluggedSessionRunsAndUnplugGoesBackToTheTray) {
    FakeSystemTray tray;
    ServiceSim service(dir.Path(), ServiceState());
    std::filesystem::create_directories(dir / "scanner");
    ScannerSim scanner(dir / "scanner", {"--scan", QString::fromStdString(kMissing), "--scan",
                                         QString::fromStdString(kOther)});
    ASSERT_TRUE(scanner.Linked());
    folders.SaveRegisteredSetup(service.BaseUrl(), scanner.Link());

    ScriptedDialogs dialogs;
    DesktopProgram program(StartedAtLogin(dialogs));
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    ASSERT_TRUE(window.TrayIcon().HasIcon()) << "the tray is seen";
    EXPECT_FALSE(window.isVisible()) << "started into the tray";

    auto* list = window.findChild<QTreeWidget*>("ChipListBox");
    bool shown = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            shown = shown || window.IsShown();
            return Caption(window) == "Progress: Scanner connected, safe to remove" &&
                   list->topLevelItemCount() == 2;
        },
        static_cast<int>(Scaled(std::chrono::milliseconds(60'000)).count())))
        << Caption(window);
    EXPECT_TRUE(shown && window.IsShown()) << "the scanner brings the window up";
    EXPECT_EQ(window.TrayIcon().ToolTip(), "Kivo Scanner connected");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), kMissing);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "Yes");
    EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), kOther);
    EXPECT_EQ(list->topLevelItem(1)->text(1).toStdString(), "");

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
    EXPECT_EQ(list->topLevelItemCount(), 2) << "the list keeps the last session";
}

// The desktop program and tallybird-cli watch never run sessions side by
// side: a watch started beside the program says which one holds the scanners
// and ends.
TEST_F(DesktopEndToEnd, AWatchBesideTheProgramSaysWhoHoldsTheScanners) {
    {
        SettingsStore store(folders.SettingsFile());
        store.Save("Settings", "StartUp", "Registered");
        store.Save("Settings", "comm", "255"); // one port, never there
        store.Save("Ports", "255", (dir / "no-scanner").string());
    }
    QProcess desktop;
    desktop.start(TALLYBIRD_DESKTOP_PATH, {"--hidden"});
    ASSERT_TRUE(desktop.waitForStarted());
    // The lock is taken and its holder written.
    const SingleInstance lock(dir / "runtime" / "tallybird.lock");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock.CurrentHolder().pid == desktop.processId(); },
                                static_cast<int>(Scaled(std::chrono::seconds(10)).count())));

    QProcess watch;
    watch.start(TALLYBIRD_CLI_PATH, {"watch"});
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
    EXPECT_EQ(watch.exitCode(), 1);
    EXPECT_EQ(watch.readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(watch.readAllStandardError().toStdString(),
              "tallybird-cli: the Tallybird desktop program (process " +
                  std::to_string(desktop.processId()) +
                  ") already synchronises scanners for this account; watch does not start\n");
    desktop.kill();
    desktop.waitForFinished();
}

TEST(DesktopProgram, HelpAndVersionAnswerWithoutADisplayOrAWindow) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb"); // a window would fail to find its display
    const auto run = [&](const QStringList& args) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(TALLYBIRD_DESKTOP_PATH, args);
        EXPECT_TRUE(
            program.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << args.join(' ').toStdString();
        return program.readAllStandardOutput().toStdString();
    };
    EXPECT_TRUE(run({"--help"}).starts_with("Usage: tallybird"));
    EXPECT_TRUE(run({"-h"}).starts_with("Usage: tallybird"));
    EXPECT_EQ(run({"--version"}), std::string("tallybird ") + TALLYBIRD_VERSION_TEXT + "\n");
}

TEST_F(DesktopEndToEnd, AFailedSessionSaysWhyOnTheStatusLineAndShowsNoOldChips) {
    FakeSystemTray tray;
    ServiceSim service(dir.Path(), ServiceState());
    ASSERT_TRUE(service.SetFault("upscan.php", "500")); // the upload is refused
    std::filesystem::create_directories(dir / "scanner");
    ScannerSim scanner(dir / "scanner", {"--scan", QString::fromStdString(kOther)});
    ASSERT_TRUE(scanner.Linked());
    folders.SaveRegisteredSetup(service.BaseUrl(), scanner.Link());

    ScriptedDialogs dialogs;
    DesktopProgram program(StartedAtLogin(dialogs));
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    auto* list = window.findChild<QTreeWidget*>("ChipListBox");
    // Rows and an update time of an earlier scanner, as a first session of
    // the run would leave them.
    ChipHistory earlier;
    earlier.rows = {"985000000000009          "};
    earlier.rowChipNumbers = {"985000000000009"};
    window.ShowChipList(earlier);
    window.SetUpdateLabel("Last Update: 01/12/25 10:00:00");

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Caption(window).starts_with("Session did not finish: "); },
                        static_cast<int>(Scaled(std::chrono::milliseconds(60'000)).count())))
        << Caption(window);
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_TRUE(dialogs.shown[0].text.starts_with("Software Error - ")) << dialogs.shown[0].text;
    EXPECT_NE(Caption(window).find("upload"), std::string::npos)
        << "the reason names what failed: " << Caption(window);
    EXPECT_EQ(list->topLevelItemCount(), 0) << "no chip of the earlier scanner";
    const std::string update = window.findChild<QLabel*>("UpdateLabel")->text().toStdString();
    EXPECT_TRUE(update.starts_with("Last Update:") && update != "Last Update: 01/12/25 10:00:00")
        << update << ": this scanner's, not the earlier one's";

    // The scanner stays: later passes leave the status line as it is.
    QTest::qWait(static_cast<int>(Scaled(std::chrono::milliseconds(2500)).count()));
    EXPECT_TRUE(Caption(window).starts_with("Session did not finish: ")) << Caption(window);
    EXPECT_FALSE(program.WorkerBusy());
}

TEST_F(DesktopEndToEnd, QuitNowDuringASessionEndsTheProgramAndTheSessionFinishesWithoutTheWindow) {
    FakeSystemTray tray;
    ServiceSim service(dir.Path(), ServiceState());
    std::filesystem::create_directories(dir / "scanner");
    // A slow scanner, so the session is still running when the user quits.
    const auto commands = dir / "commands.log";
    ScannerSim scanner(dir / "scanner",
                       {"--latency", "150", "--log", QString::fromStdString(commands.string()),
                        "--scan", QString::fromStdString(kOther)});
    ASSERT_TRUE(scanner.Linked());
    folders.SaveRegisteredSetup(service.BaseUrl(), scanner.Link());

    ScriptedDialogs dialogs;
    DesktopProgram program(StartedAtLogin(dialogs));
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    QSignalSpy ended(&window, &MainWindow::ProgramEnded);
    // Running, and the scanner's serial number known: a command after "SN"
    // came in.
    const auto serialKnown = [&] {
        const Bytes bytes = ReadFile(commands);
        const std::string log(bytes.begin(), bytes.end());
        const std::size_t serial = log.find("SN\n");
        return serial != std::string::npos && serial + 3 < log.size();
    };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.SessionRunning() && serialKnown(); },
                        static_cast<int>(Scaled(std::chrono::milliseconds(30'000)).count())))
        << Caption(window);

    dialogs.answers = {DialogAnswer::Yes}; // quit now
    window.findChild<QAction*>("mnuFileQuit")->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].buttons, DialogButtons::YesNo);
    EXPECT_TRUE(window.Ended());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(window.isVisible());

    // The scanner goes while the session still runs: its failure path's box
    // has no window to wait for, and it leaves its marker for next time.
    EXPECT_EQ(scanner.Control("unplug"), "ok");
    EXPECT_TRUE(program.StopWorker(Scaled(std::chrono::milliseconds(20'000))))
        << "the worker ends by itself";
    EXPECT_EQ(dialogs.shown.size(), 1U) << "no box after the program ended";
    const auto dataFolder = dir / "data" / "Tallybird";
    EXPECT_TRUE(std::filesystem::exists(dataFolder / "TBM00066051.err"))
        << "the failure path ran to its end";
}

} // namespace
} // namespace tallybird::test
