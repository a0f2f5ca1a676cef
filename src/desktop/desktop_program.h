#pragma once

#include "desktop/dialogs.h"
#include "desktop/main_window.h"
#include "desktop/tray.h"
#include "model/registration_record.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/settings_store.h"
#include "platform/single_instance.h"
#include "runtime/chip_export.h"
#include "runtime/detection_runner.h"
#include "runtime/window_bridge.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace tallybird {

// What the desktop program takes from its surroundings; tests replace them.
struct DesktopOptions {
    // Started by the desktop at login: the window stays in the tray.
    bool startHidden = false;
    Tray::Availability trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
    std::function<std::optional<int>()> localeDiallingCode; // default: LC_TELEPHONE
    Dialogs* dialogs = nullptr;                             // default: real message boxes
    std::optional<std::filesystem::path> lockFile;          // default: the runtime folder's
};

// The desktop program: its start-up in order, the main window with its tray
// and timers, and the worker thread that runs detection passes and sessions.
class DesktopProgram {
public:
    explicit DesktopProgram(DesktopOptions options = {});
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // The start-up sequence. False when another instance is running: it was
    // asked to show its window, and this one must end at once.
    bool Start();

    // Stops the worker once its pass is over; false when it is still busy
    // after `wait` (a session that does not end in time).
    bool StopWorker(std::chrono::milliseconds wait);

    MainWindow& Window() { return *window_; }
    SharedState& State() { return state_; }
    Settings& ProgramSettings() { return settings_; }
    const RegistrationRecord& Record() const { return record_; }
    bool WorkerBusy() const { return thread_ && thread_->Busy(); }

private:
    void RunRegistrationWizard();

    DesktopOptions options_;
    SettingsStore store_;
    Settings settings_;
    SharedState state_;
    RegistrationRecord record_;
    ExportText exportText_;
    std::unique_ptr<Dialogs> ownDialogs_;
    Dialogs* dialogs_;
    std::unique_ptr<SingleInstance> instance_;
    // Destroyed in reverse: the worker stops before what it reaches.
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<WindowBridge> bridge_;
    std::unique_ptr<DetectionRunner> detection_;
    std::unique_ptr<DetectionThread> thread_;
};

// The desktop program's main: the application object, the start-up, the
// event loop. Returns the exit status.
int RunDesktopProgram(int argc, char** argv);

} // namespace tallybird
