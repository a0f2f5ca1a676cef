#include "runtime/detection_runner.h"

#include "link/probe.h"
#include "runtime/session_wiring.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QObject>

#include <thread>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcDetection, "tallybird.link")

const std::filesystem::path kDeviceFolder = "/dev";

std::set<std::string> SerialDeviceNames() {
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(kDeviceFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) {
            names.insert(std::move(name));
        }
    }
    return names;
}

} // namespace

DetectionRunner::DetectionRunner(SharedState& state, Settings& settings, WindowSurface& window)
    : state_(state), settings_(settings), window_(window), service_(state.serverBaseUrl, http_),
      detector_(settings, clock_), settingsWatch_(settings.Store().File()),
      deviceFolderWatch_(kDeviceFolder) {}

DetectionRunner::~DetectionRunner() = default;

PortDirectory& DetectionRunner::Directory() {
    if (!directory_) {
        directory_.emplace(mapped_);
        systemListFresh_ = true;
    }
    return *directory_;
}

void DetectionRunner::RunPass() {
    if (settingsWatch_.Changed()) {
        auto mapped = settings_.PortMap();
        if (!directory_ || mapped != mapped_) {
            mapped_ = std::move(mapped);
            directory_.reset();
        }
    }
    if (deviceFolderWatch_.Changed()) {
        devices_ = SerialDeviceNames();
        // A device came or went: which ports are candidates may have changed.
        if (directory_) {
            directory_->Refresh();
        }
    }
    systemListFresh_ = false;
    Directory();
    detector_.RunPass(*this);
}

bool DetectionRunner::PortPresent(int port) {
    PortDirectory& directory = Directory();
    const std::filesystem::path device = directory.Path(port);
    if (!directory.IsMapped(port) && device.parent_path() == kDeviceFolder) {
        return devices_.contains(device.filename().string());
    }
    std::error_code ec;
    return !device.empty() && std::filesystem::exists(device, ec);
}

PortStatus DetectionRunner::PortStatusOf(int port) {
    PortDirectory& directory = Directory();
    if (!directory.IsMapped(port)) {
        const std::filesystem::path device = directory.Path(port);
        if (device.parent_path() == kDeviceFolder &&
            !devices_.contains(device.filename().string())) {
            return PortStatus::kAbsent;
        }
    }
    const PortCheck check = directory.Check(port);
    if (check.status == PortStatus::kBusy) {
        if (refusals_[port].text != check.failure.text) {
            qCInfo(lcDetection) << "port" << port
                                << "cannot be opened:" << check.failure.text.c_str();
        }
        refusals_[port] = check.failure;
    } else {
        refusals_.erase(port);
    }
    return check.status;
}

bool DetectionRunner::PermissionDenied(int port) {
    const auto found = refusals_.find(port);
    return found != refusals_.end() && found->second.kind == OpenError::kPermission;
}

void DetectionRunner::ReportPermissionDenied(int port) {
    const std::string device = Directory().Path(port).string();
    qCWarning(lcDetection) << "permission denied for the scanner's port" << device.c_str();
    window_.PortRefused(device);
}

std::string DetectionRunner::Probe(int port) {
    PortDirectory& directory = Directory();
    if (!systemListFresh_ && !directory.IsMapped(port)) {
        directory.Refresh();
        systemListFresh_ = true;
    }
    if (!probePort_) {
        probePort_ = std::make_unique<QtSerialPort>();
    }
    return ProbePort(*probePort_, directory.Path(port), directory.Description(port), clock_);
}

double DetectionRunner::ServiceCheck() {
    return service_.FetchServiceTime().value;
}

void DetectionRunner::RunSession(int port) {
    if (!transport_) {
        sessionPort_ = std::make_unique<QtSerialPort>();
        transport_ = std::make_unique<Transport>(*sessionPort_, clock_);
    }
    lastCaption_.clear(); // the session writes the status line now
    window_.SessionStarted();
    const SessionEnd end = RunSessionOnDevice(*transport_, Directory().Path(port),
                                              {.state = state_,
                                               .settings = settings_,
                                               .organisations = organisations_,
                                               .observer = window_,
                                               .service = service_,
                                               .portNumber = port});
    window_.SessionEnded(end);
    if (end == SessionEnd::Orderly && state_.wedgeActive) {
        if (!wedge_) {
            wedgePort_ = std::make_unique<QtSerialPort>();
            wedge_ = std::make_unique<KeyboardWedge>(KeyboardWedge::Parts{
                .port = *wedgePort_,
                .state = state_,
                .keyDelay = [this] { return settings_.WedgeKeyDelay(); },
                .openSender = [] { return OpenKeySender(DefaultPortalTokenFile()); },
                .pause = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); },
                .showCaption = [this](const std::string& caption) { ShowCaption(caption); },
                .keystrokesUnavailable =
                    [this](const std::string& why) { window_.KeystrokesUnavailable(why); }});
        }
        wedge_->Start(Directory().Path(port));
    }
}

void DetectionRunner::WedgeTick() {
    if (wedge_) {
        wedge_->Tick();
    }
}

void DetectionRunner::ShowCaption(const std::string& caption) {
    if (caption != lastCaption_) {
        lastCaption_ = caption;
        window_.ShowCaption(caption);
    }
}

void DetectionRunner::ScannerConnected(int) {
    window_.ScannerConnected();
}

void DetectionRunner::ScannerGone(int) {
    // The keyboard wedge's port went with the scanner.
    state_.wedgeActive = false;
    if (wedge_) {
        wedge_->Stop();
    }
    window_.ScannerGone();
}

bool DetectionRunner::WedgeRunning() {
    return window_.WedgeRunning() || (wedge_ && wedge_->Running());
}

DetectionThread::DetectionThread(DetectionRunner& detection)
    : detection_(detection), context_(new QObject) {
    thread_.setObjectName("tallybird-detection");
    context_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

DetectionThread::~DetectionThread() {
    Stop(std::chrono::milliseconds::max());
}

bool DetectionThread::StartPass() {
    bool expected = false;
    if (stopped_ || !busy_.compare_exchange_strong(expected, true)) {
        return false;
    }
    QMetaObject::invokeMethod(
        context_,
        [this] {
            detection_.RunPass();
            busy_ = false;
        },
        Qt::QueuedConnection);
    return true;
}

void DetectionThread::WedgeTick() {
    if (!stopped_) {
        QMetaObject::invokeMethod(
            context_, [this] { detection_.WedgeTick(); }, Qt::QueuedConnection);
    }
}

bool DetectionThread::Stop(std::chrono::milliseconds wait) {
    stopped_ = true;
    if (thread_.isFinished()) {
        return true;
    }
    thread_.quit();
    if (wait == std::chrono::milliseconds::max()) {
        return thread_.wait();
    }
    return thread_.wait(QDeadlineTimer(wait.count()));
}

} // namespace tallybird
