#include "desktop/about_window.h"
#include "desktop/main_window.h"
#include "desktop/update_window.h"
#include "model/country_table.h"
#include "model/registration_record.h"
#include "platform/log_file.h"
#include "scripted_dialogs.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <memory>

namespace tallybird::test {
namespace {

using namespace std::chrono_literals;

std::string Text(const QString& text) {
    return text.toStdString();
}

int WaitMs(std::chrono::milliseconds wait) {
    return static_cast<int>(Scaled(wait).count());
}

std::string LabelOf(const QWidget& window, const char* name) {
    const auto* label = window.findChild<QLabel*>(QString::fromUtf8(name));
    return label != nullptr ? Text(label->text()) : "<no " + std::string(name) + ">";
}

QPushButton* ButtonOf(const QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(QString::fromUtf8(name));
}

class AboutWindowTest : public testing::Test {
protected:
    void SetUp() override { state.dataFolder = dir.Path(); }

    TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    SharedState state;
    ScriptedDialogs dialogs;
};

TEST_F(AboutWindowTest, FillsFromTheRecordTheScannerSeenLastAndTheProbe) {
    AboutWindow none(state, settings, dialogs, nullptr, [] { return false; });
    QSignalSpy answered(&none, &AboutWindow::ProbeAnswered);
    none.show();
    ASSERT_TRUE(answered.wait(WaitMs(5s)));
    EXPECT_EQ(Text(none.windowTitle()), "About Tallybird");
    EXPECT_EQ(LabelOf(none, "lblVersion"),
              std::string("Software Version: ") + TALLYBIRD_VERSION_TEXT);
    EXPECT_EQ(LabelOf(none, "RegNameLabel"), "Registered Name: Not Registered");
    EXPECT_EQ(LabelOf(none, "lblSerialNumber"), "Scanner S/N: Not Connected");
    EXPECT_EQ(LabelOf(none, "lblScannerVersionLabel"), "Scanner Version: Not Connected");
    EXPECT_EQ(LabelOf(none, "CountryLabel"), "Registration Country: United Kingdom");
    EXPECT_EQ(LabelOf(none, "lblDatabaseLabel"), "Tallybird Database Offline");
    EXPECT_EQ(LabelOf(none, "lblLogFile"), "Log: " + LogFile::DefaultFile().string());
    EXPECT_EQ(LabelOf(none, "lblKeystrokes"), "Keyboard wedge keystrokes: not used yet");
    state.NoteKeystrokePath("X11 (XTest)");
    {
        AboutWindow typed(state, settings, dialogs, nullptr, [] { return false; });
        EXPECT_EQ(LabelOf(typed, "lblKeystrokes"), "Keyboard wedge keystrokes: X11 (XTest)");
    }

    RegistrationRecord record;
    record.ownerName = "Ann Owner";
    record.countryNumber = 3;
    ASSERT_TRUE(WriteRegistrationRecord(dir.Path(), record));
    state.NoteScannerSerial(1);
    state.NoteScannerVersion("W2");
    AboutWindow seen(state, settings, dialogs, nullptr, [] { return true; });
    QSignalSpy online(&seen, &AboutWindow::ProbeAnswered);
    seen.show();
    ASSERT_TRUE(online.wait(WaitMs(5s)));
    EXPECT_EQ(LabelOf(seen, "RegNameLabel"), "Registered Name: Ann Owner");
    EXPECT_EQ(LabelOf(seen, "lblSerialNumber"), "Scanner S/N: 060540");
    EXPECT_EQ(LabelOf(seen, "lblScannerVersionLabel"), "Scanner Version: W2");
    EXPECT_EQ(LabelOf(seen, "CountryLabel"), "Registration Country: " + BuildCountryTable()[3]);
    EXPECT_EQ(LabelOf(seen, "lblDatabaseLabel"), "Tallybird Database Online");
}

// A service that does not answer never freezes the window; a resize probes
// again once the first probe is back.
TEST_F(AboutWindowTest, AProbeThatHangsLeavesTheWindowResponsive) {
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto probes = std::make_shared<std::atomic<int>>(0);
    {
        AboutWindow about(state, settings, dialogs, nullptr, [released, probes] {
            ++*probes;
            released.wait();
            return true;
        });
        QSignalSpy answered(&about, &AboutWindow::ProbeAnswered);
        about.show();
        bool ticked = false;
        QTimer::singleShot(50, &about, [&] { ticked = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticked; }, WaitMs(2s)))
            << "the window's events run while the probe waits";
        EXPECT_EQ(LabelOf(about, "lblDatabaseLabel"), "Tallybird Database Offline");
        about.resize(about.width() + 40, about.height() + 40);
        QTest::qWait(50);
        EXPECT_EQ(probes->load(), 1) << "one probe at a time";
        release->set_value();
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered.count() >= 2; }, WaitMs(5s)));
        EXPECT_EQ(LabelOf(about, "lblDatabaseLabel"), "Tallybird Database Online");
        EXPECT_GE(probes->load(), 2);
    }
}

TEST_F(AboutWindowTest, ChangeRegistrationAsksFirst) {
    AboutWindow about(state, settings, dialogs, nullptr, [] { return false; });
    about.show();
    dialogs.answers = {DialogAnswer::No};
    ButtonOf(about, "RegistrationButton")->click();
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].text, "Changing registration country will require the scanner to "
                                     "be reset, do you want to continue?");
    EXPECT_EQ(dialogs.shown[0].buttons, DialogButtons::YesNo);
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(about.ChangeRegistrationChosen());

    ButtonOf(about, "RegistrationButton")->click(); // Yes
    EXPECT_FALSE(about.isVisible());
    EXPECT_TRUE(about.ChangeRegistrationChosen());
}

// Help > About > Change Registration brings the details page back, so an
// owner who registered once can change name, address or country.
TEST_F(AboutWindowTest, TheDetailsPageComesBackFromTheMainWindow) {
    ExportText exportText;
    MainWindow window(state, settings, dialogs, exportText, [] { return false; });
    window.Load();
    std::vector<std::string> modals;
    // Each modal window, once up, is noted and answered: About by Change
    // Registration (Yes is the scripted answer), the details page by Escape.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || (!modals.empty() && modals.back() == Text(modal->objectName()))) {
            return;
        }
        modals.push_back(Text(modal->objectName()));
        if (modals.back() == "frmAbout") {
            ButtonOf(*modal, "RegistrationButton")->click();
        } else {
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
    poll.start();
    window.findChild<QAction*>("mnuHelpAbout")->trigger();
    poll.stop();
    EXPECT_EQ(modals, (std::vector<std::string>{"frmAbout", "FrmStartupB"}));
}

TEST_F(AboutWindowTest, TheRealProbeAsksTheServiceAtTheStatesAddress) {
    setenv("no_proxy", "127.0.0.1", 1);
    ServiceSim sim(dir.Path(), R"({"time": 1700000000})");
    state.serverBaseUrl = sim.BaseUrl();
    {
        AboutWindow about(state, settings, dialogs);
        QSignalSpy answered(&about, &AboutWindow::ProbeAnswered);
        ASSERT_TRUE(answered.wait(WaitMs(10s)));
        EXPECT_TRUE(answered.first().first().toBool());
    }
    RefusingPort refusing;
    state.serverBaseUrl = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/alpha/";
    AboutWindow about(state, settings, dialogs);
    QSignalSpy answered(&about, &AboutWindow::ProbeAnswered);
    ASSERT_TRUE(answered.wait(WaitMs(15s)));
    EXPECT_FALSE(answered.first().first().toBool());
}

class UpdateWindowTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1", 1);
        sim = std::make_unique<ServiceSim>(dir.Path(), "{}");
    }
    void Serve(const std::string& version) {
        const QJsonObject state{
            {"version", QString::fromStdString(version)},
            {"installer", QString::fromStdString("#!/bin/sh\necho ran > '" +
                                                 (dir / "installer-ran").string() + "'\n")}};
        ASSERT_TRUE(sim->SetState(state));
    }
    std::unique_ptr<UpdateWindow> Open(bool selfUpdate = true) {
        auto window = std::make_unique<UpdateWindow>(sim->BaseUrl(), dir / "data", dialogs, nullptr,
                                                     selfUpdate);
        QSignalSpy checked(window.get(), &UpdateWindow::Checked);
        window->show();
        EXPECT_TRUE(checked.wait(WaitMs(10s)));
        return window;
    }
    bool Downloaded() const {
        for (const QJsonValue& request : sim->State().value("requests").toArray()) {
            if (request.toObject().value("target").toString().startsWith("/download/")) {
                return true;
            }
        }
        return false;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<ServiceSim> sim;
};

TEST_F(UpdateWindowTest, ANewerVersionIsDownloadedAndStarted) {
    Serve("2.6\r\n");
    auto window = Open();
    EXPECT_EQ(Text(window->windowTitle()), "Check for Updates");
    EXPECT_EQ(LabelOf(*window, "VersionLabel"),
              std::string("Current Version: ") + TALLYBIRD_VERSION_TEXT);
    EXPECT_EQ(LabelOf(*window, "AvailableLabel"), "Latest Version: 2.6");
    QPushButton* update = ButtonOf(*window, "UpdateButton");
    ASSERT_TRUE(update->isEnabled());
    EXPECT_EQ(Text(ButtonOf(*window, "CancelButton")->text()), "Exit");

    QSignalSpy started(window.get(), &UpdateWindow::InstallerStarted);
    update->click();
    EXPECT_EQ(Text(update->text()), "Please Wait");
    ASSERT_TRUE(started.wait(WaitMs(10s)));
    EXPECT_TRUE(std::filesystem::exists(dir / "data" / "updates" / "setup2.6.run"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(dir / "installer-ran"); },
                                WaitMs(10s)));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(UpdateWindowTest, AFailedDownloadSaysSoAndLeavesNothing) {
    Serve("2.6");
    ASSERT_TRUE(sim->SetFault("download", "truncated"));
    auto window = Open();
    QPushButton* update = ButtonOf(*window, "UpdateButton");
    update->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.empty(); }, WaitMs(10s)));
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].text, "Unable to download new version");
    EXPECT_EQ(Text(update->text()), "Update");
    EXPECT_TRUE(update->isEnabled());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "data" / "updates"));
}

TEST_F(UpdateWindowTest, NoUpdateForTheSameVersionOrAPackagedBuild) {
    Serve("2.5");
    auto same = Open();
    EXPECT_EQ(LabelOf(*same, "AvailableLabel"), "Latest Version: 2.5");
    EXPECT_FALSE(ButtonOf(*same, "UpdateButton")->isEnabled());

    Serve("2.6");
    auto packaged = Open(false);
    EXPECT_EQ(LabelOf(*packaged, "AvailableLabel"), "Latest Version: 2.6");
    EXPECT_FALSE(ButtonOf(*packaged, "UpdateButton")->isEnabled());
    EXPECT_TRUE(packaged->findChild<QLabel*>("PackageManagerNote")->isVisible());
    packaged->StartUpdate();
    QTest::qWait(200);
    EXPECT_FALSE(Downloaded()) << "a packaged build never downloads";
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "updates"));
}

} // namespace
} // namespace tallybird::test
