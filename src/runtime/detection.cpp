#include "runtime/detection.h"

#include <algorithm>

namespace tallybird {

namespace {

// The waits after the first misses; after them every 60 seconds.
constexpr std::array<std::chrono::seconds, 6> kBackoffSteps{
    std::chrono::seconds(1), std::chrono::seconds(2),  std::chrono::seconds(4),
    std::chrono::seconds(8), std::chrono::seconds(16), std::chrono::seconds(32)};
constexpr std::chrono::seconds kLongestBackoff{60};

} // namespace

bool Detector::RunPass(DetectionEnvironment& env) {
    bool expected = false;
    if (!running_.compare_exchange_strong(expected, true)) {
        return false;
    }
    Pass(env);
    running_ = false;
    return true;
}

std::size_t Detector::CellOf(int port) {
    return static_cast<std::size_t>(std::clamp(port, 0, 255));
}

bool Detector::ProbeDue(int port) const {
    const Backoff& waiting = backoff_[CellOf(port)];
    return waiting.misses == 0 || clock_.Now() >= waiting.nextProbe;
}

void Detector::NoteMiss(int port) {
    Backoff& waiting = backoff_[CellOf(port)];
    const auto step = static_cast<std::size_t>(waiting.misses);
    waiting.nextProbe =
        clock_.Now() + (step < kBackoffSteps.size() ? kBackoffSteps[step] : kLongestBackoff);
    ++waiting.misses;
}

void Detector::Forget(int port) {
    backoff_[CellOf(port)] = {};
    refusalReported_[CellOf(port)] = false;
}

void Detector::Pass(DetectionEnvironment& env) {
    auto cell = [this](int port) -> PortState& { return ports_[CellOf(port)]; };
    const PortRange portRange = PortRangeOf(settings_);
    std::vector<int> range;
    for (int port = portRange.first; port <= portRange.last; ++port) {
        range.push_back(port);
    }
    bool serviceUp = true;

    for (const int port : range) {
        if (cell(port) == PortState::kUnknown && !ProbeDue(port)) {
            // Waiting for its next probe: not even opened to ask its status.
            if (!env.PortPresent(port)) {
                Forget(port);
            }
            continue;
        }
        switch (env.PortStatusOf(port)) {
        case PortStatus::kAvailable:
            if (cell(port) != PortState::kUnknown) {
                break;
            }
            if (env.Probe(port).find("Kivo") != std::string::npos) {
                env.ShowCaption("Progress: Scanner connected");
                cell(port) = PortState::kFound;
                env.ScannerConnected(port);
            } else {
                NoteMiss(port);
            }
            break;
        case PortStatus::kBusy:
            if (!refusalReported_[CellOf(port)] && env.PermissionDenied(port)) {
                refusalReported_[CellOf(port)] = true;
                env.ReportPermissionDenied(port);
            }
            cell(port) = PortState::kBusy;
            break;
        case PortStatus::kAbsent:
            Forget(port);
            if (cell(port) == PortState::kBusy || cell(port) == PortState::kHandled) {
                cell(port) = PortState::kUnknown;
                env.ScannerGone(port);
            }
            break;
        }
    }

    for (const int port : range) {
        if (cell(port) != PortState::kFound) {
            continue;
        }
        serviceUp = env.ServiceCheck() != 0;
        if (serviceUp) {
            env.RunSession(port);
        }
        cell(port) = PortState::kHandled;
    }

    if (env.WedgeRunning()) {
        env.ShowCaption("Progress: Keyboard Wedge Mode");
    } else if (std::none_of(ports_.begin(), ports_.end(),
                            [](PortState s) { return s == PortState::kHandled; })) {
        env.ShowCaption("Progress: No scanner attached");
    } else if (!serviceUp) {
        env.ShowCaption("Progress: No internet");
    }
}

} // namespace tallybird
