#include "link/port_directory.h"

#include "link/serial_port.h"
#include "model/settings.h"

#include <QSerialPortInfo>

#include <system_error>

namespace tallybird {

namespace {

constexpr int kLastUsbPort = 128; // /dev/ttyUSB0..127 are ports 1..128
constexpr int kFirstAcmPort = 129;

std::string UsbDescription(const std::filesystem::path& device) {
    return "USB Serial Port (" + device.string() + ")";
}

} // namespace

const char* PortStatusWord(PortStatus status) {
    switch (status) {
    case PortStatus::kAvailable:
        return "available";
    case PortStatus::kBusy:
        return "busy";
    case PortStatus::kAbsent:
        break;
    }
    return "absent";
}

PortRange PortRangeOf(int comm) {
    if (comm < kFirstPort) {
        return {kFirstPort, kLastPort};
    }
    if (comm > kLastPort) {
        return {kFirstPort, kFirstPort - 1};
    }
    return {comm, comm};
}

PortRange PortRangeOf(const Settings& settings) {
    return PortRangeOf(settings.Comm());
}

std::filesystem::path DefaultDevicePath(int port) {
    if (port < kFirstPort || port > kLastPort) {
        return {};
    }
    if (port <= kLastUsbPort) {
        return "/dev/ttyUSB" + std::to_string(port - 1);
    }
    return "/dev/ttyACM" + std::to_string(port - kFirstAcmPort);
}

PortCheck CheckDevice(const std::filesystem::path& device, bool candidate) {
    std::error_code ec;
    if (device.empty() || !std::filesystem::exists(device, ec)) {
        return {PortStatus::kAbsent, {}};
    }
    if (!candidate) {
        return {PortStatus::kAvailable, {}};
    }
    QtSerialPort port;
    port.SetDevice(device);
    if (!port.Open()) {
        return {PortStatus::kBusy, port.LastOpenFailure()};
    }
    port.Close();
    return {PortStatus::kAvailable, {}};
}

PortStatus StatusOfDevice(const std::filesystem::path& device) {
    return CheckDevice(device, true).status;
}

std::string KernelDriverOf(const std::filesystem::path& device,
                           const std::filesystem::path& systemRoot) {
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(device, ec);
    const std::string name = (ec ? device : canonical).filename().string();
    if (name.empty()) {
        return {};
    }
    const auto driver = std::filesystem::read_symlink(
        systemRoot / "class" / "tty" / name / "device" / "driver", ec);
    return ec ? std::string() : driver.filename().string();
}

PortDirectory::PortDirectory(std::map<int, std::filesystem::path> mapped)
    : mapped_(std::move(mapped)) {
    Refresh();
}

PortDirectory PortDirectory::FromSettings(const Settings& settings) {
    return PortDirectory(settings.PortMap());
}

void PortDirectory::Refresh() {
    system_.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string location = info.systemLocation().toStdString();
        system_[location] = {info.description().toStdString(),
                             KernelDriverOf(location) == kScannerDriver};
    }
}

std::filesystem::path PortDirectory::Path(int port) const {
    if (const auto found = mapped_.find(port); found != mapped_.end()) {
        return found->second;
    }
    return DefaultDevicePath(port);
}

const PortDirectory::SystemPort*
PortDirectory::SystemPortOf(const std::filesystem::path& device) const {
    auto found = system_.find(device.string());
    if (found == system_.end()) {
        std::error_code ec;
        const auto canonical = std::filesystem::canonical(device, ec);
        if (!ec) {
            found = system_.find(canonical.string());
        }
    }
    return found == system_.end() ? nullptr : &found->second;
}

std::string PortDirectory::SystemDescription(const std::filesystem::path& device,
                                             bool mapped) const {
    if (mapped) {
        return UsbDescription(device);
    }
    const SystemPort* system = SystemPortOf(device);
    if (system == nullptr) {
        return {};
    }
    return system->scannerDriver ? UsbDescription(device) : system->description;
}

bool PortDirectory::IsCandidate(int port) const {
    if (port < kFirstPort || port > kLastPort) {
        return false;
    }
    if (IsMapped(port)) {
        return true;
    }
    const SystemPort* system = SystemPortOf(Path(port));
    return system != nullptr && system->scannerDriver;
}

std::string PortDirectory::Description(int port) const {
    if (port < kFirstPort || port > kLastPort) {
        return {};
    }
    return SystemDescription(Path(port), IsMapped(port));
}

std::string PortDirectory::DescriptionOfPath(const std::filesystem::path& device) const {
    if (const auto number = NumberOf(device)) {
        return Description(*number);
    }
    return SystemDescription(device, true);
}

PortStatus PortDirectory::Status(int port) const {
    return Check(port).status;
}

PortCheck PortDirectory::Check(int port) const {
    return CheckDevice(Path(port), IsCandidate(port));
}

std::optional<int> PortDirectory::NumberOf(const std::filesystem::path& device) const {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (Path(port) == device) {
            return port;
        }
    }
    return std::nullopt;
}

} // namespace tallybird
