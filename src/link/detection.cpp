#include "link/detection.h"

#include <algorithm>

namespace tallybird {

std::vector<int> DetectionPortRange(int comm) {
    std::vector<int> ports;
    if (comm < 1) {
        for (int port = 1; port <= 255; ++port) {
            ports.push_back(port);
        }
    } else {
        ports.push_back(comm);
    }
    return ports;
}

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
    const std::vector<int> range = DetectionPortRange(settings_.Comm());
    bool serviceUp = true;

    for (const int port : range) {
        switch (env.PortStatusOf(port)) {
        case kPortAvailable:
            if (cell(port) == kPortUnknown && env.Probe(port).find("Kivo") != std::string::npos) {
                env.ShowCaption("Progress: Scanner connected");
                cell(port) = kPortFound;
                env.ScannerConnected(port);
            }
            break;
        case kPortInUse:
            cell(port) = kPortBusy;
            break;
        case kPortAbsent:
            if (cell(port) == kPortBusy || cell(port) == kPortHandled) {
                cell(port) = kPortUnknown;
                env.ScannerGone(port);
            }
            break;
        default:
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
