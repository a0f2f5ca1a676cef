#include "cli/link_commands.h"

#include "cli/port_argument.h"
#include "cli/program.h"

#include "link/commands.h"
#include "link/port_directory.h"
#include "link/probe.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "link/transport_link.h"
#include "model/settings.h"
#include "platform/clock.h"
#include "platform/settings_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <ostream>

namespace tallybird::cli {

namespace {

std::optional<std::uint8_t> ParseByte(const std::string& word) {
    if (!AllDigits(word) || word.size() > 3) {
        return std::nullopt;
    }
    const long value = std::strtol(word.c_str(), nullptr, 10);
    if (value > 255) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

const char* ReasonText(FailReason reason) {
    switch (reason) {
    case FailReason::kNone:
        return "complete";
    case FailReason::kTimeLimit:
        return "no complete reply within the time limit";
    case FailReason::kOverflow:
        return "the reply outgrew the reply buffer";
    case FailReason::kPortError:
        return "the port failed";
    }
    return "";
}

} // namespace

int RunPorts(const CommandLine&, std::ostream& out, std::ostream&) {
    SettingsStore store(SettingsStore::DefaultFile(), SettingsStore::AdministratorDefaultFiles());
    const Settings settings(store);
    const PortDirectory directory = PortDirectory::FromSettings(settings);
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const PortCheck check = directory.Check(port);
        std::string description = directory.Description(port);
        if (check.failure.kind == OpenError::kPermission) {
            description += description.empty() ? "permission denied" : ", permission denied";
        }
        out << port << '\t' << static_cast<int>(check.status) << '\t'
            << directory.Path(port).string() << '\t' << description << '\n';
    }
    return 0;
}

int RunSend(const CommandLine& line, std::ostream& out, std::ostream& err) {
    constexpr const char* kUsage =
        "tallybird-cli: usage: send PORT CODE [BYTE...]  (BYTE: 0..255)\n";
    const std::vector<std::string>& args = line.positional;
    if (args.size() < 2 || args[1].empty()) {
        err << kUsage;
        return kUsageError;
    }
    Bytes arguments;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const auto byte = ParseByte(args[i]);
        if (!byte) {
            err << "tallybird-cli: not a byte 0..255: " << args[i] << '\n' << kUsage;
            return kUsageError;
        }
        arguments.push_back(*byte);
    }
    const auto device = ResolvePort(args[0], err);
    if (!device) {
        return kUsageError;
    }
    ReportIfRefused(device->path, err);
    QtSerialPort port;
    const SteadyClock clock;
    Transport transport(port, clock);
    TransportLink link(transport, device->path);
    if (!link.Open()) {
        err << "tallybird-cli: cannot open " << link.OpenFailureText() << '\n';
        out << '\n';
        return 1;
    }
    const bool sent = SendCode(link, args[1], arguments);
    link.Close();
    const ByteView reply = link.Reply();
    for (std::size_t i = 0; i < reply.size(); ++i) {
        out << (i == 0 ? "" : " ") << static_cast<int>(reply[i]);
    }
    out << '\n';
    if (!sent) {
        err << "tallybird-cli: " << args[1] << " failed: " << ReasonText(link.LastResult().reason)
            << '\n';
        return 1;
    }
    return 0;
}

int RunProbe(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const auto device = ResolvePort(line.positional.at(0), err);
    if (!device) {
        return kUsageError;
    }
    ReportIfRefused(device->path, err);
    QtSerialPort port;
    const SteadyClock clock;
    const std::string reply = ProbePort(port, device->path, device->description, clock);
    out << reply << '\n';
    return IsKivoReply(reply) ? 0 : 1;
}

} // namespace tallybird::cli
