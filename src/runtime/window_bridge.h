#pragma once

#include "runtime/window_surface.h"

#include <atomic>

class QObject;

namespace tallybird {

// The bridge from the worker thread to the window: every call is handed to the
// window's thread as a queued invocation, in the order made, so captions keep
// their order. A message box blocks the worker until the user has closed it.
// The keyboard-wedge check mark is read from an atomic the window keeps up to
// date, never from the menu itself. Once closed (the program is ending),
// calls still on their way reach the window no more and message boxes are
// skipped, so a session that is finishing never waits for a window that has
// gone.
class WindowBridge final : public WindowSurface {
public:
    WindowBridge(QObject& window, WindowSurface& surface,
                 const std::atomic<bool>& wedgeItemChecked);

    // From the window's thread: nothing more reaches the window.
    void Close() { closed_ = true; }

    void ShowCaption(const std::string& caption) override;
    void SetWindowTitle(const std::string& title) override;
    void EnableKeyboardWedgeItem(bool enabled) override;
    bool KeyboardWedgeItemChecked() override { return wedgeItemChecked_; }
    void UncheckKeyboardWedgeItem() override;
    void SetUpdateLabel(const std::string& text) override;
    void ShowChipList(const ChipHistory& history) override;
    void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
    void StartKeyboardWedge() override;
    void ShowStepProgress(int done, int total) override;
    void ScannerConnected() override;
    void ScannerGone() override;
    void SessionStopped(const std::string& reason) override;
    void HistoryNotice(const std::string& text) override;
    void SessionStarted() override;
    void SessionEnded(SessionEnd end) override;
    void PortRefused(const std::string& device) override;
    void KeystrokesUnavailable(const std::string& why) override;

    // The scanner was left in keyboard mode and has not gone since.
    bool WedgeRunning() const override { return wedgeRunning_; }

private:
    template <typename F> void Post(F&& call);
    template <typename F> void Wait(F&& call);

    QObject& window_;
    WindowSurface& surface_;
    const std::atomic<bool>& wedgeItemChecked_;
    std::atomic<bool> wedgeRunning_{false};
    std::atomic<bool> closed_{false};
};

} // namespace tallybird
