#include "model/shared_state.h"

#include "model/settings.h"

#include <utility>

namespace tallybird {

void SharedState::ResetFlags() {
    wedgeActive = false;
    testMode = false;
    showProgress = false;
    resetPending = false;
}

void SharedState::NoteScannerSerial(std::int64_t wireSerial) {
    const std::lock_guard lock(scannerMutex_);
    lastScannerSerial_ = wireSerial;
}

void SharedState::NoteScannerVersion(std::string version) {
    const std::lock_guard lock(scannerMutex_);
    lastScannerVersion_ = std::move(version);
}

std::int64_t SharedState::LastScannerSerial() const {
    const std::lock_guard lock(scannerMutex_);
    return lastScannerSerial_;
}

std::string SharedState::LastScannerVersion() const {
    const std::lock_guard lock(scannerMutex_);
    return lastScannerVersion_;
}

void SharedState::NoteKeystrokePath(std::string path) {
    const std::lock_guard lock(scannerMutex_);
    keystrokePath_ = std::move(path);
}

std::string SharedState::KeystrokePath() const {
    const std::lock_guard lock(scannerMutex_);
    return keystrokePath_;
}

void LoadSharedState(SharedState& state, const Settings& settings,
                     const std::filesystem::path& dataFolder) {
    state.dataFolder = dataFolder;
    state.ResetFlags();
    state.wedgeEndChar = WedgeEndCharFrom(settings.WedgeEnd());
    state.serverBaseUrl = settings.ServerBaseUrl();
    state.resetPending = settings.ResetPending();
}

ResetRequest RequestReset(SharedState& state, Settings& settings, ResetKind kind) {
    const std::lock_guard lock(state.resetMutex);
    // A request on top of a pending Reset Scanner keeps its warning's consent.
    const bool discards =
        kind == ResetKind::DiscardsScans || (state.resetPending && settings.ResetDiscardsScans());
    settings.SetResetPending(discards ? ResetKind::DiscardsScans : ResetKind::KeepsScans);
    state.resetPending = true;
    return {true, discards, ++state.resetRequestNumber};
}

ResetRequest PendingReset(SharedState& state, const Settings& settings) {
    const std::lock_guard lock(state.resetMutex);
    if (!state.resetPending) {
        return {false, false, state.resetRequestNumber};
    }
    return {true, settings.ResetDiscardsScans(), state.resetRequestNumber};
}

void ClearReset(SharedState& state, Settings& settings) {
    const std::lock_guard lock(state.resetMutex);
    settings.ClearResetPending();
    state.resetPending = false;
}

bool ClearResetActedOn(SharedState& state, Settings& settings, const ResetRequest& actedOn) {
    const std::lock_guard lock(state.resetMutex);
    if (!actedOn.pending || state.resetRequestNumber != actedOn.number) {
        return false;
    }
    settings.ClearResetPending();
    state.resetPending = false;
    return true;
}

} // namespace tallybird
