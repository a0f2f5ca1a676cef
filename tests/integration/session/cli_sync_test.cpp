// `tallybird-cli sync` as a process: its output lines, message lines, exit
// codes and options, as scripts and outside tests rely on them.
#include "support/cli_fixture.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/session_rig.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace tallybird::test {
namespace {

constexpr const char* kState =
    R"({"time": 1765350000, "countries": {"1": {"lost": [{"chip": "826000000000002"}],
        "organisations": ["Vets North", "01632 960001"]}}})";

class CliSyncTest : public CliAgainstService {
protected:
    CliSyncTest() : CliAgainstService(kState) {}

    std::string Settings() const {
        const Bytes bytes = ReadFile(config / "Tallybird" / "Tallybird.ini");
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(CliSyncTest, OrderlySessionPrintsItsCaptionsAndSaves) {
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
    const auto save = dir / "chips.txt";
    const ProcessResult r =
        RunCli(config, {"sync", "7", "--save", QString::fromStdString(save.string())});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Progress: Updating Scanner\nProgress: Tallybird sector 1\n"
                     "Progress: Scanner connected, safe to remove\n");
    EXPECT_EQ(r.err, "");
    const Bytes saved = ReadFile(save);
    const std::string text(saved.begin(), saved.end());
    EXPECT_EQ(text.substr(0, 19), "826000000000002    ");
    EXPECT_EQ(text.substr(text.size() - 7), "Yes\r\n\r\n");
    EXPECT_TRUE(std::filesystem::exists(config / "data-home" / "Tallybird" / "TBM00066051.tbf"));
}

TEST_F(CliSyncTest, TestModeShowsTheTitleAndResetIsCleared) {
    ScannerSim scanner(dir / "scanner", {});
    const ProcessResult r = RunCli(config, {"sync", "7", "--test-mode", "--reset"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Progress: Got Serial number\n"
                          "Title: Tallybird, connected to serial number 126590\n",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("Progress: Resetting Scanner 100%\n"), std::string::npos);
    EXPECT_NE(Settings().find("ResetPending=False"), std::string::npos);
}

TEST_F(CliSyncTest, FailureAndSoftwareErrorExitCodes) {
    {
        ScannerSim scanner(dir / "scanner", {"--drop-after", "2"});
        const ProcessResult r = RunCli(config, {"sync", "7"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "USB Fail: Device Unplugged during write: VR\n");
    }
    ASSERT_TRUE(service.SetFault("upscan.php", "500"));
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
    const ProcessResult r = RunCli(config, {"sync", "7"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Tallybird: Software Error - , please close and restart the program\n");

    EXPECT_EQ(RunCli(config, {"sync"}).exitCode, 64);
    EXPECT_EQ(RunCli(config, {"sync", "7", "--bogus"}).exitCode, 64);

    // The log file says which scanner, how each session ended and why, for
    // support to read, though stderr kept only the specified words.
    const Bytes bytes = ReadFile(config / "state-home" / "Tallybird" / "tallybird.log");
    const std::string log(bytes.begin(), bytes.end());
    EXPECT_NE(log.find("session end: scanner 126590, failure path at VR; chips read 0"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("session end: scanner 126590 (W2), software error (): upload: the service "
                       "did not accept the upload (HTTP status 500); chips read 1, uploaded 0"),
              std::string::npos)
        << log;
}

TEST_F(CliSyncTest, ARefusedPortAndAServiceThatIsDownLeaveReasonsOfTheirOwn) {
    // A port that is no serial device, then a service that does not answer:
    // the same words on stderr, a reason each in the log.
    WriteTextFile(dir / "not-a-tty", "");
    const ProcessResult refused = RunCli(config, {"sync", (dir / "not-a-tty").string().c_str()});
    EXPECT_EQ(refused.exitCode, 2);
    WriteCliSettings(config, "ServerBaseUrl=http://127.0.0.1:9/alpha/\n");
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
    const ProcessResult down = RunCli(config, {"sync", scanner.Link().string().c_str()});
    EXPECT_EQ(down.exitCode, 2);
    EXPECT_EQ(refused.err, down.err);

    const Bytes bytes = ReadFile(config / "state-home" / "Tallybird" / "tallybird.log");
    const std::string log(bytes.begin(), bytes.end());
    EXPECT_NE(
        log.find("the scanner's port could not be opened (" + (dir / "not-a-tty").string() + ": "),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("Failed to connect to 127.0.0.1 port 9"), std::string::npos)
        << "curl's words, with the service's address: " << log;
}

} // namespace
} // namespace tallybird::test

namespace tallybird::test {
namespace {

// Reads lines from a running process until one equals `line` or time is up.
bool WaitForLine(QProcess& process, const std::string& line, std::string& seen) {
    const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(20));
    while (std::chrono::steady_clock::now() < deadline) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardOutput().toStdString();
        if (seen.find(line + "\n") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(CliSyncTest, WatchSynchronisesEachAttachmentOnceUntilStopped) {
    QProcess watch;
    StartCli(watch, config, {"watch"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string seen;
    EXPECT_TRUE(WaitForLine(watch, "Progress: No scanner attached", seen)) << seen;

    // A second watch on the same account runs no session beside the first.
    const ProcessResult second = RunCli(config, {"watch"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "tallybird-cli: tallybird-cli watch (process " +
                              std::to_string(watch.processId()) +
                              ") already synchronises scanners for this account; watch does "
                              "not start\n");

    {
        ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
        EXPECT_TRUE(WaitForLine(watch, "Progress: Scanner connected, safe to remove", seen))
            << seen;
        std::this_thread::sleep_for(Scaled(std::chrono::milliseconds(2500)));
        const auto sessions = Codes(scanner.WireLog());
        EXPECT_EQ(std::count(sessions.begin(), sessions.end(), "SN"), 1)
            << "one session per attachment";
    }
    seen.clear();
    EXPECT_TRUE(WaitForLine(watch, "Progress: No scanner attached", seen)) << seen;

    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count())));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

} // namespace
} // namespace tallybird::test
