#include "cli/session_commands.h"

#include "cli/cli_observer.h"
#include "cli/port_argument.h"
#include "cli/program.h"
#include "platform/single_instance.h"
#include "runtime/detection_runner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <ostream>
#include <thread>

namespace tallybird::cli {
namespace {

int ExitCodeOf(SessionEnd end) {
    switch (end) {
    case SessionEnd::Failure:
        return 1;
    case SessionEnd::SoftwareError:
        return 2;
    case SessionEnd::Orderly:
    case SessionEnd::NotRun:
        break;
    }
    return 0;
}

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) {
    stopRequested = true;
}

} // namespace

int RunSync(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const bool testMode = line.Has("test-mode");
    const bool reset = line.Has("reset");
    const std::optional<std::string> saveFile = line.Value("save");
    const auto device = ResolvePort(line.positional.at(0), err);
    if (!device) {
        return kUsageError;
    }
    ReportIfRefused(device->path, err);

    Program program;
    if (testMode) {
        program.state.testMode = true;
        program.state.showProgress = true;
    }
    if (reset) {
        RequestReset(program.state, program.settings, ResetKind::DiscardsScans);
    }
    CliObserver observer(out, err, program.exportText, program.settings.Keyboard());
    const SessionEnd end = program.Session(device->path, device->number, observer);
    if (saveFile) {
        SaveExportText(*saveFile, program.exportText.Text()); // silent, as File > Save
    }
    return ExitCodeOf(end);
}

int RunWatch(const CommandLine&, std::ostream& out, std::ostream& err) {
    // One program runs sessions for this account: never two watches, nor a
    // watch beside the desktop program.
    SingleInstance instance(SingleInstance::DefaultLockFile());
    if (!instance.Acquire()) {
        err << "tallybird-cli: " << instance.HolderText()
            << " already synchronises scanners for this account; watch does not start\n";
        return 1;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    Program program;
    CliObserver observer(out, err, program.exportText, program.settings.Keyboard());
    DetectionRunner detection(program.state, program.settings, observer);
    while (!stopRequested) {
        const auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        detection.RunPass();
        // The keyboard wedge ticks twice between passes.
        auto wedgeTick = std::chrono::steady_clock::now();
        while (!stopRequested && std::chrono::steady_clock::now() < next) {
            if (std::chrono::steady_clock::now() >= wedgeTick) {
                detection.WedgeTick();
                wedgeTick += KeyboardWedge::kTick;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return 0;
}

} // namespace tallybird::cli
