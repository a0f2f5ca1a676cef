// tallybird-cli in the field: help and version on every command, usage
// errors, a scanner's port the account may not open, and detection that
// leaves other serial devices alone.
#include "support/scanner_sim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace tallybird::test {
namespace {

using namespace std::chrono_literals;

class CliConventionsTest : public testing::Test {
protected:
    TempDir dir;
    std::filesystem::path config = dir / "config";

    void WriteSettings(const std::string& ports) {
        // Nothing listens on port 9: no session reaches a service.
        WriteCliSettings(config, "ServerBaseUrl=http://127.0.0.1:9/\n", ports);
    }
    std::string Log() const {
        const Bytes bytes = ReadFile(config / "state-home" / "Tallybird" / "tallybird.log");
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(CliConventionsTest, HelpAndVersionOnTheProgramAndEveryCommand) {
    const std::vector<QStringList> helps{{"--help"},
                                         {"-h"},
                                         {"help"},
                                         {"help", "sync"},
                                         {"ports", "--help"},
                                         {"send", "-h"},
                                         {"probe", "--help"},
                                         {"sync", "--help"},
                                         {"watch", "--help"},
                                         {"about", "-h"},
                                         {"update", "--help"},
                                         {"-v", "sync", "-h"}};
    for (const QStringList& args : helps) {
        const ProcessResult r = RunCli(config, args);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.starts_with("Usage: tallybird-cli")) << r.out;
        EXPECT_EQ(r.err, "") << args.join(' ').toStdString();
    }
    EXPECT_NE(RunCli(config, {"probe", "--help"}).out.find("Usage: tallybird-cli probe PORT"),
              std::string::npos)
        << "a command's help is its own, and --help is no device path";

    for (const QStringList& args :
         std::vector<QStringList>{{"--version"}, {"sync", "--version"}, {"watch", "--version"}}) {
        const ProcessResult r = RunCli(config, args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, std::string("tallybird-cli ") + TALLYBIRD_VERSION_TEXT + "\n");
    }
}

TEST_F(CliConventionsTest, UsageErrorsExit64WithTheProgramsPrefix) {
    const std::vector<QStringList> errors{{"bogus"},          {"probe"},
                                          {"send", "7"},      {"sync", "7", "--bogus"},
                                          {"ports", "extra"}, {"sync", "7", "--save"},
                                          {"help", "bogus"},  {"--bogus"}};
    for (const QStringList& args : errors) {
        const ProcessResult r = RunCli(config, args);
        EXPECT_EQ(r.exitCode, 64) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.starts_with("tallybird-cli: ")) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(RunCli(config, {}).exitCode, 64);
}

// Root may open any file: the CLI then runs without the capabilities that
// let it, so a device closed to it is closed as for any user.
QStringList WithoutFileOverride() {
    if (geteuid() != 0) {
        return {};
    }
    return {"setpriv", "--bounding-set=-dac_override,-dac_read_search"};
}

TEST_F(CliConventionsTest, APortClosedToTheAccountIsNamedWithItsRemedy) {
    std::filesystem::create_directories(dir / "scanner");
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
    ASSERT_TRUE(scanner.Linked());
    const std::filesystem::path device = std::filesystem::canonical(scanner.Link());
    std::filesystem::permissions(device, std::filesystem::perms::none);
    WriteSettings("7=" + scanner.Link().string() + "\n");
    const QStringList wrapper = WithoutFileOverride();
    if (!wrapper.isEmpty() && RunCli(config, {"--version"}, 10s, wrapper).exitCode != 0) {
        GTEST_SKIP() << "setpriv cannot drop the file-access capabilities here";
    }
    const std::string remedy = "tallybird-cli: Permission denied: this account may not open the "
                               "scanner's port " +
                               scanner.Link().string();
    const std::string dialout = "\"sudo usermod -aG dialout $USER\" and log in again.\n";

    const ProcessResult sync = RunCli(config, {"sync", "7"}, 60s, wrapper);
    EXPECT_EQ(sync.exitCode, 2);
    EXPECT_EQ(sync.err.find(remedy), 0u) << sync.err;
    EXPECT_NE(sync.err.find(dialout + "Tallybird: Software Error - , please close and restart the "
                                      "program\n"),
              std::string::npos)
        << "the remedy, then the specified message: " << sync.err;
    EXPECT_NE(Log().find("the scanner's port could not be opened (" + scanner.Link().string() +
                         ": Permission denied)"),
              std::string::npos)
        << "the serial port's own error is kept: " << Log();

    const ProcessResult probe = RunCli(config, {"probe", "7"}, 60s, wrapper);
    EXPECT_EQ(probe.exitCode, 1);
    EXPECT_EQ(probe.out, "\n");
    EXPECT_EQ(probe.err.find(remedy), 0u) << probe.err;

    const ProcessResult ports = RunCli(config, {"ports"}, 60s, wrapper);
    EXPECT_NE(ports.out.find("7\t1\t" + scanner.Link().string() + "\tUSB Serial Port (" +
                             scanner.Link().string() + "), permission denied\n"),
              std::string::npos)
        << ports.out;

    // watch: one line for the attachment, however many passes see it.
    QProcess watch;
    StartCli(watch, config, {"watch"}, wrapper);
    ASSERT_TRUE(watch.waitForStarted());
    std::this_thread::sleep_for(Scaled(4s));
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(10s).count())));
    const std::string err = watch.readAllStandardError().toStdString();
    EXPECT_EQ(err.find(remedy), 0u) << err;
    EXPECT_EQ(err.find(remedy, 1), std::string::npos) << "reported once: " << err;
    EXPECT_EQ(watch.readAllStandardOutput().toStdString().find("Scanner connected"),
              std::string::npos);
}

// A serial device that is not a scanner: a pseudo-terminal that answers
// "PA" with "ArduinoOK" and notes when each came.
class OtherDevice {
public:
    OtherDevice() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        path_ = ptsname(master_);
        // Held open here so that the device stays up between the program's
        // opens, and raw so that nothing is echoed.
        slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        answering_ = std::thread([this] { Answer(); });
    }
    ~OtherDevice() {
        stop_ = true;
        if (answering_.joinable()) {
            answering_.join();
        }
        close(slave_);
        close(master_);
    }
    OtherDevice(const OtherDevice&) = delete;
    OtherDevice& operator=(const OtherDevice&) = delete;

    const std::string& Path() const { return path_; }
    std::vector<std::chrono::steady_clock::time_point> Requests() {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Answer() {
        std::string received;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) {
                continue;
            }
            char chunk[256];
            const ssize_t got = read(master_, chunk, sizeof chunk);
            if (got <= 0) {
                std::this_thread::sleep_for(10ms); // no one has it open
                continue;
            }
            received.append(chunk, static_cast<std::size_t>(got));
            for (std::size_t at; (at = received.find("PA\r")) != std::string::npos;) {
                received.erase(0, at + 3);
                {
                    const std::lock_guard lock(mutex_);
                    requests_.push_back(std::chrono::steady_clock::now());
                }
                const std::string reply = "ArduinoOK\r";
                (void)!write(master_, reply.data(), reply.size());
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::chrono::steady_clock::time_point> requests_;
    std::thread answering_;
};

// Requests less than 3 s apart belong to one probe (it asks twice when the
// first answer is not a scanner's).
int ProbesIn(const std::vector<std::chrono::steady_clock::time_point>& requests) {
    int probes = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (i == 0 || requests[i] - requests[i - 1] >= 3s) {
            ++probes;
        }
    }
    return probes;
}

// The first unused /dev/ttyACM<k> name of the high numbers, for a device
// that detection lists among the system's ports but that no driver of a
// scanner serves.
std::filesystem::path UnusedAcmName() {
    for (int k = 120; k > 90; --k) {
        const std::filesystem::path name = "/dev/ttyACM" + std::to_string(k);
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(name, ec))) {
            return name;
        }
    }
    return {};
}

TEST_F(CliConventionsTest, WatchLeavesOtherDevicesAloneAndStillFindsAScannerAtOnce) {
    OtherDevice arduino;
    ASSERT_FALSE(arduino.Path().empty());
    std::filesystem::create_symlink(arduino.Path(), dir / "arduino");
    std::filesystem::create_directories(dir / "scanner");
    WriteSettings("5=" + (dir / "arduino").string() + "\n7=" + (dir / "scanner" / "kivo").string() +
                  "\n");

    // Where /dev may be written, a device of another kind under a system
    // name: no candidate, so never probed (nor opened for its status, which
    // the port directory's own tests show).
    OtherDevice modem;
    std::filesystem::path modemName;
    if (access("/dev", W_OK) == 0) {
        modemName = UnusedAcmName();
        std::error_code ec;
        std::filesystem::create_symlink(modem.Path(), modemName, ec);
        if (ec) {
            modemName.clear();
        }
    }
    const struct RemovedAtEnd {
        const std::filesystem::path& path;
        ~RemovedAtEnd() {
            std::error_code ec;
            if (!path.empty()) {
                std::filesystem::remove(path, ec);
            }
        }
    } modemLink{modemName};

    QProcess watch;
    const auto started = std::chrono::steady_clock::now();
    StartCli(watch, config, {"watch"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string seen;
    const auto readUntil = [&](std::chrono::steady_clock::time_point until,
                               const std::string& line) {
        while (std::chrono::steady_clock::now() < until) {
            watch.waitForReadyRead(50);
            seen += watch.readAllStandardOutput().toStdString();
            if (!line.empty() && seen.find(line + "\n") != std::string::npos) {
                return true;
            }
        }
        return false;
    };

    // Probes of the other device are due after about 0, 4, 9, 16, 27 and
    // 46 s: a scanner plugged in at 38 s meets no probe in its way.
    (void)readUntil(started + 38s, "");
    ScannerSim scanner(dir / "scanner", {});
    const auto plugged = std::chrono::steady_clock::now();
    seen.clear();
    EXPECT_TRUE(readUntil(plugged + Scaled(2s), "Progress: Scanner connected"))
        << "the scanner was found within 2 s: " << seen;
    (void)readUntil(started + 60s, "");
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(static_cast<int>(Scaled(10s).count())));

    const auto requests = arduino.Requests();
    const int probes = ProbesIn(requests);
    EXPECT_GE(probes, 3) << "probed again, after pauses";
    EXPECT_LE(probes, 8) << requests.size() << " requests";
    if (!modemName.empty()) {
        EXPECT_TRUE(modem.Requests().empty())
            << "a device that is no candidate is never probed: " << modem.Path() << " as "
            << modemName.string();
    } else {
        std::cout << "[ note ] /dev is not writable here: the device that is no candidate was "
                     "not tried\n";
    }
}

} // namespace
} // namespace tallybird::test
