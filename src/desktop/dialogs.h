#pragma once

#include <filesystem>
#include <optional>
#include <string>

class QWidget;

namespace tallybird {

enum class DialogIcon { None, Information, Question, Warning, Critical };
enum class DialogButtons { Ok, OkCancel, YesNo };
enum class DialogAnswer { Ok, Cancel, Yes, No };

// Every modal box the desktop program shows goes through this seam, so the
// window and page tests can read what was asked and answer it. The real
// boxes are in message_box_dialog.h. Each box names its owner, the window or
// page it belongs to, and opens centred over it.
class Dialogs {
public:
    Dialogs() = default;
    virtual ~Dialogs() = default;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    // A message box; returns the button the user chose (Cancel or No when
    // the box was closed without a choice).
    virtual DialogAnswer Message(QWidget* owner, const std::string& title, const std::string& text,
                                 DialogIcon icon, DialogButtons buttons) = 0;
    // A single-line input box; nothing on Cancel.
    virtual std::optional<std::string> InputText(QWidget* owner, const std::string& prompt,
                                                 const std::string& title) = 0;
    // The save dialog: the chosen file, nothing on Cancel.
    virtual std::optional<std::filesystem::path> SaveFileName(QWidget* owner,
                                                              const std::string& title,
                                                              const std::string& proposedName,
                                                              const std::string& filter) = 0;
};

// The caption of boxes that name no title of their own.
inline constexpr const char* kApplicationTitle = "Tallybird";

} // namespace tallybird
