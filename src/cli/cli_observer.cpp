#include "cli/cli_observer.h"

#include "runtime/session_notice.h"

namespace tallybird {

void CliObserver::ShowCaption(const std::string& caption) {
    out_ << caption << std::endl;
}

void CliObserver::SetWindowTitle(const std::string& title) {
    out_ << "Title: " << title << std::endl;
}

void CliObserver::ShowChipList(const ChipHistory& history) {
    rows_ = history.rows;
    exportText_.Append(history.sessionLines);
}

void CliObserver::ShowMessage(const std::string& title, const std::string& text, MessageIcon) {
    out_.flush();
    err_ << title << ": " << text << std::endl;
}

void CliObserver::PortRefused(const std::string& device) {
    out_.flush();
    err_ << "tallybird-cli: " << PermissionRemedyText(device) << std::endl;
}

void CliObserver::KeystrokesUnavailable(const std::string& why) {
    out_.flush();
    err_ << "tallybird-cli: keystrokes cannot be sent in this session: " << why
         << "; the keyboard wedge types nothing" << std::endl;
}

} // namespace tallybird
