#include "runtime/software_update.h"

#include "base/single_byte_text.h"
#include "web/service_replies.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <system_error>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcUpdate, "tallybird.update")

// The number at the start of `text` from `from` on, and where it ended.
int WholeNumberAt(const std::string& text, std::size_t& from) {
    int value = 0;
    while (from < text.size() && text[from] >= '0' && text[from] <= '9') {
        value = value * 10 + (text[from] - '0');
        if (value > 1'000'000) {
            break; // no version is that large; keeps the sum in range
        }
        ++from;
    }
    return value;
}

// The installer lives in a folder only the user may enter. Whatever stands at
// that place and is not a plain folder (a link, a file) is refused rather
// than followed.
std::string PreparePrivateFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(folder, ec);
    if (std::filesystem::exists(status)) {
        if (!std::filesystem::is_directory(status)) {
            return folder.string() + " is not a folder";
        }
    } else {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            return "cannot create " + folder.string() + ": " + ec.message();
        }
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
    if (ec) {
        return "cannot make " + folder.string() + " private: " + ec.message();
    }
    return {};
}

} // namespace

std::string ProgramVersion::Text() const {
    return std::to_string(major) + "." + std::to_string(minor);
}

namespace {

// Major and minor of a version text; further parts do not count.
ProgramVersion VersionOf(const std::string& text) {
    std::size_t at = 0;
    ProgramVersion version;
    version.major = WholeNumberAt(text, at);
    if (at < text.size() && text[at] == '.') {
        ++at;
        version.minor = WholeNumberAt(text, at);
    }
    return version;
}

} // namespace

ProgramVersion RunningVersion() {
    return VersionOf(TALLYBIRD_VERSION_TEXT);
}

double PlainVersionValue(const std::string& plain) {
    return VersionOf(plain).Value();
}

UpdateCheck CheckForUpdate(ServiceClient& service, ProgramVersion running) {
    UpdateCheck check;
    check.currentLine = "Current Version: " + running.Text();
    check.latestLine = "Latest Version: Not Available";
    const ServiceResult<Bytes> reply = service.FetchSoftwareVersion();
    if (reply.Failed()) {
        check.reason = reply.error;
        qCInfo(lcUpdate) << "no latest version:" << check.reason.c_str();
        return check;
    }
    const std::optional<std::string> plain = PlainVersion(reply.value);
    if (!plain || PlainVersionValue(*plain) <= 0) {
        check.reason = "the service's version reply is not a plain version";
        qCInfo(lcUpdate) << "no latest version:" << check.reason.c_str();
        return check;
    }
    check.latestLine = "Latest Version: " + *plain;
    if (PlainVersionValue(*plain) > running.Value()) {
        check.newerVersion = *plain;
    }
    return check;
}

bool StartInstallerDetached(const std::filesystem::path& installer, std::string& error) {
    // Started directly: no shell reads the name.
    const QString program = QString::fromStdString(installer.string());
    const QString folder = QString::fromStdString(installer.parent_path().string());
    if (!QProcess::startDetached(program, QStringList{}, folder)) {
        error = "cannot start " + installer.string();
        return false;
    }
    return true;
}

InstallOutcome DownloadAndStartInstaller(ServiceClient& service, const std::string& version,
                                         const std::filesystem::path& dataFolder,
                                         const DownloadProgress& progress,
                                         const InstallerStarter& start) {
    InstallOutcome outcome;
    if (PlainVersion(ToSingleByte(version)) != version) {
        outcome.error = "\"" + version + "\" is not a plain version";
        return outcome;
    }
    const std::filesystem::path folder = dataFolder / "updates";
    outcome.error = PreparePrivateFolder(folder);
    if (!outcome.error.empty()) {
        qCWarning(lcUpdate) << "update:" << outcome.error.c_str();
        return outcome;
    }
    outcome.installer = folder / InstallerFileName(version);
    const ServiceStatus download = service.DownloadInstaller(version, outcome.installer, progress);
    std::error_code ec;
    if (download.Failed()) {
        outcome.error = download.error;
    } else {
        std::filesystem::permissions(outcome.installer, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        if (ec) {
            outcome.error = "cannot make the installer executable: " + ec.message();
        } else if (start(outcome.installer, outcome.error)) {
            outcome.started = true;
            qCInfo(lcUpdate) << "started the installer" << outcome.installer.c_str();
            return outcome;
        }
    }
    qCWarning(lcUpdate) << "update to" << version.c_str() << "failed:" << outcome.error.c_str();
    std::filesystem::remove(outcome.installer, ec);
    return outcome;
}

} // namespace tallybird
