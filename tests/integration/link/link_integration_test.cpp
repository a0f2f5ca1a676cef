// The scanner link against a real pseudo-terminal: the simulator as a child
// process, or a pty the test drives itself to control how bytes arrive.
#include "link/commands.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "link/transport_link.h"
#include "support/scanner_sim.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>

namespace tallybird::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

QStringList Args(std::initializer_list<const char*> words) {
    QStringList list;
    for (const char* w : words) {
        list << w;
    }
    return list;
}

// The transport on a device opened at once.
struct OpenLink {
    explicit OpenLink(const std::filesystem::path& device) {
        port.SetDevice(device);
        port.Open();
    }
    QtSerialPort port;
    const SteadyClock clock;
    Transport link{port, clock};
    // The command set's seam over that transport (the port is open already).
    TransportLink session{link, std::filesystem::path()};
};

TEST(LinkOverSimulator, IdentifyReadLogAndList) {
    TempDir dir;
    ScannerSim sim(dir.Path(),
                   Args({"--serial", "66051", "--version", "W12", "--time-stamp", "1500000000",
                         "--scan", "985000000000001", "--list-count", "1000"}));
    ASSERT_TRUE(sim.Linked());
    OpenLink open(sim.Link());
    ASSERT_TRUE(open.port.IsOpen());
    TransportLink& link = open.session;
    std::vector<std::string> captions;
    open.link.SetCaptionSink([&](const std::string& c) { captions.push_back(c); });

    EXPECT_EQ(ReadSerialNumber(link), 66051u);
    EXPECT_EQ(ReadVersion(link), "W12");
    EXPECT_TRUE(AcknowledgeVersion(link));
    EXPECT_EQ(ReadTimeStamp(link), 1500000000u);
    const auto scans = ReadScanLogRecords(link);
    ASSERT_TRUE(scans.has_value());
    EXPECT_EQ(Bytes(scans->begin(), scans->end()),
              (Bytes{1, 0, 0, 0, 0x40 | 0, 246, 255, 255, 255, 255, 255, 255}));
    const auto list = ReadListRecords(link);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->size(), 7006u);
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back(), "Progress: Uploading:- 7");
    EXPECT_TRUE(Sleep(link));
    open.port.Close();
    EXPECT_EQ(sim.WireLog(), "SN\nVR\nVY 02\nTN\nSC\nUP\nEF\n");
}

// A pty of the test's own: the test is the scanner and decides the chunks.
class OwnPty {
public:
    OwnPty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        slave_ = ptsname(master_);
    }
    ~OwnPty() { close(master_); }
    const std::string& Slave() const { return slave_; }
    // Reads until a CR arrived (the end of a command).
    Bytes ReadCommand() {
        Bytes command;
        std::uint8_t b = 0;
        pollfd fd{master_, POLLIN, 0};
        while (poll(&fd, 1, static_cast<int>(Scaled(milliseconds(5000)).count())) > 0 &&
               read(master_, &b, 1) == 1) {
            command.push_back(b);
            if (b == 13) {
                break;
            }
        }
        return command;
    }
    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

private:
    int master_ = -1;
    std::string slave_;
};

TEST(LinkOverPty, TerminatorSplitOverTwoChunksCompletes) {
    OwnPty pty;
    OpenLink open(pty.Slave());
    ASSERT_TRUE(open.port.IsOpen());
    Transport& link = open.link;
    // Bytes that come while no command is pending are dropped.
    pty.Send({'Z', 'Z', 255});
    std::this_thread::sleep_for(Scaled(milliseconds(50)));
    std::thread scanner([&] {
        EXPECT_EQ(pty.ReadCommand(), (Bytes{'S', 'C', 13}));
        pty.Send({1, 2, 3, 4, 5, 6, 255, 255, 255, 255});
        std::this_thread::sleep_for(Scaled(milliseconds(200)));
        pty.Send({255, 255});
    });
    const auto start = steady_clock::now();
    const CommandResult result = link.SendCommand("SC");
    scanner.join();
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(link.ReplyLength(), 12);
    EXPECT_EQ(link.Reply()[0], 1);
    EXPECT_LT(steady_clock::now() - start, seconds(2));
}

TEST(LinkOverPty, ThreeByteVersionReplyFails) {
    OwnPty pty;
    OpenLink open(pty.Slave());
    ASSERT_TRUE(open.port.IsOpen());
    Transport& link = open.link;
    std::thread scanner([&] {
        pty.ReadCommand();
        pty.Send({72, 1, 0});
    });
    const auto start = steady_clock::now();
    const CommandResult result = link.SendCommand("VR");
    scanner.join();
    EXPECT_TRUE(result.failed);
    EXPECT_GE(steady_clock::now() - start, milliseconds(1990));
}

TEST(LinkOverSimulator, ScannerVanishingMidReplyFailsAtOnce) {
    TempDir dir;
    // At the first command the simulator sends 1000 bytes, then unplugs.
    ScannerSim sim(dir.Path(), Args({"--list-count", "20000", "--drop-after", "1:1000"}));
    ASSERT_TRUE(sim.Linked());
    OpenLink open(sim.Link());
    ASSERT_TRUE(open.port.IsOpen());
    Transport& link = open.link;
    const auto start = steady_clock::now();
    const CommandResult result = link.SendCommand("UP");
    EXPECT_TRUE(result.failed);
    EXPECT_LT(steady_clock::now() - start, Scaled(seconds(5)));
    EXPECT_FALSE(open.port.IsOpen()); // released
    EXPECT_FALSE(sim.Linked());
    EXPECT_TRUE(link.SendCommand("SN").failed);
}

TEST(LinkOverSimulator, GarbageAndSilence) {
    TempDir dir;
    ScannerSim sim(dir.Path(), Args({"--garbage", "SN", "--extra", "TN", "--stop-after", "3"}));
    ASSERT_TRUE(sim.Linked());
    OpenLink open(sim.Link());
    ASSERT_TRUE(open.port.IsOpen());
    TransportLink& link = open.session;
    const auto serial = ReadSerialNumber(link); // garbage of the right length is taken
    EXPECT_TRUE(serial.has_value());
    EXPECT_NE(serial, 66051u);
    EXPECT_TRUE(ReadTimeStamp(link).Failed()); // too long
    EXPECT_TRUE(ClearScanCount(link));
    EXPECT_FALSE(ClearScanCount(link)); // the scanner stopped answering
}

// Faults set over the control channel while the link is open (what the soak
// does between sessions): each counts from the next command, and "fault
// none" ends them all.
TEST(LinkOverSimulator, FaultsSetWhileRunningCountFromTheNextCommand) {
    TempDir dir;
    ScannerSim sim(dir.Path(), {});
    ASSERT_TRUE(sim.Linked());
    OpenLink open(sim.Link());
    ASSERT_TRUE(open.port.IsOpen());
    TransportLink& link = open.session;
    EXPECT_EQ(ReadSerialNumber(link), 66051u);
    EXPECT_EQ(sim.Control("fault silent SN"), "ok");
    EXPECT_EQ(sim.Control("fault extra TN"), "ok");
    EXPECT_EQ(sim.Control("fault bogus SN"), "error bad fault");
    EXPECT_EQ(sim.Control("fault silent SNX"), "error bad fault");
    EXPECT_FALSE(ReadSerialNumber(link).has_value()); // silent
    EXPECT_TRUE(ReadTimeStamp(link).Failed());        // three bytes too many
    EXPECT_TRUE(ClearScanCount(link));                // other commands as before
    EXPECT_EQ(sim.Control("fault none"), "ok");
    EXPECT_EQ(ReadSerialNumber(link), 66051u);
    EXPECT_FALSE(ReadTimeStamp(link).Failed());

    EXPECT_EQ(sim.Control("fault drop-after 2:1"), "ok"); // the second command from now
    EXPECT_TRUE(ClearScanCount(link));
    EXPECT_FALSE(ReadSerialNumber(link).has_value());
    EXPECT_FALSE(sim.Linked());
    EXPECT_EQ(sim.Control("replug"), "ok");
    EXPECT_TRUE(sim.Linked());
}

TEST(LinkOverSimulator, AOneLetterCommandIsIgnoredAndTheNextIsAnswered) {
    TempDir dir;
    ScannerSim sim(dir.Path(), Args({"--serial", "66051"}));
    ASSERT_TRUE(sim.Linked());
    OpenLink open(sim.Link());
    ASSERT_TRUE(open.port.IsOpen());
    ASSERT_TRUE(open.port.Write(Bytes{'X', 13}));
    EXPECT_EQ(ReadSerialNumber(open.session), 66051u);
    EXPECT_EQ(sim.Control("status"), "ok plugged=1 keyboard=0 commands=1");
    EXPECT_EQ(sim.WireLog(), "X\nSN\n");
}

class CliAgainstSimulator : public ::testing::Test {
protected:
    void Configure(const std::filesystem::path& link) {
        std::filesystem::create_directories(dir / "config" / "Tallybird");
        WriteTextFile(dir / "config" / "Tallybird" / "Tallybird.ini",
                      "[Ports]\n7=" + link.string() + "\n");
    }
    TempDir dir;
};

TEST_F(CliAgainstSimulator, PortsSendProbe) {
    ScannerSim sim(dir.Path(), Args({"--serial", "66051"}));
    ASSERT_TRUE(sim.Linked());
    Configure(sim.Link());
    const auto config = dir / "config";

    const ProcessResult ports = RunCli(config, {"ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_NE(ports.out.find("7\t0\t" + sim.Link().string() + "\tUSB Serial Port (" +
                             sim.Link().string() + ")\n"),
              std::string::npos)
        << ports.out;
    EXPECT_NE(ports.out.find("\n8\t2\t/dev/ttyUSB7\t"), std::string::npos);

    ProcessResult r = RunCli(config, {"send", "7", "SN"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1 2 3\n");

    r = RunCli(config, {"send", QString::fromStdString(sim.Link().string()), "WR", "0", "0", "13",
                        "13", "13", "13", "13", "13", "13", "13"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "90\n");
    r = RunCli(config, {"send", "7", "RD", "0", "0", "13"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, 28), "13 13 13 13 13 13 13 255 255");

    r = RunCli(config, {"send", "7", "VR", "1"}); // no rule: fails after 2 s
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "\n");

    r = RunCli(config, {"probe", "7"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "KivoS\n");

    EXPECT_EQ(sim.WireLog(), "SN\nWR 00 00 0D 0D 0D 0D 0D 0D 0D 0D\nRD 00 00 0D\nVR 01\nPA\n");

    EXPECT_EQ(RunCli(config, {"send", "7", "WR", "300"}).exitCode, 64);
    EXPECT_EQ(RunCli(config, {"send", "7"}).exitCode, 64);
    EXPECT_EQ(RunCli(config, {"send", "0", "SN"}).exitCode, 64);
    EXPECT_EQ(RunCli(config, {"probe"}).exitCode, 64);
}

TEST_F(CliAgainstSimulator, ProbeOfSomethingElse) {
    ScannerSim sim(dir.Path(), Args({"--pa-reply", "Hello"}));
    ASSERT_TRUE(sim.Linked());
    Configure(sim.Link());
    const ProcessResult r = RunCli(dir / "config", {"probe", "7"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Hello\n");
    EXPECT_EQ(sim.WireLog(), "PA\nPA\n"); // a reply without "Kivo" is asked again once
    // A port that is absent gives an empty reply.
    const ProcessResult absent = RunCli(dir / "config", {"probe", (dir / "nothing").c_str()});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.out, "\n");
}

} // namespace
} // namespace tallybird::test
