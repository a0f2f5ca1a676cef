#pragma once

#include "link/port_directory.h"
#include "model/settings.h"
#include "model/shared_state.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tallybird {

// Detection's per-port states.
enum PortStateValue : std::int16_t {
    kPortUnknown = 0, // probed when available
    kPortBusy = 1,    // present but busy
    kPortHandled = 2, // its scanner had its session; not probed until it goes
    kPortFound = 3,   // a scanner answered in this pass; its session is due
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

// Runs detection passes, never two at once.
class Detector {
public:
    Detector(SharedState& state, const Settings& settings) : state_(state), settings_(settings) {}

    // One pass; false (and nothing done) while another pass is running.
    bool RunPass(DetectionEnvironment& env);

private:
    void Pass(DetectionEnvironment& env);

    SharedState& state_;
    const Settings& settings_;
    std::atomic<bool> running_{false};
};

} // namespace tallybird
