#pragma once

#include "session/session.h"

#include <cstddef>
#include <optional>
#include <string>

namespace tallybird {

// A desktop notification: what the tray shows when a session is over.
struct SessionNotice {
    std::string title;
    std::string text;
    bool warning = false;
};

// The notice for a session's end; `chips` is the number of rows the session
// put in the chip list, `reason` why a session that stopped did so (from
// the session, empty when it ended in order). Nothing for a session that
// never ran.
std::optional<SessionNotice> NoticeForSessionEnd(SessionEnd end, std::size_t chips,
                                                 const std::string& reason = {});

// The words that tell the user a scanner's port was refused for lack of
// permission, with the remedy: the package's udev rule, or the dialout group.
std::string PermissionRemedyText(const std::string& device);

// The notification for such a port.
SessionNotice NoticeForPermissionDenied(const std::string& device);

} // namespace tallybird
