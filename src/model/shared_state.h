#pragma once

#include "model/settings.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace tallybird {

// Program state shared by the window, detection, the session and the wedge
// for the whole run. The flags are atomics: the window thread changes them
// while a session runs on the worker.
struct SharedState {
    std::filesystem::path dataFolder;
    std::string serverBaseUrl;
    std::atomic<int> wedgeEndChar{13};
    std::atomic<bool> wedgeActive{false};
    std::atomic<bool> showProgress{false};
    std::atomic<bool> testMode{false};
    std::atomic<bool> resetPending{false};
    // Counts the reset requests of this run, so that a session clears only the
    // request it acted on and never one the user made while it ran.
    std::uint64_t resetRequestNumber = 0;
    std::mutex resetMutex;

    // Start-up values: every flag false.
    void ResetFlags();

    // The scanner identified last since start-up, for the About window.
    void NoteScannerSerial(std::int64_t wireSerial);
    void NoteScannerVersion(std::string version);
    // Wire serial 0 and an empty version: none identified yet.
    std::int64_t LastScannerSerial() const;
    std::string LastScannerVersion() const;
    // How the keyboard wedge sent keystrokes when it last started ("X11
    // (XTest)", "remote-desktop portal", or why nothing could be sent); empty
    // until it first starts. For About.
    void NoteKeystrokePath(std::string path);
    std::string KeystrokePath() const;

private:
    mutable std::mutex scannerMutex_;
    std::int64_t lastScannerSerial_ = 0;
    std::string lastScannerVersion_;
    std::string keystrokePath_;
};

// A reset request as a session found it when it started.
struct ResetRequest {
    bool pending = false;
    // Reset Scanner: the user was warned that the scan log is lost.
    bool discardsScans = false;
    std::uint64_t number = 0;
};

// Fills the state from the settings and the data folder as start-up does:
// data folder, wedge end character, service address, flags; a reset that a
// closed program left pending is picked up again.
void LoadSharedState(SharedState& state, const Settings& settings,
                     const std::filesystem::path& dataFolder);

// Asks the next session for a reset and keeps the request in the settings
// until a session clears it. `ResetKind::DiscardsScans` only for Reset Scanner,
// which warned the user that the scan log is lost.
// Returns the request as it now stands.
ResetRequest RequestReset(SharedState& state, Settings& settings, ResetKind kind);
// The request pending now, for a session starting.
ResetRequest PendingReset(SharedState& state, const Settings& settings);
// Clears the pending request whatever it is.
void ClearReset(SharedState& state, Settings& settings);
// Clears the request a session acted on; a request made since stays pending
// for the next session. Returns whether it cleared.
bool ClearResetActedOn(SharedState& state, Settings& settings, const ResetRequest& actedOn);

} // namespace tallybird
