#include "model/shared_state.h"

#include "model/settings.h"

namespace tallybird {

void SharedState::ResetFlags() {
    wedgeActive = false;
    testMode = false;
    showProgress = false;
    resetPending = false;
}

void LoadSharedState(SharedState& state, const Settings& settings,
                     const std::filesystem::path& dataFolder) {
    state.dataFolder = dataFolder;
    state.ResetFlags();
    state.wedgeEndChar = WedgeEndCharFrom(settings.WedgeEnd());
    state.serverBaseUrl = settings.ServerBaseUrl();
    state.resetPending = settings.ResetPending();
}

void RequestReset(SharedState& state, Settings& settings, ResetKind kind) {
    // A request on top of a pending Reset Scanner keeps its warning's consent.
    const bool discards =
        kind == ResetKind::DiscardsScans || (state.resetPending && settings.ResetDiscardsScans());
    settings.SetResetPending(discards ? ResetKind::DiscardsScans : ResetKind::KeepsScans);
    state.resetPending = true;
}

void ClearReset(SharedState& state, Settings& settings) {
    settings.ClearResetPending();
    state.resetPending = false;
}

} // namespace tallybird
