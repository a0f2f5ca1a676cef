#include "desktop/main_window.h"
#include "desktop/wedge_window.h"
#include "scripted_dialogs.h"
#include "support/test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace tallybird::test {
namespace {

std::string Text(const QString& text) {
    return text.toStdString();
}

// One line per item: "name|caption|shortcut|on/off", "name|-" for a
// separator, and a submenu's items indented below it.
void Describe(const QMenu* menu, const std::string& indent, std::vector<std::string>& lines) {
    for (const QAction* action : menu->actions()) {
        const std::string name = Text(action->objectName());
        if (action->isSeparator()) {
            lines.push_back(indent + name + "|-");
            continue;
        }
        lines.push_back(indent + name + "|" + Text(action->text()) + "|" +
                        Text(action->shortcut().toString()) + "|" +
                        (action->isEnabled() ? "on" : "off") +
                        (action->isCheckable() ? "|checkable" : ""));
        if (action->menu() != nullptr) {
            Describe(action->menu(), indent + "  ", lines);
        }
    }
}

std::string FileText(const std::filesystem::path& file) {
    const Bytes bytes = ReadFile(file);
    return std::string(bytes.begin(), bytes.end());
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        state.dataFolder = dir.Path();
        Open();
    }

    void Open() {
        window.reset();
        window = std::make_unique<MainWindow>(state, settings, dialogs, exportText,
                                              [this] { return trayAvailable; });
        window->Load();
    }

    QAction* Action(const char* name) const {
        QAction* action = window->findChild<QAction*>(QString::fromUtf8(name));
        if (action == nullptr) {
            action = window->TrayIcon().PopupMenu().findChild<QAction*>(QString::fromUtf8(name));
        }
        return action;
    }
    std::string Label(const char* name) const {
        return Text(window->findChild<QLabel*>(QString::fromUtf8(name))->text());
    }
    QTreeWidget* List() const { return window->findChild<QTreeWidget*>("ChipListBox"); }
    // "chip|mark" of each row as the list shows it.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = List()->topLevelItem(i);
            rows.push_back(Text(item->text(0)) + "|" + Text(item->text(1)));
        }
        return rows;
    }
    bool Pictures(bool connected) const {
        const QImage on = ScannerIcon(connected).pixmap(48, 48).toImage();
        const QImage small = ScannerIcon(connected).pixmap(16, 16).toImage();
        return window->findChild<QLabel*>("Image1")->pixmap().toImage() == on &&
               window->findChild<QLabel*>("Image3")->pixmap().toImage() == small;
    }

    TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    SharedState state;
    ScriptedDialogs dialogs;
    ExportText exportText;
    bool trayAvailable = true;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, ControlsMenusAndTrayAsTheUserFirstSeesThem) {
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(Text(window->windowTitle()), "Tallybird for Kivo Scanner V2.5");
    EXPECT_EQ(Label("ProgressLabel"), "Progress: No scanner detected");
    EXPECT_EQ(Label("UpdateLabel"), "Last Update:");
    EXPECT_EQ(Label("Label2"), "Scanned Chip Numbers      Missing");
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::ExtendedSelection);

    std::vector<std::string> bar;
    for (const QAction* top : window->menuBar()->actions()) {
        bar.push_back(Text(top->menu()->objectName()) + "|" + Text(top->text()));
        Describe(top->menu(), "  ", bar);
    }
    const std::vector<std::string> expected{
        "mnuFile|&File",
        "  mnuFileSave|Save||on",
        "  mnuFileHistory|&History...||on",
        "  mnubar6|-",
        "  mnuFileQuit|&Quit|Ctrl+Q|on",
        "mnuEdit|&Edit",
        "  mnuEditCopy|&Copy|Ctrl+C|on",
        "  mnubar2|-",
        "  mnuEditSelectAll|Select All||on",
        "  mnuEditSelectNone|Select None||on",
        "mnuAdvanced|&Advanced",
        "  mnuAdvancedKeyboard|Keyboard Wedge||on",
        "    mnuAdvancedKeyboardWedgeOn|Keyboard Wedge On||on|checkable",
        "    mnuAdvancedKeyboardWedgeSetup|Keyboard Wedge Setup||on",
        "  mnubar1|-",
        "  mnuBlueTooth|Bluetooth||off",
        "  mnbar5|-",
        "  mnuAdvancedReset|Reset Scanner||on",
        "  mnuAdvancedStartAtLogin|Start at Login||on|checkable",
        "mnuHelp|&Help",
        "  mnuHelpUserGuide|User Guide||on",
        "  mnubar3|-",
        "  mnuHelpUpdate|Check For Updates||on",
        "  mnubar4|-",
        "  mnuHelpAbout|About||on",
        "  mnuHelpDebugInfo|Copy Debug Information||on",
    };
    EXPECT_EQ(bar, expected);

    QMenu& popup = window->TrayIcon().PopupMenu();
    std::vector<std::string> tray{Text(popup.objectName()) + "|" + Text(popup.title())};
    Describe(&popup, "  ", tray);
    EXPECT_EQ(tray, (std::vector<std::string>{"mPopupSys|&SysTray", "  mPopRestore|&Restore||on",
                                              "  mPopExit|&Exit||on"}));
    EXPECT_TRUE(window->TrayIcon().HasIcon());
    EXPECT_EQ(Text(window->TrayIcon().ToolTip()), "Kivo Scanner offline");
    EXPECT_FALSE(window->isVisible()) << "the window loads hidden";
}

TEST_F(MainWindowTest, StartAtLoginShowsAndSwitchesTheUsersAutostartEntry) {
    ScopedEnvironment env;
    env.Set("XDG_CONFIG_HOME", (dir / "config").string());
    env.Set("XDG_CONFIG_DIRS", (dir / "xdg").string());
    const auto userEntry = dir / "config/autostart/org.tallybird.Tallybird.desktop";
    std::filesystem::create_directories(dir / "xdg/autostart");
    WriteTextFile(dir / "xdg/autostart/org.tallybird.Tallybird.desktop",
                  "[Desktop Entry]\nType=Application\nExec=tallybird --hidden\n");
    Open();
    QAction* item = Action("mnuAdvancedStartAtLogin");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isChecked());

    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_NE(FileText(userEntry).find("\nHidden=true\n"), std::string::npos);

    // A folder where the entry goes: the change fails and the mark says so.
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_FALSE(std::filesystem::exists(userEntry));
    std::filesystem::create_directories(userEntry / "in-the-way");
    item->trigger();
    EXPECT_TRUE(item->isChecked()) << "still starts at login";
}

TEST_F(MainWindowTest, CloseAndMinimiseHideIntoTheTrayAndScannerStatesMoveTheWindow) {
    window->ScannerConnected();
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(Text(window->TrayIcon().ToolTip()), "Kivo Scanner connected");

    EXPECT_FALSE(window->close()) << "the close is cancelled";
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIcon().HasIcon());
    EXPECT_FALSE(window->Ended());

    window->Restore();
    window->showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000))
        << "minimised becomes hidden";

    window->Restore();
    window->ScannerGone();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Text(window->TrayIcon().ToolTip()), "Kivo Scanner");
    EXPECT_FALSE(window->Ended());
}

TEST_F(MainWindowTest, ExitWhileShownHidesAndExitWhileHiddenEndsTheProgram) {
    QSignalSpy ended(window.get(), &MainWindow::ProgramEnded);
    window->Restore();

    Action("mPopExit")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Ended());
    EXPECT_EQ(ended.count(), 0);
    EXPECT_EQ(store.Get("Settings", "Running", "unset"), "unset");

    Action("mPopExit")->trigger();
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(window->TrayIcon().HasIcon()) << "the tray icon is removed";
    EXPECT_EQ(store.Get("Settings", "Running", "unset"), "False");
}

TEST_F(MainWindowTest, WithoutATrayTheWindowStaysMinimisedAndTheIconComesWithTheTray) {
    trayAvailable = false;
    Open();
    EXPECT_FALSE(window->TrayIcon().HasIcon());

    window->ScannerConnected();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible()) << "nothing to come back from: it stays on the taskbar";
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->Ended());
    window->ScannerGone();
    EXPECT_TRUE(window->isVisible());

    trayAvailable = true;
    window->StartTimers();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->TrayIcon().HasIcon(); },
                                static_cast<int>(Scaled(std::chrono::seconds(5)).count())))
        << "the tray is looked for every two seconds";
}

TEST_F(MainWindowTest, ResetScannerAsksAndCancelChangesNothing) {
    dialogs.answers = {DialogAnswer::Cancel};
    Action("mnuAdvancedReset")->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].title, "Loss of information");
    EXPECT_EQ(dialogs.shown[0].text, "Are you Sure you want to reset the scanner?");
    EXPECT_EQ(dialogs.shown[0].buttons, DialogButtons::OkCancel);
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::Warning);
    EXPECT_EQ(dialogs.shown[0].owner, window.get());
    EXPECT_FALSE(state.resetPending);
    EXPECT_FALSE(settings.ResetPending());

    Action("mnuAdvancedReset")->trigger(); // OK this time
    ASSERT_EQ(dialogs.shown.size(), 3U);
    EXPECT_EQ(dialogs.shown[2].text,
              "Please unplug any attached scanners and then click OK and wait for 5 seconds "
              "before plugging the scanner back in.");
    EXPECT_EQ(dialogs.shown[2].buttons, DialogButtons::Ok);
    EXPECT_TRUE(state.resetPending);
    EXPECT_TRUE(settings.ResetPending()) << "kept across a restart";
    EXPECT_TRUE(settings.ResetDiscardsScans()) << "the user was warned of the loss";
}

TEST_F(MainWindowTest, KeyboardWedgeCheckSurvivesARestartAndUncheckingAsksForAnUnplug) {
    QAction* wedge = Action("mnuAdvancedKeyboardWedgeOn");
    wedge->trigger();
    EXPECT_TRUE(dialogs.shown.empty()) << "checking says nothing";
    EXPECT_EQ(store.Get("Settings", "Keyboard", ""), "True");

    Open(); // a restart
    wedge = Action("mnuAdvancedKeyboardWedgeOn");
    EXPECT_TRUE(wedge->isChecked());
    EXPECT_TRUE(window->WedgeItemChecked()) << "what the session's thread reads";

    wedge->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].text, "Unplug the scanner and wait for it to switch off before "
                                     "plugging back into the computer");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::Information);
    EXPECT_EQ(store.Get("Settings", "Keyboard", ""), "False");
    EXPECT_FALSE(window->WedgeItemChecked());

    Open();
    EXPECT_FALSE(Action("mnuAdvancedKeyboardWedgeOn")->isChecked());

    // The session unchecks it for a scanner without keyboard mode; that is
    // not the user's choice and is not saved.
    Action("mnuAdvancedKeyboardWedgeOn")->trigger();
    window->UncheckKeyboardWedgeItem();
    EXPECT_FALSE(window->WedgeItemChecked());
    EXPECT_EQ(store.Get("Settings", "Keyboard", ""), "True");
}

TEST_F(MainWindowTest, WedgeSetupStoresTheEndCharacterAndThePauseBetweenKeys) {
    const std::vector<std::pair<const char*, int>> entries = {
        {"0", 13}, {"300", 13}, {"abc", 13}, {"9.5", 10}, {"10.5", 10}, {"9", 9}};
    for (const auto& [entry, code] : entries) {
        state.wedgeEndChar = 27;
        WedgeWindow setup(state, settings, window.get());
        EXPECT_EQ(setup.windowTitle(), "Keyboard Wedge Setup");
        auto* text1 = setup.findChild<QLineEdit*>("Text1");
        EXPECT_EQ(text1->text(), "27") << "it opens with the code in use";
        text1->setText(QString::fromUtf8(entry));
        setup.findChild<QSpinBox*>("txtKeyDelay")->setValue(40);
        setup.findChild<QPushButton*>("OKButton")->click();
        EXPECT_EQ(setup.result(), QDialog::Accepted);
        EXPECT_EQ(state.wedgeEndChar, code) << entry << ": in effect for the next chip";
        EXPECT_EQ(store.Get("Settings", "WedgeEnd", ""), std::to_string(code)) << entry;
        EXPECT_EQ(settings.WedgeKeyDelay(), 40);
    }

    WedgeWindow setup(state, settings, window.get());
    setup.findChild<QLineEdit*>("Text1")->setText("65");
    setup.findChild<QSpinBox*>("txtKeyDelay")->setValue(0);
    setup.findChild<QPushButton*>("CancelButton")->click();
    EXPECT_EQ(state.wedgeEndChar, 9) << "Cancel changes nothing";
    EXPECT_EQ(store.Get("Settings", "WedgeEnd", ""), "9");
    EXPECT_EQ(settings.WedgeKeyDelay(), 40);
}

TEST_F(MainWindowTest, CopySelectAndSaveAfterTwoSessions) {
    ChipHistory first;
    first.rows = {"985000000000001          "};
    first.rowChipNumbers = {"985000000000001"};
    first.sessionLines = "985000000000001    10/12/25 09:15       \r\n";
    ChipHistory second;
    second.rows = {"826000000000002       Yes", "9A78563412" + std::string(36, ' ')};
    second.rowChipNumbers = {"826000000000002", "9A78563412"};
    second.sessionLines =
        "826000000000002    10/12/25 14:05    Yes\r\n9A78563412    10/12/25 14:06\r\n";

    window->ShowChipList(first);
    window->ShowChipList(second);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"826000000000002|Yes", "9A78563412|"}))
        << "only the last session's rows";
    EXPECT_EQ(Text(List()->topLevelItem(0)->data(0, Qt::UserRole).toString()), second.rows[0]);

    Action("mnuEditSelectAll")->trigger();
    Action("mnuEditCopy")->trigger();
    EXPECT_EQ(Text(QApplication::clipboard()->text()), "826000000000002\r\n9A78563412\r\n");

    Action("mnuEditSelectNone")->trigger();
    List()->topLevelItem(1)->setSelected(true);
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier); // Ctrl+C on the list itself
    EXPECT_EQ(Text(QApplication::clipboard()->text()), "9A78563412\r\n");

    Action("mnuEditSelectNone")->trigger();
    Action("mnuEditCopy")->trigger();
    EXPECT_EQ(Text(QApplication::clipboard()->text()), "") << "nothing selected copies nothing";

    dialogs.saveAnswer = dir / "chips";
    Action("mnuFileSave")->trigger();
    ASSERT_EQ(dialogs.saves.size(), 1U);
    EXPECT_EQ(dialogs.saves[0].title, "Save As");
    EXPECT_EQ(dialogs.saves[0].filter, "All Files (*.txt)");
    EXPECT_TRUE(std::regex_match(dialogs.saves[0].proposedName,
                                 std::regex(R"(\d\d_\d\d_\d\d_\d\d_\d\d_Chip_Numbers)")))
        << dialogs.saves[0].proposedName;
    EXPECT_EQ(FileText(dir / "chips"), first.sessionLines + second.sessionLines + "\r\n")
        << "both sessions, in order, the name as chosen";

    dialogs.saveAnswer.reset(); // Cancel
    std::filesystem::remove(dir / "chips");
    Action("mnuFileSave")->trigger();
    EXPECT_FALSE(std::filesystem::exists(dir / "chips"));
    EXPECT_EQ(dialogs.shown.size(), 0U) << "silent";
}

struct CodeCase {
    std::optional<std::string> answer;
    bool accepted;
};

class TestModeEntryTest : public MainWindowTest, public testing::WithParamInterface<CodeCase> {};

TEST_P(TestModeEntryTest, CtrlEnterAsksForTheCode) {
    dialogs.inputs = {GetParam().answer};
    QTest::keyClick(window.get(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].text,
              "This will put the software in test mode until the program is restarted");
    EXPECT_EQ(dialogs.prompts,
              std::vector<std::string>{"Authorization code required: Please enter code from "
                                       "Tallybird"});
    EXPECT_EQ(state.testMode, GetParam().accepted);
    EXPECT_EQ(state.showProgress, GetParam().accepted);
    EXPECT_EQ(dialogs.shown.size(), 1U) << "a wrong code is ignored silently";
}

INSTANTIATE_TEST_SUITE_P(Answers, TestModeEntryTest,
                         testing::Values(CodeCase{"604173", true}, CodeCase{"604 173", true},
                                         CodeCase{"604173x", true}, CodeCase{"", false},
                                         CodeCase{std::nullopt, false}, CodeCase{"604174", false},
                                         CodeCase{"x604173", false}));

TEST_F(MainWindowTest, TheCodeTwiceSwitchesTestModeOffAndPlainEnterDoesNothing) {
    dialogs.inputs = {"604173", "604173"};
    QTest::keyClick(window.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(state.testMode);
    QTest::keyClick(List(), Qt::Key_Enter, Qt::ControlModifier); // from the list as well
    EXPECT_FALSE(state.testMode);
    EXPECT_FALSE(state.showProgress);

    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(dialogs.shown.size(), 2U);
}

TEST_F(MainWindowTest, SessionCallsDriveStatusTitleProgressAndNotifications) {
    window->Restore();
    window->SetWindowTitle("Tallybird, connected to serial number  126590");
    EXPECT_EQ(Text(window->windowTitle()), "Tallybird, connected to serial number  126590");
    window->SetUpdateLabel("Last Update: 10/12/25 14:05:00");
    EXPECT_EQ(Label("UpdateLabel"), "Last Update: 10/12/25 14:05:00");

    auto* bar = window->findChild<QProgressBar*>("StepProgress");
    window->ShowStepProgress(12, 30);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 30);
    EXPECT_EQ(bar->value(), 12);
    window->ShowStepProgress(30, 30);
    EXPECT_FALSE(bar->isVisible());

    // The list read-back: the caption goes to the status line as it is, and
    // the bar follows the numbers alone.
    window->ShowCaption("Progress: Uploading:- 42");
    EXPECT_EQ(Label("ProgressLabel"), "Progress: Uploading:- 42");
    EXPECT_FALSE(bar->isVisible()) << "a caption alone no longer drives the bar";
    window->ShowStepProgress(42'000, 1'750'013);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 1'750'013);
    EXPECT_EQ(bar->value(), 42'000);
    window->ShowCaption("Progress: Uploading:- 43");
    EXPECT_TRUE(bar->isVisible()) << "the next caption leaves the bar alone";
    window->ShowStepProgress(43'008, 43'008);
    EXPECT_FALSE(bar->isVisible()) << "the read-back ended";

    window->EnableKeyboardWedgeItem(false);
    EXPECT_FALSE(Action("mnuAdvancedKeyboardWedgeOn")->isEnabled());

    window->ShowMessage("USB Fail", "Device Unplugged during write: WC2", MessageIcon::Critical);
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].title, "USB Fail");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::Critical);

    window->StartKeyboardWedge();
    EXPECT_FALSE(window->isVisible()) << "keyboard mode sends the window to the tray";
}

TEST_F(MainWindowTest, MarksStandInOneColumnUnderTheMissingCaption) {
    window->Restore();
    ChipHistory history;
    history.rows = {"985000000000001       Yes", "9A78563412" + std::string(33, ' ') + "Yes",
                    "985000000000002          ", "123*188*249" + std::string(36, ' ')};
    history.rowChipNumbers = {"985000000000001", "9A78563412", "985000000000002", "123*188*249"};
    window->ShowChipList(history);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"985000000000001|Yes", "9A78563412|Yes",
                                                "985000000000002|", "123*188*249|"}));

    // Where "Missing" starts in the caption, in window coordinates.
    const auto* caption = window->findChild<QLabel*>("Label2");
    const QString text = caption->text();
    const int missingX =
        caption->mapTo(window.get(), QPoint(caption->contentsRect().left(), 0)).x() +
        QFontMetrics(caption->font()).horizontalAdvance(text.left(text.indexOf("Missing")));
    const int missingWidth = QFontMetrics(caption->font()).horizontalAdvance("Missing");
    for (int row = 0; row < 2; ++row) {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        const QRect cell = List()->visualItemRect(item);
        const QRect mark(List()->viewport()->mapTo(
                             window.get(), QPoint(List()->columnViewportPosition(1), cell.top())),
                         QSize(List()->columnWidth(1), cell.height()));
        EXPECT_LE(mark.left(), missingX) << "row " << row;
        EXPECT_GT(mark.left() + 12, missingX) << "row " << row << ": the mark starts under it";
        EXPECT_GE(mark.right(), missingX + missingWidth) << "row " << row;
        const QRect chip(List()->viewport()->mapTo(
                             window.get(), QPoint(List()->columnViewportPosition(0), cell.top())),
                         QSize(List()->columnWidth(0), cell.height()));
        EXPECT_GE(chip.width(),
                  QFontMetrics(List()->font())
                      .horizontalAdvance(QString::fromStdString(history.rowChipNumbers[0])))
            << "a 15-digit number fits its column";
    }
}

TEST_F(MainWindowTest, HeaderAndStatusPicturesFollowTheScanner) {
    EXPECT_TRUE(Pictures(false)) << "offline at load";
    window->ScannerConnected();
    EXPECT_TRUE(Pictures(true));
    window->ScannerGone();
    EXPECT_TRUE(Pictures(false));
}

TEST_F(MainWindowTest, AStoppedSessionSaysWhyUntilTheNextSessionAndANewScannerStartsClean) {
    ChipHistory history;
    history.rows = {"985000000000001       Yes"};
    history.rowChipNumbers = {"985000000000001"};
    history.sessionLines = "985000000000001    10/12/25 14:05    Yes\r\n";
    window->ScannerConnected();
    window->SessionStarted();
    window->ShowCaption("Progress: Updating Scanner");
    window->SetUpdateLabel("Last Update: 10/12/25 14:05:00");
    window->ShowChipList(history);
    window->SessionEnded(SessionEnd::Orderly);

    // The next scanner: the last one's rows and update time go, the export
    // text stays.
    window->ScannerConnected();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Label("UpdateLabel"), "Last Update:");
    EXPECT_EQ(exportText.Text(), history.sessionLines);
    Action("mnuEditSelectAll")->trigger();
    Action("mnuEditCopy")->trigger();
    EXPECT_EQ(Text(QApplication::clipboard()->text()), "") << "no chip of the last scanner";

    window->SessionStarted();
    window->ShowCaption("Progress: Reading Scanner");
    window->ShowStepProgress(3, 30);
    window->SessionStopped("the scanner stopped answering during \"WC2\"");
    EXPECT_EQ(Label("ProgressLabel"),
              "Session did not finish: the scanner stopped answering during \"WC2\"");
    EXPECT_FALSE(window->findChild<QProgressBar*>("StepProgress")->isVisible());
    window->SessionEnded(SessionEnd::Failure);
    EXPECT_EQ(Label("ProgressLabel"),
              "Session did not finish: the scanner stopped answering during \"WC2\"")
        << "the end of the session leaves it";

    window->ScannerConnected();
    window->ShowCaption("Progress: Scanner connected");
    EXPECT_EQ(Label("ProgressLabel"), "Progress: Scanner connected") << "the next session's";
}

TEST_F(MainWindowTest, CopyDebugInformationPutsTheReportOnTheClipboard) {
    QApplication::clipboard()->clear();
    window->findChild<QAction*>("mnuHelpDebugInfo")->trigger();
    const std::string text = Text(QApplication::clipboard()->text());
    EXPECT_TRUE(text.starts_with(std::string("Tallybird ") + TALLYBIRD_VERSION_TEXT + " (Qt "))
        << text;
    EXPECT_NE(text.find("\nKeyboard wedge keystrokes: not used yet\n"), std::string::npos);
    EXPECT_NE(text.find("\nPorts (number, status, path, description, candidate):\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nLog ("), std::string::npos);
}

TEST_F(MainWindowTest, QuitEndsAtOnceWithoutASession) {
    QSignalSpy ended(window.get(), &MainWindow::ProgramEnded);
    window->Restore();
    Action("mnuFileQuit")->trigger();
    EXPECT_TRUE(window->Ended()) << "from a shown window, unlike the close box";
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->TrayIcon().HasIcon());
    EXPECT_EQ(store.Get("Settings", "Running", "unset"), "False");
    EXPECT_TRUE(dialogs.shown.empty());
}

struct QuitCase {
    const char* name;
    DialogAnswer answer;
    bool endsAtOnce;
};

class QuitDuringSessionTest : public MainWindowTest,
                              public testing::WithParamInterface<QuitCase> {};

TEST_P(QuitDuringSessionTest, AsksAndQuitsNowOrWhenTheSessionEnds) {
    QSignalSpy ended(window.get(), &MainWindow::ProgramEnded);
    window->ScannerConnected();
    window->SessionStarted();
    dialogs.answers = {GetParam().answer};
    Action("mnuFileQuit")->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].buttons, DialogButtons::YesNo);
    EXPECT_NE(dialogs.shown[0].text.find("next session repairs"), std::string::npos);
    EXPECT_EQ(window->Ended(), GetParam().endsAtOnce);
    window->ShowCaption("Progress: Clearing Scanned chips");
    window->SessionEnded(SessionEnd::Orderly);
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(store.Get("Settings", "Running", "unset"), "False");
}

INSTANTIATE_TEST_SUITE_P(Answers, QuitDuringSessionTest,
                         testing::Values(QuitCase{"Now", DialogAnswer::Yes, true},
                                         QuitCase{"WhenEnded", DialogAnswer::No, false}),
                         [](const testing::TestParamInfo<QuitCase>& instance) {
                             return instance.param.name;
                         });

// Answers No to every box, after the session ended while the box was open
// (as a real box's own event loop would deliver it).
class SessionEndingDialogs final : public Dialogs {
public:
    std::function<void()> whileOpen;
    int asked = 0;
    DialogAnswer Message(QWidget*, const std::string&, const std::string&, DialogIcon,
                         DialogButtons) override {
        ++asked;
        whileOpen();
        return DialogAnswer::No;
    }
    std::optional<std::string> InputText(QWidget*, const std::string&,
                                         const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path>
    SaveFileName(QWidget*, const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

TEST_F(MainWindowTest, ASessionThatEndsWhileTheQuestionIsOpenLetsTheProgramQuitAtOnce) {
    window.reset();
    SessionEndingDialogs ending;
    MainWindow other(state, settings, ending, exportText, [] { return true; });
    other.Load();
    QSignalSpy ended(&other, &MainWindow::ProgramEnded);
    ending.whileOpen = [&] { other.SessionEnded(SessionEnd::Orderly); };
    other.SessionStarted();
    other.Quit();
    EXPECT_EQ(ending.asked, 1);
    EXPECT_TRUE(other.Ended()) << "\"when the session has ended\" is now";
    EXPECT_EQ(ended.count(), 1);
}

} // namespace
} // namespace tallybird::test
