#include "runtime/window_bridge.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <utility>

namespace tallybird {

WindowBridge::WindowBridge(QObject& window, WindowSurface& surface,
                           const std::atomic<bool>& wedgeItemChecked)
    : window_(window), surface_(surface), wedgeItemChecked_(wedgeItemChecked) {}

template <typename F> void WindowBridge::Post(F&& call) {
    QMetaObject::invokeMethod(
        &window_,
        [this, call = std::forward<F>(call)] {
            if (!closed_) {
                call();
            }
        },
        Qt::QueuedConnection);
}

template <typename F> void WindowBridge::Wait(F&& call) {
    if (closed_) {
        return;
    }
    // On the window's own thread a blocking hand-over would wait for itself.
    if (QThread::currentThread() == window_.thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(
        &window_,
        [this, &call] {
            if (!closed_) {
                call();
            }
        },
        Qt::BlockingQueuedConnection);
}

void WindowBridge::ShowCaption(const std::string& caption) {
    Post([this, caption] { surface_.ShowCaption(caption); });
}

void WindowBridge::SetWindowTitle(const std::string& title) {
    Post([this, title] { surface_.SetWindowTitle(title); });
}

void WindowBridge::EnableKeyboardWedgeItem(bool enabled) {
    Post([this, enabled] { surface_.EnableKeyboardWedgeItem(enabled); });
}

void WindowBridge::UncheckKeyboardWedgeItem() {
    Post([this] { surface_.UncheckKeyboardWedgeItem(); });
}

void WindowBridge::SetUpdateLabel(const std::string& text) {
    Post([this, text] { surface_.SetUpdateLabel(text); });
}

void WindowBridge::ShowChipList(const ChipHistory& history) {
    Post([this, history] { surface_.ShowChipList(history); });
}

void WindowBridge::ShowMessage(const std::string& title, const std::string& text,
                               MessageIcon icon) {
    Wait([this, &title, &text, icon] { surface_.ShowMessage(title, text, icon); });
}

void WindowBridge::StartKeyboardWedge() {
    wedgeRunning_ = true;
    Post([this] { surface_.StartKeyboardWedge(); });
}

void WindowBridge::HistoryNotice(const std::string& text) {
    Post([this, text] { surface_.HistoryNotice(text); });
}

void WindowBridge::ShowStepProgress(int done, int total) {
    Post([this, done, total] { surface_.ShowStepProgress(done, total); });
}

void WindowBridge::ScannerConnected() {
    Post([this] { surface_.ScannerConnected(); });
}

void WindowBridge::ScannerGone() {
    wedgeRunning_ = false;
    Post([this] { surface_.ScannerGone(); });
}

void WindowBridge::SessionStopped(const std::string& reason) {
    Post([this, reason] { surface_.SessionStopped(reason); });
}

void WindowBridge::SessionStarted() {
    Post([this] { surface_.SessionStarted(); });
}

void WindowBridge::SessionEnded(SessionEnd end) {
    Post([this, end] { surface_.SessionEnded(end); });
}

void WindowBridge::PortRefused(const std::string& device) {
    Post([this, device] { surface_.PortRefused(device); });
}

void WindowBridge::KeystrokesUnavailable(const std::string& why) {
    Post([this, why] { surface_.KeystrokesUnavailable(why); });
}

} // namespace tallybird
