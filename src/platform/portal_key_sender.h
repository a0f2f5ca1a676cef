#pragma once

#include "platform/key_sender.h"

#include <QDBusConnection>
#include <QString>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace tallybird {

// Keystrokes through the desktop portal's remote-desktop session
// (org.freedesktop.portal.RemoteDesktop on the session bus): a session with
// a keyboard device, kept for as long as the sender lives; each keysym is
// sent as a press and then a release, in order. The portal's restore token
// is kept in `tokenFile` and offered on the next start, so the user is
// asked only once.
class PortalKeySender final : public KeySender {
public:
    struct Limits {
        std::chrono::milliseconds call{10'000};
        // Start may show the user a dialog and wait for an answer.
        std::chrono::milliseconds start{120'000};
    };

    // Null with `why` set when there is no portal, it refuses or the user
    // declines.
    static std::unique_ptr<PortalKeySender> Open(const QDBusConnection& bus,
                                                 const std::filesystem::path& tokenFile,
                                                 std::string& why, Limits limits);
    static std::unique_ptr<PortalKeySender>
    Open(const QDBusConnection& bus, const std::filesystem::path& tokenFile, std::string& why) {
        return Open(bus, tokenFile, why, Limits{});
    }
    ~PortalKeySender() override;

    bool Type(Keysym keysym) override;
    std::string Name() const override { return "remote-desktop portal"; }

private:
    PortalKeySender(const QDBusConnection& bus, QString session);

    QDBusConnection bus_;
    QString session_;
};

} // namespace tallybird
