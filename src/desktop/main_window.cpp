#include "desktop/main_window.h"

#include "desktop/about_window.h"
#include "desktop/history_window.h"
#include "desktop/registration_page.h"
#include "desktop/update_window.h"
#include "desktop/wedge_window.h"
#include "platform/data_folder.h"
#include "platform/locale_info.h"
#include "platform/log_file.h"
#include "platform/login_start.h"
#include "platform/user_guide.h"
#include "runtime/debug_information.h"
#include "runtime/keyboard_wedge.h"
#include "runtime/session_notice.h"
#include "runtime/test_mode.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

namespace tallybird {
namespace {

constexpr int kDetectionInterval = 1000; // ms
constexpr int kShowRequestInterval = 500;
// Without a tray, whether one appeared is asked every this many show-request
// ticks (each asks the display server).
constexpr int kTrayCheckTicks = 4;

// The caption over the list names its two columns; the marks stand under
// its second word.
constexpr const char* kListCaption = "Scanned Chip Numbers      Missing";
constexpr const char* kMarkColumnCaption = "Missing";
// The longest chip text a row holds (a 15-digit number).
constexpr int kLongestChipText = 15;
constexpr int kChipColumn = 0;
constexpr int kMarkColumn = 1;

constexpr const char* kSessionStoppedPrefix = "Session did not finish: ";
constexpr const char* kQuitDuringSession =
    "A session with the scanner is still running.\n\n"
    "Yes: quit now; the next session repairs whatever is left half done.\n"
    "No: quit as soon as this session has ended.";

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

DialogIcon IconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return DialogIcon::Information;
    case MessageIcon::Exclamation:
    case MessageIcon::Warning:
        return DialogIcon::Warning;
    case MessageIcon::Critical:
        break;
    }
    return DialogIcon::Critical;
}

// Ctrl+Enter, which types a line feed (character code 10).
bool IsTestModeKey(const QKeyEvent& event) {
    const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    return (enter && event.modifiers().testFlag(Qt::ControlModifier)) ||
           event.text() == QStringLiteral("\n");
}

QMenu* AddMenu(QMenuBar* bar, const char* name, const char* caption) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromUtf8(name));
    menu->menuAction()->setObjectName(QString::fromUtf8(name));
    return menu;
}

QAction* AddItem(QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

void AddSeparator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromUtf8(name));
}

} // namespace

MainWindow::MainWindow(SharedState& state, Settings& settings, Dialogs& dialogs,
                       ExportText& exportText, Tray::Availability trayAvailable)
    : state_(state), settings_(settings), dialogs_(dialogs), exportText_(exportText),
      tray_(*this, std::move(trayAvailable)), settingsWatch_(settings.Store().File()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    BuildControls();
    BuildMenus();

    detectionTimer_ = new QTimer(this);
    detectionTimer_->setObjectName(QStringLiteral("Timer1"));
    detectionTimer_->setInterval(kDetectionInterval);
    connect(detectionTimer_, &QTimer::timeout, this, &MainWindow::DetectionTick);
    showRequestTimer_ = new QTimer(this);
    showRequestTimer_->setObjectName(QStringLiteral("Timer2"));
    showRequestTimer_->setInterval(kShowRequestInterval);
    connect(showRequestTimer_, &QTimer::timeout, this, &MainWindow::ShowRequestTick);
    wedgeTimer_ = new QTimer(this);
    wedgeTimer_->setObjectName(QStringLiteral("WedgeTimer"));
    wedgeTimer_->setInterval(KeyboardWedge::kTick);
    connect(wedgeTimer_, &QTimer::timeout, this, &MainWindow::WedgeTick);

    connect(&tray_, &Tray::RestoreRequested, this, &MainWindow::Restore);
    connect(&tray_, &Tray::ExitRequested, this, &MainWindow::RequestClose);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* header = new QHBoxLayout;
    headerPicture_ = new QLabel(central);
    headerPicture_->setObjectName(QStringLiteral("Image1"));
    auto* name = new QLabel(QStringLiteral("<b>Tallybird</b><br>Kivo Scanner companion"), central);
    header->addWidget(headerPicture_);
    header->addWidget(name, 1);
    layout->addLayout(header);

    auto* line1 = new QFrame(central);
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line1);

    listCaption_ = new QLabel(QString::fromUtf8(kListCaption), central);
    listCaption_->setObjectName(QStringLiteral("Label2"));
    listCaption_->setFont(fixed);
    layout->addWidget(listCaption_);

    auto* shape1 = new QFrame(central);
    shape1->setObjectName(QStringLiteral("Shape1"));
    shape1->setFrameShape(QFrame::Box);
    auto* shapeLayout = new QVBoxLayout(shape1);
    shapeLayout->setContentsMargins(1, 1, 1, 1);
    // Two columns, the chip and its mark, under the caption's two words.
    chipList_ = new QTreeWidget(shape1);
    chipList_->setObjectName(QStringLiteral("ChipListBox"));
    chipList_->setColumnCount(2);
    chipList_->setHeaderHidden(true);
    chipList_->setRootIsDecorated(false);
    chipList_->setUniformRowHeights(true);
    chipList_->setAllColumnsShowFocus(true);
    chipList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chipList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    chipList_->header()->setStretchLastSection(true);
    chipList_->setFont(fixed);
    chipList_->installEventFilter(this);
    shapeLayout->addWidget(chipList_);
    layout->addWidget(shape1, 1);

    auto* status = new QHBoxLayout;
    scannerPicture_ = new QLabel(central);
    scannerPicture_->setObjectName(QStringLiteral("Image3"));
    progressLabel_ = new QLabel(QStringLiteral("Progress: No scanner detected"), central);
    progressLabel_->setObjectName(QStringLiteral("ProgressLabel"));
    stepProgress_ = new QProgressBar(central);
    stepProgress_->setObjectName(QStringLiteral("StepProgress"));
    stepProgress_->setMaximumWidth(160);
    stepProgress_->setVisible(false);
    status->addWidget(scannerPicture_);
    status->addWidget(progressLabel_, 1);
    status->addWidget(stepProgress_);
    layout->addLayout(status);

    updateLabel_ = new QLabel(QStringLiteral("Last Update:"), central);
    updateLabel_->setObjectName(QStringLiteral("UpdateLabel"));
    layout->addWidget(updateLabel_);

    ShowScannerState(false);
    setCentralWidget(central);
    resize(460, 420);
}

void MainWindow::ShowScannerState(bool connected) {
    headerPicture_->setPixmap(ScannerIcon(connected).pixmap(48, 48));
    scannerPicture_->setPixmap(ScannerIcon(connected).pixmap(16, 16));
}

void MainWindow::AlignMarkColumn() {
    // Where "Missing" starts in the caption, in the list's own coordinates.
    const QString caption = listCaption_->text();
    const qsizetype word =
        std::max<qsizetype>(caption.indexOf(QString::fromUtf8(kMarkColumnCaption)), 0);
    const int captionX = listCaption_->contentsRect().left() +
                         QFontMetrics(listCaption_->font()).horizontalAdvance(caption.left(word));
    const int inList = listCaption_->mapTo(this, QPoint(captionX, 0)).x() -
                       chipList_->viewport()->mapTo(this, QPoint(0, 0)).x();
    // A cell draws its text this far in from its left edge.
    const int textMargin =
        chipList_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, chipList_) + 1;
    const int longest = QFontMetrics(chipList_->font())
                            .horizontalAdvance(QString(kLongestChipText, QLatin1Char('0'))) +
                        2 * textMargin;
    chipList_->setColumnWidth(kChipColumn, std::max(inList - textMargin, longest));
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();

    QMenu* file = AddMenu(bar, "mnuFile", "&File");
    connect(AddItem(file, "mnuFileSave", "Save"), &QAction::triggered, this,
            &MainWindow::SaveChipText);
    connect(AddItem(file, "mnuFileHistory", "&History..."), &QAction::triggered, this,
            &MainWindow::OpenHistoryWindow);
    AddSeparator(file, "mnubar6");
    QAction* quit = AddItem(file, "mnuFileQuit", "&Quit");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &MainWindow::Quit);

    QMenu* edit = AddMenu(bar, "mnuEdit", "&Edit");
    QAction* copy = AddItem(edit, "mnuEditCopy", "&Copy");
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(copy, &QAction::triggered, this, &MainWindow::CopyChipNumbers);
    AddSeparator(edit, "mnubar2");
    connect(AddItem(edit, "mnuEditSelectAll", "Select All"), &QAction::triggered, this,
            &MainWindow::SelectAllRows);
    connect(AddItem(edit, "mnuEditSelectNone", "Select None"), &QAction::triggered, this,
            &MainWindow::SelectNoRows);

    QMenu* advanced = AddMenu(bar, "mnuAdvanced", "&Advanced");
    QMenu* keyboard = advanced->addMenu(QStringLiteral("Keyboard Wedge"));
    keyboard->setObjectName(QStringLiteral("mnuAdvancedKeyboard"));
    keyboard->menuAction()->setObjectName(QStringLiteral("mnuAdvancedKeyboard"));
    wedgeOn_ = AddItem(keyboard, "mnuAdvancedKeyboardWedgeOn", "Keyboard Wedge On");
    wedgeOn_->setCheckable(true);
    connect(wedgeOn_, &QAction::triggered, this, &MainWindow::ToggleKeyboardWedge);
    connect(AddItem(keyboard, "mnuAdvancedKeyboardWedgeSetup", "Keyboard Wedge Setup"),
            &QAction::triggered, this, &MainWindow::OpenWedgeWindow);
    AddSeparator(advanced, "mnubar1");
    AddItem(advanced, "mnuBlueTooth", "Bluetooth")->setEnabled(false);
    AddSeparator(advanced, "mnbar5");
    connect(AddItem(advanced, "mnuAdvancedReset", "Reset Scanner"), &QAction::triggered, this,
            &MainWindow::ResetScanner);
    startAtLogin_ = AddItem(advanced, "mnuAdvancedStartAtLogin", "Start at Login");
    startAtLogin_->setCheckable(true);
    startAtLogin_->setChecked(StartsAtLogin(DefaultAutostartFolders()));
    connect(startAtLogin_, &QAction::triggered, this, &MainWindow::ToggleStartAtLogin);

    QMenu* help = AddMenu(bar, "mnuHelp", "&Help");
    connect(AddItem(help, "mnuHelpUserGuide", "User Guide"), &QAction::triggered, this,
            &MainWindow::OpenUserGuide);
    AddSeparator(help, "mnubar3");
    connect(AddItem(help, "mnuHelpUpdate", "Check For Updates"), &QAction::triggered, this,
            &MainWindow::OpenUpdateWindow);
    AddSeparator(help, "mnubar4");
    connect(AddItem(help, "mnuHelpAbout", "About"), &QAction::triggered, this,
            &MainWindow::OpenAboutWindow);
    connect(AddItem(help, "mnuHelpDebugInfo", "Copy Debug Information"), &QAction::triggered, this,
            &MainWindow::CopyDebugInformation);
}

void MainWindow::Load() {
    tray_.EnsureIcon();
    const bool keyboard = settings_.Keyboard();
    wedgeOn_->setChecked(keyboard);
    wedgeItemChecked_ = keyboard;
}

void MainWindow::StartTimers() {
    detectionTimer_->start();
    showRequestTimer_->start();
}

bool MainWindow::IsShown() const {
    return isVisible() && !isMinimized();
}

void MainWindow::Restore() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::GoToTray() {
    if (tray_.HasIcon()) {
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::RequestClose() {
    if (IsShown()) {
        GoToTray();
        return;
    }
    EndProgram();
}

void MainWindow::EndProgram() {
    if (ended_) {
        return;
    }
    ended_ = true;
    hide();
    detectionTimer_->stop();
    showRequestTimer_->stop();
    tray_.Remove();
    settings_.SetRunning(false);
    Q_EMIT ProgramEnded();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    if (IsShown()) {
        GoToTray();
        event->ignore();
        return;
    }
    EndProgram();
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_.HasIcon()) {
        // Hidden once the state change is through, so the desktop does not
        // keep a minimised entry for a hidden window.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && tray_.HasIcon()) {
                hide();
            }
        });
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (IsTestModeKey(*event)) {
        EnterTestMode();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chipList_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Resize) {
            AlignMarkColumn();
        }
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // The list would copy its current row's whole text: the menu's
            // Copy (bare chip numbers) wins.
            if (key->matches(QKeySequence::Copy)) {
                if (event->type() == QEvent::KeyPress) {
                    CopyChipNumbers();
                }
                event->accept();
                return true;
            }
            if (event->type() == QEvent::KeyPress && IsTestModeKey(*key)) {
                EnterTestMode();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowRequestTick() {
    if (!tray_.HasIcon() && ++trayChecks_ % kTrayCheckTicks == 0) {
        tray_.EnsureIcon(); // a tray that appeared since
    }
    if (settingsWatch_.Changed() && settings_.ShowRequested()) {
        Restore();
        settings_.SetShowRequested(false);
    }
}

void MainWindow::SaveChipText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const auto file =
        dialogs_.SaveFileName(this, "Save As", ProposedSaveName(local), "All Files (*.txt)");
    if (!file || file->empty()) {
        return;
    }
    SaveExportText(*file, exportText_.Text()); // errors are not reported
}

void MainWindow::Quit() {
    if (sessionRunning_) {
        const DialogAnswer answer = dialogs_.Message(this, kApplicationTitle, kQuitDuringSession,
                                                     DialogIcon::Question, DialogButtons::YesNo);
        // The session may have ended while the question was open.
        if (answer != DialogAnswer::Yes && sessionRunning_) {
            quitWhenSessionEnds_ = true;
            return;
        }
    }
    EndProgram();
}

void MainWindow::CopyChipNumbers() {
    const int rows = chipList_->topLevelItemCount();
    std::vector<bool> selected(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        selected[static_cast<std::size_t>(row)] = chipList_->topLevelItem(row)->isSelected();
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(ToQ(CopyText(rowChipNumbers_, selected)));
}

void MainWindow::SelectAllRows() {
    chipList_->selectAll();
}

void MainWindow::SelectNoRows() {
    chipList_->clearSelection();
}

void MainWindow::ToggleKeyboardWedge() {
    // The action has already inverted its check mark.
    const bool on = wedgeOn_->isChecked();
    wedgeItemChecked_ = on;
    settings_.SetKeyboard(on);
    if (!on) {
        dialogs_.Message(this, kApplicationTitle,
                         "Unplug the scanner and wait for it to switch off before plugging back "
                         "into the computer",
                         DialogIcon::Information, DialogButtons::Ok);
    }
}

void MainWindow::ResetScanner() {
    if (dialogs_.Message(this, "Loss of information", "Are you Sure you want to reset the scanner?",
                         DialogIcon::Warning, DialogButtons::OkCancel) != DialogAnswer::Ok) {
        return;
    }
    dialogs_.Message(this, kApplicationTitle,
                     "Please unplug any attached scanners and then click OK and wait for 5 "
                     "seconds before plugging the scanner back in.",
                     DialogIcon::None, DialogButtons::Ok);
    RequestReset(state_, settings_, ResetKind::DiscardsScans);
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): a menu command
void MainWindow::OpenUserGuide() {
    const auto guide = UserGuideFile(InstallFolder());
    QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(guide.string()))); // not reported
}

void MainWindow::OpenAboutWindow() {
    bool changeRegistration = false;
    {
        AboutWindow about(state_, settings_, dialogs_, this);
        about.exec();
        changeRegistration = about.ChangeRegistrationChosen();
    }
    if (changeRegistration) {
        // The About window is gone before the details page comes up.
        QCoreApplication::processEvents();
        RegistrationPage details(state_, settings_, dialogs_, LocaleDiallingCode(), this);
        details.exec();
    }
}

void MainWindow::OpenWedgeWindow() {
    WedgeWindow setup(state_, settings_, this);
    setup.exec();
}

void MainWindow::OpenHistoryWindow() {
    HistoryWindow history(HistoryFile(state_.dataFolder), settings_, dialogs_, this);
    history.exec();
}

void MainWindow::HistoryNotice(const std::string& text) {
    tray_.Notify(QStringLiteral("Chip history"), ToQ(text), NoticeLevel::Warning);
}

void MainWindow::OpenUpdateWindow() {
    UpdateWindow update(state_.serverBaseUrl, state_.dataFolder, dialogs_, this);
    // The installer replaces this program: it ends at once.
    connect(&update, &UpdateWindow::InstallerStarted, this, &MainWindow::EndProgram);
    update.exec();
}

// The check mark shows what holds afterwards, also when the change failed.
void MainWindow::ToggleStartAtLogin(bool on) {
    SetStartAtLogin(DefaultAutostartFolders(), on, InstallFolder() / "tallybird");
    startAtLogin_->setChecked(StartsAtLogin(DefaultAutostartFolders()));
}

void MainWindow::EnterTestMode() {
    dialogs_.Message(this, kApplicationTitle,
                     "This will put the software in test mode until the program is restarted",
                     DialogIcon::None, DialogButtons::Ok);
    const auto answer =
        dialogs_.InputText(this, "Please enter code from Tallybird", "Authorization code required");
    if (answer && IsAccessCode(*answer)) {
        ToggleTestMode(state_);
    }
}

void MainWindow::ShowCaption(const std::string& caption) {
    const QString text = ToQ(caption);
    if (progressLabel_->text() != text) {
        progressLabel_->setText(text);
    }
}

void MainWindow::SetWindowTitle(const std::string& title) {
    setWindowTitle(ToQ(title));
}

void MainWindow::EnableKeyboardWedgeItem(bool enabled) {
    wedgeOn_->setEnabled(enabled);
}

bool MainWindow::KeyboardWedgeItemChecked() {
    return wedgeOn_->isChecked();
}

void MainWindow::UncheckKeyboardWedgeItem() {
    wedgeOn_->setChecked(false);
    wedgeItemChecked_ = false;
}

void MainWindow::SetUpdateLabel(const std::string& text) {
    updateLabel_->setText(ToQ(text));
}

void MainWindow::ShowChipList(const ChipHistory& history) {
    chipList_->clear();
    const std::size_t rows = std::min(history.rows.size(), history.rowChipNumbers.size());
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string& chip = history.rowChipNumbers[i];
        auto* item = new QTreeWidgetItem;
        item->setText(kChipColumn, ToQ(chip));
        item->setText(kMarkColumn, ToQ(RowMark(history.rows[i], chip)));
        // The row as the session wrote it, for whoever reads the list.
        item->setData(kChipColumn, Qt::UserRole, ToQ(history.rows[i]));
        items.push_back(item);
    }
    chipList_->addTopLevelItems(items);
    rowChipNumbers_.assign(history.rowChipNumbers.begin(),
                           history.rowChipNumbers.begin() + static_cast<std::ptrdiff_t>(rows));
    exportText_.Append(history.sessionLines);
}

void MainWindow::ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) {
    dialogs_.Message(this, title, text, IconOf(icon), DialogButtons::Ok);
}

void MainWindow::StartKeyboardWedge() {
    // The scanner now sends its chips as text; the window goes to the tray so
    // that they are typed into the program the user works in.
    GoToTray();
    wedgeTimer_->start();
}

void MainWindow::KeystrokesUnavailable(const std::string& why) {
    tray_.Notify(QString::fromUtf8(kApplicationTitle),
                 ToQ("Keystrokes cannot be sent in this session, so the keyboard wedge types "
                     "nothing: " +
                     why),
                 NoticeLevel::Warning);
}

void MainWindow::ShowStepProgress(int done, int total) {
    if (total <= 0 || done >= total) {
        HideStepProgress();
        return;
    }
    stepProgress_->setToolTip(QString());
    stepProgress_->setRange(0, total);
    stepProgress_->setValue(done);
    stepProgress_->setVisible(true);
}

void MainWindow::HideStepProgress() {
    stepProgress_->setVisible(false);
    stepProgress_->setRange(0, 100);
    stepProgress_->setValue(0);
}

void MainWindow::ScannerConnected() {
    tray_.SetConnected(true);
    ShowScannerState(true);
    // A new scanner: the last one's chips and update time go; what Save
    // writes (every session of the run) stays.
    chipList_->clear();
    rowChipNumbers_.clear();
    updateLabel_->setText(QStringLiteral("Last Update:"));
    Restore();
}

void MainWindow::ScannerGone() {
    wedgeTimer_->stop();
    tray_.SetConnected(false);
    ShowScannerState(false);
    HideStepProgress();
    GoToTray();
}

void MainWindow::SessionStopped(const std::string& reason) {
    // Stays until the next caption, which the next session brings.
    HideStepProgress();
    progressLabel_->setText(ToQ(kSessionStoppedPrefix + reason));
    stopReason_ = reason;
}

void MainWindow::SessionStarted() {
    sessionRunning_ = true;
    stopReason_.clear();
}

void MainWindow::SessionEnded(SessionEnd end) {
    sessionRunning_ = false;
    HideStepProgress();
    if (const auto notice = NoticeForSessionEnd(
            end, static_cast<std::size_t>(chipList_->topLevelItemCount()), stopReason_)) {
        tray_.Notify(ToQ(notice->title), ToQ(notice->text),
                     notice->warning ? NoticeLevel::Warning : NoticeLevel::Information);
    }
    if (quitWhenSessionEnds_) {
        EndProgram();
    }
}

void MainWindow::CopyDebugInformation() {
    DebugFacts facts = CollectDebugFacts(settings_.Store(), LogFile::DefaultFile());
    facts.keystrokePath = state_.KeystrokePath();
    QGuiApplication::clipboard()->setText(ToQ(DebugInformationText(facts)));
    tray_.Notify(QStringLiteral("Tallybird"),
                 QStringLiteral("Debug information copied to the clipboard: paste it into your "
                                "message to support."),
                 NoticeLevel::Information);
}

void MainWindow::PortRefused(const std::string& device) {
    const SessionNotice notice = NoticeForPermissionDenied(device);
    tray_.Notify(ToQ(notice.title), ToQ(notice.text), NoticeLevel::Warning);
}

} // namespace tallybird
