#include "platform/key_sender.h"

#include "platform/portal_key_sender.h"
#include "platform/x11_key_sender.h"
#include "platform/xdg_folders.h"

#include <QDBusConnection>
#include <QLoggingCategory>

#include <cstdlib>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcWedge, "tallybird.wedge")

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

} // namespace

std::filesystem::path DefaultPortalTokenFile() {
    return XdgHome("XDG_STATE_HOME", ".local/state") / "Tallybird" / "portal-restore-token";
}

KeySenderChoice OpenKeySender(const std::filesystem::path& portalTokenFile) {
    KeySenderChoice choice;
    std::string portalWhy;
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    const bool wayland =
        Set("WAYLAND_DISPLAY") || (sessionType != nullptr && std::string(sessionType) == "wayland");
    if (wayland) {
        choice.sender =
            PortalKeySender::Open(QDBusConnection::sessionBus(), portalTokenFile, portalWhy);
        if (choice.sender) {
            qCInfo(lcWedge) << "keystrokes go through the remote-desktop portal";
            return choice;
        }
        qCInfo(lcWedge).noquote() << "no remote-desktop portal:" << portalWhy.c_str();
    }
    std::string x11Why;
    if (Set("DISPLAY")) {
        choice.sender = X11KeySender::Open(nullptr, x11Why);
        if (choice.sender) {
            qCInfo(lcWedge) << "keystrokes go through X11 (XTest) on" << std::getenv("DISPLAY");
            return choice;
        }
    } else {
        x11Why = "no X display (DISPLAY is not set)";
    }
    choice.why = wayland ? "the remote-desktop portal: " + portalWhy + "; X11: " + x11Why : x11Why;
    qCWarning(lcWedge).noquote() << "keystrokes cannot be sent:" << choice.why.c_str();
    return choice;
}

} // namespace tallybird
