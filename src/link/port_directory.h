#pragma once

#include "link/serial_port.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tallybird {

class Settings;

// The answers of the port-status query.
enum class PortStatus : int {
    kAvailable = 0, // present and can be opened
    kBusy = 1,      // present, but locked, in use or cannot be opened
    kAbsent = 2,    // the device path does not exist
};

// "available", "busy" or "absent".
const char* PortStatusWord(PortStatus status);

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 255;

// The ports one detection pass looks at, first..last inclusive;
// empty (first > last) for a setting beyond the last port.
struct PortRange {
    int first = kFirstPort;
    int last = kLastPort;
};
// Setting "comm" (its numeric value): below 1 means 1..255, otherwise only
// that port.
PortRange PortRangeOf(int comm);
PortRange PortRangeOf(const Settings& settings);

// /dev/ttyUSB<k> is port k+1 (1..128), /dev/ttyACM<k> is port k+129
// (129..255); empty outside 1..255.
std::filesystem::path DefaultDevicePath(int port);

// What a look at one port found: its status and, when a candidate would not
// open, why.
struct PortCheck {
    PortStatus status = PortStatus::kAbsent;
    OpenFailure failure;
};

// 2 when the path does not exist (a dangling link included); for a
// candidate, 1 when it exists but cannot be opened as a serial port (locked,
// busy, refused, not a terminal) and 0 otherwise, found by opening and
// closing it. A port that is no candidate is never opened: 0 when it exists.
PortCheck CheckDevice(const std::filesystem::path& device, bool candidate);
PortStatus StatusOfDevice(const std::filesystem::path& device);

// The kernel driver behind a serial device ("ftdi_sio", "cdc_acm"), read from
// the system's device tree under `systemRoot`; empty when it has none.
std::string KernelDriverOf(const std::filesystem::path& device,
                           const std::filesystem::path& systemRoot = "/sys");

// The driver of the scanner's USB serial chip.
inline constexpr std::string_view kScannerDriver = "ftdi_sio";

// The numbered ports 1..255. Section [Ports] of
// the settings maps a number to a device path first; the others follow the
// default names. Descriptions come from the system's port list (QSerialPortInfo),
// read when the directory is made and on Refresh().
class PortDirectory {
public:
    explicit PortDirectory(std::map<int, std::filesystem::path> mapped = {});
    static PortDirectory FromSettings(const Settings& settings);

    // Reads the system's list of serial ports again.
    void Refresh();

    // Device path of a port number; empty outside 1..255.
    std::filesystem::path Path(int port) const;
    bool IsMapped(int port) const { return mapped_.contains(port); }
    // Detection opens only candidates: a device whose driver is the
    // scanner's (ftdi_sio), and every port mapped in [Ports].
    bool IsCandidate(int port) const;
    // "USB Serial Port (<path>)" for a candidate; the system's text otherwise
    // (empty when the system knows no such port).
    std::string Description(int port) const;
    // The description of a device path given directly (tallybird-cli PORT):
    // a path the directory numbers is described as that port; any other
    // path was named on purpose and counts like a mapped one.
    std::string DescriptionOfPath(const std::filesystem::path& device) const;
    PortStatus Status(int port) const;
    PortCheck Check(int port) const;
    // The number under which the directory lists a device path.
    std::optional<int> NumberOf(const std::filesystem::path& device) const;

private:
    struct SystemPort {
        std::string description;
        bool scannerDriver = false;
    };
    const SystemPort* SystemPortOf(const std::filesystem::path& device) const;
    std::string SystemDescription(const std::filesystem::path& device, bool mapped) const;

    std::map<int, std::filesystem::path> mapped_;
    std::map<std::string, SystemPort> system_; // by device path
};

} // namespace tallybird
