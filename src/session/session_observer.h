#pragma once

#include "model/history.h"

#include <string>

namespace tallybird {

enum class MessageIcon { Information, Exclamation, Warning, Critical };

// How a session reaches the user: the desktop program's window, or the
// terminal of tallybird-cli. Calls arrive in order on the session's thread.
class SessionObserver {
public:
    SessionObserver() = default;
    virtual ~SessionObserver() = default;
    SessionObserver(const SessionObserver&) = delete;
    SessionObserver& operator=(const SessionObserver&) = delete;

    // The status line, "Progress: ..." and a few bare step captions.
    virtual void ShowCaption(const std::string& caption) = 0;
    virtual void SetWindowTitle(const std::string& title) = 0;
    virtual void EnableKeyboardWedgeItem(bool enabled) = 0;
    virtual bool KeyboardWedgeItemChecked() = 0;
    virtual void UncheckKeyboardWedgeItem() = 0;
    // "Last Update: dd/mm/yy hh:mm:ss".
    virtual void SetUpdateLabel(const std::string& text) = 0;
    // The rows of this session's chips; its history lines join the export text.
    virtual void ShowChipList(const ChipHistory& history) = 0;
    // A message box; returns once the user has closed it.
    virtual void ShowMessage(const std::string& title, const std::string& text,
                             MessageIcon icon) = 0;
    // The orderly end left the scanner in keyboard mode on this port: the
    // keyboard wedge takes over and the window goes to the tray.
    virtual void StartKeyboardWedge() = 0;
    // Progress of a long step (reset, list read-back, programming); optional.
    virtual void ShowStepProgress(int /*done*/, int /*total*/) {}
    // The session stopped on its failure path or a software error, after its
    // message box; `reason` says why in plain words. Optional.
    virtual void SessionStopped(const std::string& /*reason*/) {}
    // Something about the chip history the user should hear once (a damaged
    // history was moved aside). Optional.
    virtual void HistoryNotice(const std::string& /*text*/) {}
};

} // namespace tallybird
