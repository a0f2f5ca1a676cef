#include "fake_serial_port.h"
#include "link/port_directory.h"
#include "link/probe.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird::test {
namespace {

using std::chrono::seconds;

constexpr const char* kUsb = "USB Serial Port (/tmp/x)";

TEST(Probe, PortWithoutUsbDescriptionIsNeverOpened) {
    FakeClock clock;
    FakeSerialPort port(clock);
    EXPECT_EQ(ProbePort(port, "/dev/ttyS0", "Serial port", clock), "");
    EXPECT_EQ(port.opens, 0);
}

TEST(Probe, KivoAnswer) {
    FakeClock clock;
    FakeSerialPort port(clock);
    port.responder = [](const Bytes&) { return std::vector<Bytes>{Text("Ki"), Text("voS")}; };
    const std::string reply = ProbePort(port, "/tmp/x", kUsb, clock);
    EXPECT_EQ(reply, "KivoS");
    EXPECT_TRUE(IsKivoReply(reply));
    EXPECT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], Text("PA\r"));
    EXPECT_FALSE(port.IsOpen());
}

TEST(Probe, EmptyFirstReplyIsNotRetried) {
    FakeClock clock;
    FakeSerialPort port(clock);
    EXPECT_EQ(ProbePort(port, "/tmp/x", kUsb, clock), "");
    EXPECT_EQ(port.written.size(), 1u);
    EXPECT_EQ(clock.Elapsed(), seconds(1));
    EXPECT_FALSE(port.IsOpen());
}

TEST(Probe, ReplyWithoutKivoIsRetriedOnceWithTwoSeconds) {
    FakeClock clock;
    FakeSerialPort port(clock);
    port.responder = [](const Bytes&) { return std::vector<Bytes>{Text("ab")}; };
    EXPECT_EQ(ProbePort(port, "/tmp/x", kUsb, clock), "ab");
    EXPECT_EQ(port.written.size(), 2u);
    EXPECT_EQ(clock.Elapsed(), seconds(3));
}

TEST(Probe, PortThatWillNotOpen) {
    FakeClock clock;
    FakeSerialPort port(clock);
    port.canOpen = false;
    EXPECT_EQ(ProbePort(port, "/tmp/x", kUsb, clock), "");
    EXPECT_TRUE(port.written.empty());
}

TEST(PortDirectory, DefaultPaths) {
    EXPECT_EQ(DefaultDevicePath(1), "/dev/ttyUSB0");
    EXPECT_EQ(DefaultDevicePath(128), "/dev/ttyUSB127");
    EXPECT_EQ(DefaultDevicePath(129), "/dev/ttyACM0");
    EXPECT_EQ(DefaultDevicePath(255), "/dev/ttyACM126");
    EXPECT_EQ(DefaultDevicePath(0), "");
    EXPECT_EQ(DefaultDevicePath(256), "");
}

TEST(PortDirectory, MappedPortsComeFirstAndAreUsbSerialPorts) {
    const PortDirectory directory({{7, "/tmp/kivo0"}});
    EXPECT_EQ(directory.Path(7), "/tmp/kivo0");
    EXPECT_EQ(directory.Path(8), "/dev/ttyUSB7");
    EXPECT_EQ(directory.Description(7), "USB Serial Port (/tmp/kivo0)");
    EXPECT_EQ(directory.NumberOf("/tmp/kivo0"), 7);
    EXPECT_EQ(directory.DescriptionOfPath("/tmp/elsewhere"), "USB Serial Port (/tmp/elsewhere)");
}

TEST(PortDirectory, Status) {
    TempDir dir;
    WriteTextFile(dir / "plain", "not a terminal");
    EXPECT_EQ(StatusOfDevice(dir / "absent"), PortStatus::kAbsent);
    EXPECT_EQ(StatusOfDevice(dir / "plain"), PortStatus::kBusy);
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_EQ(StatusOfDevice(dir / "dangling"), PortStatus::kAbsent);
}

TEST(PortDirectory, OnlyCandidatesAreOpenedForTheirStatus) {
    TempDir dir;
    WriteTextFile(dir / "plain", "not a terminal");
    EXPECT_EQ(CheckDevice(dir / "plain", false).status, PortStatus::kAvailable)
        << "present is all that is known of a port that is not opened";
    const PortCheck opened = CheckDevice(dir / "plain", true);
    EXPECT_EQ(opened.status, PortStatus::kBusy);
    EXPECT_EQ(opened.failure.kind, OpenError::kOther);
    EXPECT_TRUE(opened.failure.text.starts_with((dir / "plain").string() + ": "))
        << opened.failure.text;
}

TEST(PortDirectory, TheKernelDriverComesFromTheDeviceTree) {
    // A copy of the kernel's layout: class/tty/<name>/device/driver links to
    // the driver's folder.
    TempDir sys;
    const auto driverOf = [&](const std::string& name, const std::string& driver) {
        std::filesystem::create_directories(sys / "bus" / driver);
        std::filesystem::create_directories(sys / "class" / "tty" / name / "device");
        std::filesystem::create_directory_symlink(
            sys / "bus" / driver, sys / "class" / "tty" / name / "device" / "driver");
    };
    driverOf("ttyUSB0", "ftdi_sio");
    driverOf("ttyACM0", "cdc_acm");
    std::filesystem::create_directories(sys / "class" / "tty" / "ttyS0" / "device");
    EXPECT_EQ(KernelDriverOf("/dev/ttyUSB0", sys.Path()), kScannerDriver);
    EXPECT_EQ(KernelDriverOf("/dev/ttyACM0", sys.Path()), "cdc_acm");
    EXPECT_EQ(KernelDriverOf("/dev/ttyS0", sys.Path()), "");
    EXPECT_EQ(KernelDriverOf("/dev/ttyUSB9", sys.Path()), "");
}

TEST(PortDirectory, RangeFromSettingComm) {
    EXPECT_EQ(PortRangeOf(0).first, 1);
    EXPECT_EQ(PortRangeOf(0).last, 255);
    EXPECT_EQ(PortRangeOf(-3).last, 255);
    EXPECT_EQ(PortRangeOf(5).first, 5);
    EXPECT_EQ(PortRangeOf(5).last, 5);
    EXPECT_GT(PortRangeOf(300).first, PortRangeOf(300).last);
}

} // namespace
} // namespace tallybird::test
