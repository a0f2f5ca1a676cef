#pragma once

#include "link/port_directory.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "model/organisation_table.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/clock.h"
#include "platform/file_watch.h"
#include "runtime/detection.h"
#include "runtime/keyboard_wedge.h"
#include "runtime/window_surface.h"
#include "web/http_client.h"
#include "web/service_client.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QObject;

namespace tallybird {

// Detection passes and the sessions they start, for the desktop program (on
// its worker thread, reaching the window through the queued window) and for
// `tallybird-cli watch` (on its main thread). It owns the serial ports (probe
// and session), the HTTP client and the organisation table.
class DetectionRunner final : public DetectionEnvironment {
public:
    DetectionRunner(SharedState& state, Settings& settings, WindowSurface& window);
    ~DetectionRunner() override;

    // One detection pass, with the session of a newly found scanner.
    void RunPass();
    // One tick of the keyboard wedge, on the passes' thread; nothing unless a
    // session left its scanner in keyboard mode.
    void WedgeTick();

    PortStatus PortStatusOf(int port) override;
    bool PortPresent(int port) override;
    bool PermissionDenied(int port) override;
    void ReportPermissionDenied(int port) override;
    std::string Probe(int port) override;
    double ServiceCheck() override;
    void RunSession(int port) override;
    void ShowCaption(const std::string& caption) override;
    void ScannerConnected(int port) override;
    void ScannerGone(int port) override;
    bool WedgeRunning() override;

private:
    PortDirectory& Directory();

    SharedState& state_;
    Settings& settings_;
    WindowSurface& window_;
    SteadyClock clock_;
    CurlHttpClient http_;
    ServiceClient service_;
    OrganisationTable organisations_;
    Detector detector_;

    // The port directory is rebuilt only when section [Ports] changes, and
    // the system's port list is read again only for a pass that probes: an
    // idle pass costs one existence check per port.
    std::optional<PortDirectory> directory_;
    std::map<int, std::filesystem::path> mapped_;
    bool systemListFresh_ = false;
    // Section [Ports] is read again only when the settings file changed.
    FileWatch settingsWatch_;
    // The serial device names in /dev, listed again only when /dev changed:
    // a numbered port whose device is not among them is absent without a
    // look-up of its own.
    FileWatch deviceFolderWatch_;
    std::set<std::string> devices_;
    // The last caption a pass showed; an idle pass shows the same one every
    // second, and the window needs to hear it only once.
    std::string lastCaption_;
    // Why each port's last status check found it busy.
    std::map<int, OpenFailure> refusals_;

    // Created on the worker at first use; the session's transport keeps its
    // reply buffer for the whole run.
    std::unique_ptr<QtSerialPort> probePort_;
    std::unique_ptr<QtSerialPort> sessionPort_;
    std::unique_ptr<Transport> transport_;
    // The keyboard wedge and its own port, from the first keyboard-mode end.
    std::unique_ptr<QtSerialPort> wedgePort_;
    std::unique_ptr<KeyboardWedge> wedge_;
};

// The worker thread that runs detection passes, one at a time.
class DetectionThread {
public:
    explicit DetectionThread(DetectionRunner& detection);
    ~DetectionThread();
    DetectionThread(const DetectionThread&) = delete;
    DetectionThread& operator=(const DetectionThread&) = delete;

    // Starts a pass on the worker; false (nothing started) while the last
    // one, or the session it started, is still running.
    bool StartPass();
    bool Busy() const { return busy_; }
    // Hands a keyboard-wedge tick to the worker, after any pass before it.
    void WedgeTick();

    // Ends the worker once its current pass is over; false when it is still
    // busy after `wait` (the thread is then left running).
    bool Stop(std::chrono::milliseconds wait);

private:
    DetectionRunner& detection_;
    QThread thread_;
    QObject* context_; // lives on the worker; deleted when the thread ends
    std::atomic<bool> busy_{false};
    bool stopped_ = false;
};

} // namespace tallybird
