// The keyboard wedge on a real X display (Xvfb) with the layouts us, fr and
// de: a chip read by a simulated scanner in keyboard mode arrives in the
// focused window as exactly its digits and then Enter, through the desktop
// program and through tallybird-cli watch. Each layout is first proved to
// be in force: raw keycodes read back as that layout's keysyms.
#include "desktop/desktop_program.h"
#include "platform/settings_store.h"
#include "platform/x11_key_sender.h"
#include "scripted_dialogs.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <QLabel>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include "key_recorder.h" // after Qt: Xlib defines short macro names
#include "xvfb_display.h"

namespace tallybird::test {
namespace {

const std::string kChip = "826000000000002";

constexpr const char* kServiceState =
    R"({"time": 1765350000, "countries": {"1": {"lost": [{"chip": "826000000000002"}],
        "organisations": ["Vets North", "01632 960001"]}}})";

struct Layout {
    const char* name;
    // What keycode 10 (the key left of "2" on a PC keyboard) and keycode 29
    // (the key right of "T") give on the layout without modifiers.
    KeySym key10;
    KeySym key29;
};

std::ostream& operator<<(std::ostream& out, const Layout& layout) {
    return out << layout.name;
}

std::string Names(const std::vector<KeySym>& keysyms) {
    std::string names;
    for (const KeySym keysym : keysyms) {
        const char* name = XKeysymToString(keysym);
        names += std::string(name != nullptr ? name : "?") + " ";
    }
    return names;
}

// Polls the recorder until `done` holds or the (scaled) time is up, running
// the application's events meanwhile.
template <typename Done> bool WaitForKeys(KeyRecorder& recorder, Done done) {
    return QTest::qWaitFor(
        [&] {
            recorder.Poll();
            return done();
        },
        static_cast<int>(Scaled(std::chrono::milliseconds(10'000)).count()));
}

// Sets the layout and proves it took. The first key event comes before the
// layout is set, so that the layout reaches the XTest device too.
testing::AssertionResult UseLayout(KeyRecorder& recorder, const Layout& layout) {
    recorder.SendRawKey(50); // Shift_L on every one of them
    std::vector<KeySym> seen;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (QProcess::execute("setxkbmap", {"-layout", layout.name}) != 0) {
            return testing::AssertionFailure() << "setxkbmap -layout " << layout.name << " failed";
        }
        recorder.Poll();
        recorder.keys.clear();
        recorder.Focus();
        recorder.SendRawKey(10);
        recorder.SendRawKey(29);
        WaitForKeys(recorder, [&] { return recorder.keys.size() >= 4; });
        seen = recorder.Presses();
        if (seen == std::vector<KeySym>{layout.key10, layout.key29}) {
            recorder.keys.clear();
            return testing::AssertionSuccess();
        }
    }
    return testing::AssertionFailure() << "layout " << layout.name << " not in force: keycodes "
                                       << "10 and 29 gave " << Names(seen);
}

// The chip's digits and then Enter, each pressed and released.
std::vector<KeyRecorder::Key> Typed(const std::string& text) {
    std::vector<KeyRecorder::Key> keys;
    for (const char c : text) {
        const KeySym keysym = c == '\r' ? XK_Return : static_cast<KeySym>(c);
        keys.push_back({true, keysym});
        keys.push_back({false, keysym});
    }
    return keys;
}

bool EndsWithEnter(const KeyRecorder& recorder) {
    return !recorder.keys.empty() && recorder.keys.back() == KeyRecorder::Key{false, XK_Return};
}

class WedgeTyping : public testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        if (!XvfbDisplayReady()) {
            GTEST_SKIP() << "Xvfb is not installed: this test needs an X display";
        }
        unsetenv("WAYLAND_DISPLAY"); // X11 is the way under test
        ASSERT_TRUE(recorder.Open());
        ASSERT_TRUE(UseLayout(recorder, GetParam()));
        std::filesystem::create_directories(dir / "scanner");
    }
    void TearDown() override { QProcess::execute("setxkbmap", {"-layout", "us"}); }

    // Scans the chip once the scanner is in keyboard mode and returns what
    // the focused window received.
    std::vector<KeyRecorder::Key> ScanIntoFocusedWindow(ScannerSim& scanner) {
        recorder.Poll();
        recorder.keys.clear();
        recorder.Focus();
        EXPECT_TRUE(recorder.Focused());
        EXPECT_EQ(scanner.Control("scan " + kChip).rfind("ok", 0), 0u);
        WaitForKeys(recorder, [&] { return EndsWithEnter(recorder); });
        QTest::qWait(300); // nothing more may follow
        recorder.Poll();
        return recorder.keys;
    }

    KeyRecorder recorder;
    TempDir dir;
};

TEST_P(WedgeTyping, WatchTypesTheChipIntoTheFocusedWindow) {
    ServiceSim service(dir.Path(), kServiceState);
    ScannerSim scanner(dir / "scanner", {});
    ASSERT_TRUE(scanner.Linked());
    const auto config = dir / "config";
    WriteCliSettings(config, "Keyboard=True\nServerBaseUrl=" + service.BaseUrl() + "\n",
                     "7=" + scanner.Link().string() + "\n");

    QProcess watch;
    StartCli(watch, config, {"watch"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            watch.waitForReadyRead(50);
            out += watch.readAllStandardOutput().toStdString();
            return out.find("Progress: Keyboard Wedge Mode\n") != std::string::npos;
        },
        static_cast<int>(Scaled(std::chrono::milliseconds(60'000)).count())))
        << out;
    EXPECT_NE(out.find("Progress: Scanner connected, Keyboard mode\n"), std::string::npos);

    EXPECT_EQ(ScanIntoFocusedWindow(scanner), Typed(kChip + "\r"));

    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
    out += watch.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find(kChip + "\r\n"), std::string::npos) << "the received text is shown";
    EXPECT_EQ(watch.readAllStandardError().toStdString(), "");
}

TEST_P(WedgeTyping, DesktopProgramTypesTheChipIntoTheFocusedWindow) {
    ServiceSim service(dir.Path(), kServiceState);
    ScannerSim scanner(dir / "scanner", {});
    ASSERT_TRUE(scanner.Linked());
    for (const char* folder : {"config", "data", "state", "runtime"}) {
        std::filesystem::create_directories(dir / folder);
    }
    std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    {
        SettingsStore store(dir / "config" / "Tallybird" / "Tallybird.ini");
        store.Save("Settings", "StartUp", "Registered");
        store.Save("Settings", "Keyboard", "True");
        store.Save("Settings", "ServerBaseUrl", service.BaseUrl());
        store.Save("Ports", "7", scanner.Link().string());
    }

    FakeSystemTray tray;
    ScriptedDialogs dialogs;
    DesktopOptions options;
    options.startHidden = true;
    options.dialogs = &dialogs;
    DesktopProgram program(options);
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    auto* caption = window.findChild<QLabel*>("ProgressLabel");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return caption->text() == "Progress: Keyboard Wedge Mode"; },
                        static_cast<int>(Scaled(std::chrono::milliseconds(60'000)).count())))
        << caption->text().toStdString();
    EXPECT_FALSE(window.isVisible()) << "keyboard mode sends the window to the tray";

    EXPECT_EQ(ScanIntoFocusedWindow(scanner), Typed(kChip + "\r"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return caption->text().startsWith("Progress: Keyboard"); },
                        static_cast<int>(Scaled(std::chrono::milliseconds(5'000)).count())));
    EXPECT_TRUE(dialogs.shown.empty());
}

// Keys that need a modifier the user does not hold (Shift, Num Lock), and a
// keysym the layout lacks, which goes through a spare key that gets its
// empty map back when the sender closes.
TEST(X11KeySenderTest, ModifiersAndKeysymsTheLayoutLacks) {
    if (!XvfbDisplayReady()) {
        GTEST_SKIP() << "Xvfb is not installed: this test needs an X display";
    }
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.Open());
    ASSERT_TRUE(UseLayout(recorder, Layout{"us", XK_1, XK_y}));
    const std::vector<KeySym> keysyms = {XK_A, XK_KP_1, XK_eacute, XK_1, XK_eacute, XK_F13};
    std::string why;
    {
        auto sender = X11KeySender::Open(nullptr, why);
        ASSERT_TRUE(sender) << why;
        recorder.Focus();
        for (const KeySym keysym : keysyms) {
            EXPECT_TRUE(sender->Type(static_cast<Keysym>(keysym))) << XKeysymToString(keysym);
        }
        WaitForKeys(recorder, [&] { return recorder.keys.size() >= 2 * keysyms.size(); });
    }
    EXPECT_EQ(Names(recorder.Presses()), Names(keysyms));
    EXPECT_EQ(recorder.keys.size(), 2 * keysyms.size());

    // No key gives é any more.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(XKeysymToKeycode(display, XK_eacute), 0);
    XCloseDisplay(display);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WedgeTyping,
                         testing::Values(Layout{"us", XK_1, XK_y}, Layout{"fr", XK_ampersand, XK_y},
                                         Layout{"de", XK_1, XK_z}),
                         [](const testing::TestParamInfo<Layout>& p) {
                             return std::string(p.param.name);
                         });

} // namespace
} // namespace tallybird::test
