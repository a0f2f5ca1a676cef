#pragma once

#include "web/http_client.h"
#include "web/service_client.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tallybird {

// Whether this build may replace itself. A build for a distribution package
// leaves updates to the package manager.
#if defined(TALLYBIRD_SELF_UPDATE) && !TALLYBIRD_SELF_UPDATE
inline constexpr bool kSelfUpdateBuild = false;
#else
inline constexpr bool kSelfUpdateBuild = true;
#endif

inline constexpr const char* kPackageManagerNote =
    "Updates for this installation come from the system's package manager.";

// A program version, major and minor. As a number it is major + minor / 10,
// so 2.10 counts as 3.0.
struct ProgramVersion {
    int major = 0;
    int minor = 0;

    double Value() const { return major + minor / 10.0; }
    std::string Text() const;
};

// The version of this program.
ProgramVersion RunningVersion();

// The value of a plain version text ("2.6" is 2.6, "2.10" is 3.0, "3" is 3);
// further parts after the minor number do not count.
double PlainVersionValue(const std::string& plain);

// What Check for Updates shows and offers.
struct UpdateCheck {
    std::string currentLine; // "Current Version: 2.5"
    std::string latestLine;  // "Latest Version: 2.6" or "Latest Version: Not Available"
    // The plain version to download when it is newer than the running one.
    std::optional<std::string> newerVersion;
    // Why nothing is available, for the log (empty when the service answered).
    std::string reason;
};

// Asks the service for its latest version. A reply that is not a plain
// version above 0 (an error page, a path, a command line) offers nothing.
UpdateCheck CheckForUpdate(ServiceClient& service, ProgramVersion running);

// Starts the installer as a program of its own, directly, without a shell,
// and does not wait for it. False with the reason in `error`.
using InstallerStarter =
    std::function<bool(const std::filesystem::path& installer, std::string& error)>;
bool StartInstallerDetached(const std::filesystem::path& installer, std::string& error);

struct InstallOutcome {
    bool started = false;
    std::filesystem::path installer;
    std::string error; // why it was not started
};

// Downloads the installer of the plain `version` into the data folder's
// private "updates" folder (only for the user), makes it executable for the
// user only and starts it. A failed download or start leaves no installer
// behind.
InstallOutcome DownloadAndStartInstaller(ServiceClient& service, const std::string& version,
                                         const std::filesystem::path& dataFolder,
                                         const DownloadProgress& progress = {},
                                         const InstallerStarter& start = StartInstallerDetached);

} // namespace tallybird
