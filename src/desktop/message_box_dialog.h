#pragma once

#include "desktop/dialogs.h"

#include <QPointer>
#include <QWidget>

namespace tallybird {

// The real boxes: QMessageBox, QInputDialog and QFileDialog, modal and
// centred over their owner. An owner that is not on screen (the main window
// in the tray) gives way to the fallback window when that is shown, and
// otherwise to the middle of the screen.
class MessageBoxDialogs final : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget* fallback = nullptr) : fallback_(fallback) {}
    void SetFallback(QWidget* fallback) { fallback_ = fallback; }

    DialogAnswer Message(QWidget* owner, const std::string& title, const std::string& text,
                         DialogIcon icon, DialogButtons buttons) override;
    std::optional<std::string> InputText(QWidget* owner, const std::string& prompt,
                                         const std::string& title) override;
    std::optional<std::filesystem::path> SaveFileName(QWidget* owner, const std::string& title,
                                                      const std::string& proposedName,
                                                      const std::string& filter) override;

private:
    // The parent a box opens over: a window that is on screen, or none.
    QWidget* ParentFor(QWidget* owner) const;

    QPointer<QWidget> fallback_;
};

} // namespace tallybird
