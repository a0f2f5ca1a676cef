#include "desktop/message_box_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tallybird {
namespace {

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon BoxIcon(DialogIcon icon) {
    switch (icon) {
    case DialogIcon::Information:
        return QMessageBox::Information;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::Warning:
        return QMessageBox::Warning;
    case DialogIcon::Critical:
        return QMessageBox::Critical;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

bool OnScreen(const QWidget* widget) {
    return widget != nullptr && widget->window()->isVisible() && !widget->window()->isMinimized();
}

} // namespace

QWidget* MessageBoxDialogs::ParentFor(QWidget* owner) const {
    // A box over a hidden window would open where that window last was (the
    // corner of the screen for one never shown).
    if (OnScreen(owner)) {
        return owner->window();
    }
    if (OnScreen(fallback_)) {
        return fallback_->window();
    }
    return nullptr;
}

DialogAnswer MessageBoxDialogs::Message(QWidget* owner, const std::string& title,
                                        const std::string& text, DialogIcon icon,
                                        DialogButtons buttons) {
    QMessageBox box(BoxIcon(icon), ToQ(title), ToQ(text), QMessageBox::NoButton, ParentFor(owner));
    switch (buttons) {
    case DialogButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case DialogButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case DialogButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return DialogAnswer::Ok;
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    default:
        break;
    }
    return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Cancel;
}

std::optional<std::string> MessageBoxDialogs::InputText(QWidget* owner, const std::string& prompt,
                                                        const std::string& title) {
    bool ok = false;
    const QString text = QInputDialog::getText(ParentFor(owner), ToQ(title), ToQ(prompt),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text.toStdString();
}

std::optional<std::filesystem::path>
MessageBoxDialogs::SaveFileName(QWidget* owner, const std::string& title,
                                const std::string& proposedName, const std::string& filter) {
    const QString proposed = QDir::home().filePath(ToQ(proposedName));
    const QString chosen =
        QFileDialog::getSaveFileName(ParentFor(owner), ToQ(title), proposed, ToQ(filter));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(chosen.toStdString());
}

} // namespace tallybird
