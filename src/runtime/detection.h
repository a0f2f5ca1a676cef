#pragma once

#include "link/port_directory.h"
#include "model/settings.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tallybird {

// Detection's state of one port.
enum class PortState : std::uint8_t {
    kUnknown, // probed when available
    kBusy,    // present but busy
    kHandled, // its scanner had its session; not probed until it goes
    kFound,   // a scanner answered in this pass; its session is due
};

// What a detection pass needs of the ports, the service and the window.
class DetectionEnvironment {
public:
    DetectionEnvironment() = default;
    virtual ~DetectionEnvironment() = default;
    DetectionEnvironment(const DetectionEnvironment&) = delete;
    DetectionEnvironment& operator=(const DetectionEnvironment&) = delete;

    virtual PortStatus PortStatusOf(int port) = 0;
    // The probe's reply text ("PA"); empty when the port is no candidate.
    virtual std::string Probe(int port) = 0;
    // The service clock's numeric value; 0 when the service is not reachable.
    virtual double ServiceCheck() = 0;
    virtual void RunSession(int port) = 0;

    virtual void ShowCaption(const std::string& caption) = 0;
    // Window and tray to connected (and shown) / offline (and hidden; the
    // keyboard wedge stops).
    virtual void ScannerConnected(int port) = 0;
    virtual void ScannerGone(int port) = 0;
    virtual bool WedgeRunning() = 0;
};

// Runs detection passes, never two at once. It keeps the state of every
// port from pass to pass for as long as it lives, every port unknown at first.
class Detector {
public:
    explicit Detector(const Settings& settings) : settings_(settings) {}

    // One pass; false (and nothing done) while another pass is running.
    bool RunPass(DetectionEnvironment& env);

    // The state a pass left for `port` (numbers outside 0..255 share the
    // nearest end's state). Read it between passes, on the passes' thread.
    PortState StateOf(int port) const { return ports_[CellOf(port)]; }

private:
    static std::size_t CellOf(int port);
    void Pass(DetectionEnvironment& env);

    const Settings& settings_;
    std::array<PortState, 256> ports_{};
    std::atomic<bool> running_{false};
};

} // namespace tallybird
