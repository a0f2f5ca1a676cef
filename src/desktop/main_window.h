#pragma once

#include "desktop/dialogs.h"
#include "desktop/tray.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/file_watch.h"
#include "runtime/chip_export.h"
#include "runtime/window_surface.h"

#include <QMainWindow>

#include <atomic>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QTreeWidget;
class QMenu;
class QProgressBar;
class QTimer;

namespace tallybird {

inline constexpr const char* kMainWindowTitle = "Tallybird for Kivo Scanner V2.5";

// The main window: the chip list, the status line, the menus, the tray icon
// and the timers. It lives mostly in the tray: a scanner plugged in or the user
// brings it up; minimising, closing or unplugging the scanner send it back.
// Where the desktop has no tray it stays minimised instead, so it can always
// be reached. Every call runs on the window's thread.
class MainWindow final : public QMainWindow, public WindowSurface {
    Q_OBJECT

public:
    MainWindow(SharedState& state, Settings& settings, Dialogs& dialogs, ExportText& exportText,
               Tray::Availability trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable);
    ~MainWindow() override;

    // The window's load: tray icon offline, "Keyboard" applied.
    void Load();
    // The detection tick (1000 ms) and the show-request tick (500 ms).
    void StartTimers();

    // Shown and not minimised.
    bool IsShown() const;
    // Normal state, in front, shown.
    void Restore();
    // Into the tray (minimised where there is none).
    void GoToTray();
    // The close request of the close box and of "&Exit": hides a shown
    // window; ends the program when it is hidden already.
    void RequestClose();

    // The keyboard-wedge check mark as the session reads it from its thread.
    const std::atomic<bool>& WedgeItemChecked() const { return wedgeItemChecked_; }
    Tray& TrayIcon() { return tray_; }
    bool Ended() const { return ended_; }

    // The menu commands.
    void SaveChipText();
    // File > Quit: ends the program as "&Exit" does from the tray. While a
    // session runs it first asks whether to quit now or once it has ended.
    void Quit();
    void CopyChipNumbers();
    void SelectAllRows();
    void SelectNoRows();
    void ToggleKeyboardWedge();
    void ResetScanner();
    void OpenUserGuide();
    // Help > About, and the details page when the user chose to change the
    // registration there.
    void OpenAboutWindow();
    // Version, ports, settings and the end of the log, for support.
    void CopyDebugInformation();
    // File > History...
    void OpenHistoryWindow();
    // Help > Check For Updates.
    void OpenUpdateWindow();
    // Advanced > Keyboard Wedge > Keyboard Wedge Setup.
    void OpenWedgeWindow();
    void ToggleStartAtLogin(bool on);
    // The hidden test mode's entry (Ctrl+Enter).
    void EnterTestMode();

    // WindowSurface
    void ShowCaption(const std::string& caption) override;
    void SetWindowTitle(const std::string& title) override;
    void EnableKeyboardWedgeItem(bool enabled) override;
    bool KeyboardWedgeItemChecked() override;
    void UncheckKeyboardWedgeItem() override;
    void SetUpdateLabel(const std::string& text) override;
    void ShowChipList(const ChipHistory& history) override;
    void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
    void StartKeyboardWedge() override;
    void ShowStepProgress(int done, int total) override;
    void ScannerConnected() override;
    void ScannerGone() override;
    void SessionStopped(const std::string& reason) override;
    void SessionStarted() override;
    void SessionEnded(SessionEnd end) override;
    void PortRefused(const std::string& device) override;
    void KeystrokesUnavailable(const std::string& why) override;
    void HistoryNotice(const std::string& text) override;

    // Between SessionStarted and SessionEnded.
    bool SessionRunning() const { return sessionRunning_; }

Q_SIGNALS:
    // The detection timer ticked: time for a detection pass.
    void DetectionTick();
    // The wedge timer ticked (500 ms, while a scanner is in keyboard mode).
    void WedgeTick();
    // The final unload is done: the tray icon is gone and "Running" saved.
    void ProgramEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void ShowRequestTick();
    void EndProgram();
    void HideStepProgress();
    void ShowScannerState(bool connected);
    void AlignMarkColumn();

    SharedState& state_;
    Settings& settings_;
    Dialogs& dialogs_;
    ExportText& exportText_;
    Tray tray_;
    std::atomic<bool> wedgeItemChecked_{false};
    std::vector<std::string> rowChipNumbers_;
    bool ended_ = false;
    bool sessionRunning_ = false;
    // Why the last session stopped, for its end's notification.
    std::string stopReason_;
    bool quitWhenSessionEnds_ = false;
    // "Show" is read only when the settings file changed since the last tick.
    FileWatch settingsWatch_;
    int trayChecks_ = 0;

    QTreeWidget* chipList_ = nullptr; // the chip and the mark of each row
    QLabel* listCaption_ = nullptr;   // "Label2", the columns' caption
    QLabel* progressLabel_ = nullptr;
    QLabel* updateLabel_ = nullptr;
    QProgressBar* stepProgress_ = nullptr;
    QLabel* headerPicture_ = nullptr;  // connected or not, in the window's header
    QLabel* scannerPicture_ = nullptr; // the same beside the status line
    QAction* startAtLogin_ = nullptr;
    QAction* wedgeOn_ = nullptr;
    QTimer* detectionTimer_ = nullptr;
    QTimer* showRequestTimer_ = nullptr;
    QTimer* wedgeTimer_ = nullptr; // runs while the scanner is in keyboard mode
};

} // namespace tallybird
