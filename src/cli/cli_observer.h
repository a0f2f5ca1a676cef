#pragma once

#include "runtime/chip_export.h"
#include "runtime/window_surface.h"

#include <ostream>

namespace tallybird {

// The session on a terminal: captions on stdout, one per line and in order;
// title changes as "Title: <text>"; message boxes on stderr as
// "<title>: <text>" (a terminal has no button to wait for).
class CliObserver : public WindowSurface {
public:
    CliObserver(std::ostream& out, std::ostream& err, ExportText& exportText, bool keyboardWedgeOn)
        : out_(out), err_(err), exportText_(exportText), keyboardWedgeOn_(keyboardWedgeOn) {}

    void ShowCaption(const std::string& caption) override;
    void SetWindowTitle(const std::string& title) override;
    void EnableKeyboardWedgeItem(bool) override {}
    bool KeyboardWedgeItemChecked() override { return keyboardWedgeOn_; }
    void UncheckKeyboardWedgeItem() override { keyboardWedgeOn_ = false; }
    void SetUpdateLabel(const std::string&) override {}
    void ShowChipList(const ChipHistory& history) override;
    void ShowMessage(const std::string& title, const std::string& text, MessageIcon) override;
    void StartKeyboardWedge() override { wedgeStarted_ = true; }
    // The terminal has no window or tray to change.
    void ScannerConnected() override {}
    void ScannerGone() override {}
    void SessionEnded(SessionEnd) override {}
    // Why a session stopped goes to the log (-v); the terminal keeps to its
    // message line and the exit status.
    void SessionStopped(const std::string&) override {}
    // A scanner's port refused for lack of permission: one line with the
    // remedy (watch).
    void PortRefused(const std::string& device) override;
    // The one line watch writes when its keyboard wedge cannot type.
    void KeystrokesUnavailable(const std::string& why) override;
    // A damaged chip history that was moved aside: one message line.
    void HistoryNotice(const std::string& text) override {
        ShowMessage("Chip history", text, MessageIcon::Warning);
    }

    bool WedgeStarted() const { return wedgeStarted_; }
    const std::vector<std::string>& Rows() const { return rows_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    ExportText& exportText_;
    bool keyboardWedgeOn_;
    bool wedgeStarted_ = false;
    std::vector<std::string> rows_;
};

} // namespace tallybird
