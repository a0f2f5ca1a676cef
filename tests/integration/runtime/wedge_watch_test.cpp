// tallybird-cli watch with a scanner left in keyboard mode where no keystroke
// can leave the session (no X display, no Wayland): one line on stderr says
// so, nothing is typed or shown, and unplugging the scanner ends the wedge.
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace tallybird::test {
namespace {

constexpr const char* kServiceState =
    R"({"time": 1765350000, "countries": {"1": {"lost": [{"chip": "826000000000002"}],
        "organisations": ["Vets North", "01632 960001"]}}})";

// Reads the process's output until `text` has appeared or time is up.
bool WaitFor(QProcess& process, const std::string& text, std::string& out) {
    const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(30));
    while (std::chrono::steady_clock::now() < deadline) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput().toStdString();
        if (out.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(WedgeWatch, WithoutAWayToTypeOneStderrLineSaysWhyAndUnplugStopsTheWedge) {
    TempDir dir;
    ServiceSim service(dir.Path(), kServiceState);
    std::filesystem::create_directories(dir / "scanner");
    ScannerSim scanner(dir / "scanner", {});
    ASSERT_TRUE(scanner.Linked());
    const auto config = dir / "config";
    WriteCliSettings(config, "Keyboard=True\nServerBaseUrl=" + service.BaseUrl() + "\n",
                     "7=" + scanner.Link().string() + "\n");

    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_SESSION_TYPE");
    QProcess watch;
    StartCli(watch, config, {"watch"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string out;
    ASSERT_TRUE(WaitFor(watch, "Progress: Keyboard Wedge Mode\n", out)) << out;
    EXPECT_NE(out.find("Progress: Scanner connected, Keyboard mode\n"), std::string::npos);

    EXPECT_EQ(scanner.Control("scan 826000000000002").rfind("ok", 0), 0u);
    std::this_thread::sleep_for(Scaled(std::chrono::milliseconds(1500)));
    scanner.Control("unplug");
    ASSERT_TRUE(WaitFor(watch, "Progress: No scanner attached\n", out)) << out;

    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
    out += watch.readAllStandardOutput().toStdString();
    EXPECT_EQ(out.find("826000000000002"), std::string::npos)
        << "nothing typed, so nothing shown: " << out;
    EXPECT_EQ(watch.readAllStandardError().toStdString(),
              "tallybird-cli: keystrokes cannot be sent in this session: no X display (DISPLAY "
              "is not set); the keyboard wedge types nothing\n");

    const Bytes log = ReadFile(config / "state-home" / "Tallybird" / "tallybird.log");
    const std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("keyboard wedge stopped"), std::string::npos) << text;
}

} // namespace
} // namespace tallybird::test
