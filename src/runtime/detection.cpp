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

void Detector::Pass(DetectionEnvironment& env) {
    auto& ports = state_.portState;
    auto cell = [&](int port) -> std::int16_t& {
        return ports[static_cast<std::size_t>(std::clamp(port, 0, 255))];
    };
    const PortRange portRange = PortRangeOf(settings_);
    std::vector<int> range;
    for (int port = portRange.first; port <= portRange.last; ++port) {
        range.push_back(port);
    }
    bool serviceUp = true;

    for (const int port : range) {
        switch (env.PortStatusOf(port)) {
        case PortStatus::kAvailable:
            if (cell(port) == kPortUnknown && env.Probe(port).find("Kivo") != std::string::npos) {
                env.ShowCaption("Progress: Scanner connected");
                cell(port) = kPortFound;
                env.ScannerConnected(port);
            }
            break;
        case PortStatus::kBusy:
            cell(port) = kPortBusy;
            break;
        case PortStatus::kAbsent:
            if (cell(port) == kPortBusy || cell(port) == kPortHandled) {
                cell(port) = kPortUnknown;
                env.ScannerGone(port);
            }
            break;
        }
    }

    for (const int port : range) {
        if (cell(port) != kPortFound) {
            continue;
        }
        serviceUp = env.ServiceCheck() != 0;
        if (serviceUp) {
            env.RunSession(port);
        }
        cell(port) = kPortHandled;
    }

    if (env.WedgeRunning()) {
        env.ShowCaption("Progress: Keyboard Wedge Mode");
    } else if (std::none_of(ports.begin(), ports.end(),
                            [](std::int16_t s) { return s == kPortHandled; })) {
        env.ShowCaption("Progress: No scanner attached");
    } else if (!serviceUp) {
        env.ShowCaption("Progress: No internet");
    }
}

} // namespace tallybird
