#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace tallybird {

class Settings;

// The answers of the port-status query.
enum class PortStatus : int {
    kAvailable = 0, // present and can be opened
    kBusy = 1,      // present, but locked, in use or cannot be opened
    kAbsent = 2,    // the device path does not exist
};

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

// 2 when the path does not exist (a dangling link included), 1 when it exists
// but cannot be opened as a serial port (locked, busy, not a terminal), 0
// otherwise. Opens and closes the device to find out.
PortStatus StatusOfDevice(const std::filesystem::path& device);

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
    // "USB Serial Port (<path>)" for a device on a USB bus (vendor id known)
    // and for every port mapped in [Ports]; the system's text otherwise
    // (empty when the system knows no such port).
    std::string Description(int port) const;
    // The description of a device path given directly (tallybird-cli PORT):
    // a path the directory numbers is described as that port; any other
    // path was named on purpose and counts like a mapped one.
    std::string DescriptionOfPath(const std::filesystem::path& device) const;
    PortStatus Status(int port) const;
    // The number under which the directory lists a device path.
    std::optional<int> NumberOf(const std::filesystem::path& device) const;

private:
    struct SystemPort {
        std::string description;
        bool usb = false;
    };
    std::string SystemDescription(const std::filesystem::path& device, bool mapped) const;

    std::map<int, std::filesystem::path> mapped_;
    std::map<std::string, SystemPort> system_; // by device path
};

} // namespace tallybird
