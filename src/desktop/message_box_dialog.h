#pragma once

#include "desktop/dialogs.h"

#include <QPointer>
#include <QWidget>

namespace tallybird {

// The real boxes: QMessageBox, QInputDialog and QFileDialog, modal over the
// given window.
class MessageBoxDialogs final : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    DialogAnswer Message(const std::string& title, const std::string& text, DialogIcon icon,
                         DialogButtons buttons) override;
    std::optional<std::string> InputText(const std::string& prompt,
                                         const std::string& title) override;
    std::optional<std::filesystem::path> SaveFileName(const std::string& title,
                                                      const std::string& proposedName,
                                                      const std::string& filter) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace tallybird
