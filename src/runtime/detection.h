#pragma once

#include "link/port_directory.h"
#include "model/settings.h"
#include "platform/clock.h"

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

    // Opens a candidate to find out; a port that is no candidate is never
    // opened.
    virtual PortStatus PortStatusOf(int port) = 0;
    // Whether the port's device is there, without opening it.
    virtual bool PortPresent(int port) { return PortStatusOf(port) != PortStatus::kAbsent; }
    // After PortStatusOf said busy: whether the user lacks permission to open
    // the port (rather than another program holding it).
    virtual bool PermissionDenied(int /*port*/) { return false; }
    // Tells the user, once per attachment, that a candidate port was refused
    // for lack of permission, and how to fix it.
    virtual void ReportPermissionDenied(int /*port*/) {}
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
// A port whose probe found no scanner is left alone for a while, longer each
// time (1, 2, 4, 8, 16, 32 s, then every 60 s), until it goes away: other
// devices get a few probes, not one a second.
class Detector {
public:
    Detector(const Settings& settings, const Clock& clock) : settings_(settings), clock_(clock) {}

    // One pass; false (and nothing done) while another pass is running.
    bool RunPass(DetectionEnvironment& env);

    // The state a pass left for `port` (numbers outside 0..255 share the
    // nearest end's state). Read it between passes, on the passes' thread.
    PortState StateOf(int port) const { return ports_[CellOf(port)]; }

private:
    // The waiting of a port whose probes found no scanner.
    struct Backoff {
        int misses = 0;
        Clock::TimePoint nextProbe{};
    };

    static std::size_t CellOf(int port);
    void Pass(DetectionEnvironment& env);
    // False while a port that gave no scanner waits for its next probe.
    bool ProbeDue(int port) const;
    void NoteMiss(int port);
    // The port went away: its next attachment starts afresh.
    void Forget(int port);

    const Settings& settings_;
    const Clock& clock_;
    std::array<PortState, 256> ports_{};
    std::array<Backoff, 256> backoff_{};
    std::array<bool, 256> refusalReported_{};
    std::atomic<bool> running_{false};
};

} // namespace tallybird
