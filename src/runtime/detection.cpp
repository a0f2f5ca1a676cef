#include "runtime/detection.h"

#include <algorithm>

namespace tallybird {

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

void Detector::Pass(DetectionEnvironment& env) {
    auto cell = [this](int port) -> PortState& { return ports_[CellOf(port)]; };
    const PortRange portRange = PortRangeOf(settings_);
    std::vector<int> range;
    for (int port = portRange.first; port <= portRange.last; ++port) {
        range.push_back(port);
    }
    bool serviceUp = true;

    for (const int port : range) {
        switch (env.PortStatusOf(port)) {
        case PortStatus::kAvailable:
            if (cell(port) == PortState::kUnknown &&
                env.Probe(port).find("Kivo") != std::string::npos) {
                env.ShowCaption("Progress: Scanner connected");
                cell(port) = PortState::kFound;
                env.ScannerConnected(port);
            }
            break;
        case PortStatus::kBusy:
            cell(port) = PortState::kBusy;
            break;
        case PortStatus::kAbsent:
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
