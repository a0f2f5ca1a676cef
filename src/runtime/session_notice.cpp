#include "runtime/session_notice.h"

namespace tallybird {

namespace {

// The user's words first, then why, for support.
SessionNotice WithReason(SessionNotice notice, const std::string& reason) {
    if (!reason.empty()) {
        notice.text += "\nWhy: " + reason;
    }
    return notice;
}

} // namespace

std::optional<SessionNotice> NoticeForSessionEnd(SessionEnd end, std::size_t chips,
                                                 const std::string& reason) {
    switch (end) {
    case SessionEnd::Orderly: {
        std::string read = chips == 0   ? "No new chips were read"
                           : chips == 1 ? "1 chip was read"
                                        : std::to_string(chips) + " chips were read";
        return SessionNotice{"Kivo Scanner updated", read + ". The scanner is safe to remove.",
                             false};
    }
    case SessionEnd::Failure:
        return WithReason({"Kivo Scanner update failed",
                           "The scanner was not updated. Plug it in again to finish the update.",
                           true},
                          reason);
    case SessionEnd::SoftwareError:
        return WithReason({"Kivo Scanner update stopped",
                           "A software error stopped the update. Please close and restart the "
                           "program.",
                           true},
                          reason);
    case SessionEnd::NotRun:
        break;
    }
    return std::nullopt;
}

std::string PermissionRemedyText(const std::string& device) {
    return "Permission denied: this account may not open the scanner's port " + device +
           ". Install the Tallybird package (its udev rule gives the user at the computer "
           "the scanner's port) and plug the scanner in again, or run "
           "\"sudo usermod -aG dialout $USER\" and log in again.";
}

SessionNotice NoticeForPermissionDenied(const std::string& device) {
    return {"Tallybird cannot open the scanner", PermissionRemedyText(device), true};
}

} // namespace tallybird
