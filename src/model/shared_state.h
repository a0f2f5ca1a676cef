#pragma once

#include "model/settings.h"

#include <atomic>
#include <filesystem>
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

    // Start-up values: every flag false.
    void ResetFlags();
};

// Fills the state from the settings and the data folder as start-up does:
// data folder, wedge end character, service address, flags; a reset that a
// closed program left pending is picked up again.
void LoadSharedState(SharedState& state, const Settings& settings,
                     const std::filesystem::path& dataFolder);

// Asks the next session for a reset and keeps the request in the settings
// until a session clears it. `ResetKind::DiscardsScans` only for Reset Scanner,
// which warned the user that the scan log is lost.
void RequestReset(SharedState& state, Settings& settings, ResetKind kind);
void ClearReset(SharedState& state, Settings& settings);

} // namespace tallybird
