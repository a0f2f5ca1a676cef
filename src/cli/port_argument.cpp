#include "cli/port_argument.h"

#include "link/port_directory.h"
#include "model/settings.h"
#include "platform/settings_store.h"
#include "runtime/session_notice.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <unistd.h>

namespace tallybird::cli {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<Device> ResolvePort(const std::string& word, std::ostream& err) {
    SettingsStore store(SettingsStore::DefaultFile(), SettingsStore::AdministratorDefaultFiles());
    const Settings settings(store);
    const PortDirectory directory = PortDirectory::FromSettings(settings);
    if (AllDigits(word)) {
        const long number = word.size() > 3 ? 0 : std::strtol(word.c_str(), nullptr, 10);
        if (number < kFirstPort || number > kLastPort) {
            err << "tallybird-cli: port number must be 1..255: " << word << '\n';
            return std::nullopt;
        }
        const int port = static_cast<int>(number);
        return Device{directory.Path(port), directory.Description(port), port};
    }
    if (word.empty()) {
        err << "tallybird-cli: empty port\n";
        return std::nullopt;
    }
    return Device{word, directory.DescriptionOfPath(word), directory.NumberOf(word).value_or(0)};
}

void ReportIfRefused(const std::filesystem::path& device, std::ostream& err) {
    std::error_code ec;
    if (std::filesystem::exists(device, ec) && ::access(device.c_str(), R_OK | W_OK) != 0 &&
        errno == EACCES) {
        err << "tallybird-cli: " << PermissionRemedyText(device.string()) << '\n';
    }
}

} // namespace tallybird::cli
