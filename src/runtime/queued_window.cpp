#include "runtime/queued_window.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <utility>

namespace tallybird {

QueuedWindow::QueuedWindow(QObject& window, WindowSurface& surface,
                           const std::atomic<bool>& wedgeItemChecked)
    : window_(window), surface_(surface), wedgeItemChecked_(wedgeItemChecked) {}

template <typename F> void QueuedWindow::Post(F&& call) {
    QMetaObject::invokeMethod(&window_, std::forward<F>(call), Qt::QueuedConnection);
}

template <typename F> void QueuedWindow::Wait(F&& call) {
    // On the window's own thread a blocking hand-over would wait for itself.
    if (QThread::currentThread() == window_.thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(&window_, std::forward<F>(call), Qt::BlockingQueuedConnection);
}

void QueuedWindow::ShowCaption(const std::string& caption) {
    Post([this, caption] { surface_.ShowCaption(caption); });
}

void QueuedWindow::SetWindowTitle(const std::string& title) {
    Post([this, title] { surface_.SetWindowTitle(title); });
}

void QueuedWindow::EnableKeyboardWedgeItem(bool enabled) {
    Post([this, enabled] { surface_.EnableKeyboardWedgeItem(enabled); });
}

void QueuedWindow::UncheckKeyboardWedgeItem() {
    Post([this] { surface_.UncheckKeyboardWedgeItem(); });
}

void QueuedWindow::SetUpdateLabel(const std::string& text) {
    Post([this, text] { surface_.SetUpdateLabel(text); });
}

void QueuedWindow::ShowChipList(const ChipHistory& history) {
    Post([this, history] { surface_.ShowChipList(history); });
}

void QueuedWindow::ShowMessage(const std::string& title, const std::string& text,
                               MessageIcon icon) {
    Wait([this, &title, &text, icon] { surface_.ShowMessage(title, text, icon); });
}

void QueuedWindow::StartKeyboardWedge() {
    wedgeRunning_ = true;
    Post([this] { surface_.StartKeyboardWedge(); });
}

void QueuedWindow::ShowStepProgress(int done, int total) {
    Post([this, done, total] { surface_.ShowStepProgress(done, total); });
}

void QueuedWindow::ScannerConnected() {
    Post([this] { surface_.ScannerConnected(); });
}

void QueuedWindow::ScannerGone() {
    wedgeRunning_ = false;
    Post([this] { surface_.ScannerGone(); });
}

void QueuedWindow::SessionEnded(SessionEnd end) {
    Post([this, end] { surface_.SessionEnded(end); });
}

} // namespace tallybird
