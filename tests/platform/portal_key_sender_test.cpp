// Keystrokes through the remote-desktop portal, against a recording fake
// portal on a private session bus of the test's own (dbus-daemon).
#include "platform/key_sender.h"
#include "platform/portal_key_sender.h"
#include "support/test_support.h"

#include <QDBusConnection>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

// libdbus keeps what it allocated for a connection until the process ends;
// those are not leaks of ours. (Read by LeakSanitizer in the sanitizer build.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace tallybird {
namespace {

using test::Scaled;

std::vector<std::string> Lines(const std::filesystem::path& file) {
    const Bytes bytes = test::ReadFile(file);
    std::vector<std::string> lines;
    std::string line;
    for (const std::uint8_t b : bytes) {
        if (b == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(b));
        }
    }
    return lines;
}

class PortalKeySenderTest : public testing::Test {
protected:
    void SetUp() override {
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!bus_.waitForStarted()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        const int wait = static_cast<int>(Scaled(std::chrono::milliseconds(10'000)).count());
        while (!bus_.canReadLine() && bus_.waitForReadyRead(wait)) {
        }
        address_ = bus_.readLine().trimmed();
        ASSERT_FALSE(address_.isEmpty());
    }
    void TearDown() override {
        for (QProcess* process : {&portal_, &bus_}) {
            process->terminate();
            process->waitForFinished();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("tallybird-test"));
    }

    void StartPortal(QStringList options = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        portal_.setProcessEnvironment(env);
        portal_.start(TALLYBIRD_FAKE_PORTAL_PATH,
                      QStringList{QString::fromStdString(record_.string())} + options);
        const int wait = static_cast<int>(Scaled(std::chrono::milliseconds(10'000)).count());
        ASSERT_TRUE(portal_.waitForReadyRead(wait));
        ASSERT_EQ(portal_.readLine().trimmed(), "ready");
    }
    QDBusConnection Bus() const {
        return QDBusConnection::connectToBus(address_, QStringLiteral("tallybird-test"));
    }

    test::TempDir dir;
    std::filesystem::path record_ = dir / "portal-calls";
    std::filesystem::path token_ = dir / "state" / "Tallybird" / "portal-restore-token";
    QProcess bus_;
    QProcess portal_;
    QString address_;
};

TEST_F(PortalKeySenderTest, KeyboardSessionSendsKeysymsInOrderAndReusesTheRestoreToken) {
    StartPortal();
    std::string why;
    {
        auto sender = PortalKeySender::Open(Bus(), token_, why);
        ASSERT_TRUE(sender) << why;
        EXPECT_TRUE(sender->Type('8'));
        EXPECT_TRUE(sender->Type('2'));
        EXPECT_TRUE(sender->Type(kKeysymReturn));
    }
    EXPECT_EQ(test::ReadFile(token_), (Bytes{'t', 'o', 'k', 'e', 'n', '-', '1', '\n'}));
    {
        // The next start offers the kept token, so the user is not asked again.
        auto sender = PortalKeySender::Open(Bus(), token_, why);
        ASSERT_TRUE(sender) << why;
    }
    EXPECT_EQ(Lines(record_), (std::vector<std::string>{
                                  "CreateSession",
                                  "SelectDevices session types=1 persist_mode=2 restore_token=",
                                  "Start session",
                                  "Keysym session 56 1",
                                  "Keysym session 56 0",
                                  "Keysym session 50 1",
                                  "Keysym session 50 0",
                                  "Keysym session 65293 1",
                                  "Keysym session 65293 0",
                                  "CreateSession",
                                  "SelectDevices session types=1 persist_mode=2 "
                                  "restore_token=token-1",
                                  "Start session",
                              }));
    EXPECT_EQ(test::ReadFile(token_), (Bytes{'t', 'o', 'k', 'e', 'n', '-', '2', '\n'}));
}

TEST_F(PortalKeySenderTest, DeclinedOrAbsentPortalSaysWhy) {
    std::string why;
    // Nobody owns the portal's name yet.
    EXPECT_FALSE(PortalKeySender::Open(Bus(), token_, why));
    EXPECT_NE(why.find("CreateSession"), std::string::npos) << why;

    StartPortal({"--decline"});
    why.clear();
    EXPECT_FALSE(PortalKeySender::Open(Bus(), token_, why));
    EXPECT_EQ(why, "Start: the user declined");
    EXPECT_FALSE(std::filesystem::exists(token_));

    // On Wayland without a display to fall back to, nothing can type, and
    // the reason names both ways.
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.toLocal8Bit().constData(), 1);
    setenv("WAYLAND_DISPLAY", "wayland-test", 1);
    unsetenv("DISPLAY");
    const KeySenderChoice choice = OpenKeySender(token_);
    EXPECT_FALSE(choice.sender);
    EXPECT_EQ(choice.why, "the remote-desktop portal: Start: the user declined; X11: no X "
                          "display (DISPLAY is not set)");
}

} // namespace
} // namespace tallybird
