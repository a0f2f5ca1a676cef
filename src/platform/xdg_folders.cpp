#include "platform/xdg_folders.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace tallybird {
namespace {

// The variable's value when it names an absolute path; nothing otherwise.
std::filesystem::path AbsoluteValueOf(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

std::string UserName() {
    std::vector<char> buffer(std::size_t{16} * 1024);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->pw_name;
}

// A runtime folder must be a real folder of this user that nobody else may
// enter: it is made so when absent, and its mode is put right when it is ours.
bool IsUsableRuntimeFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    struct stat info {};
    if (errno != EEXIST || ::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    return (info.st_mode & 07777) == 0700 || ::chmod(folder.c_str(), 0700) == 0;
}

} // namespace

std::filesystem::path XdgHome(const char* variable, const char* defaultBelowHome) {
    std::filesystem::path value = AbsoluteValueOf(variable);
    if (!value.empty()) {
        return value;
    }
    return std::filesystem::path(QDir::homePath().toStdString()) / defaultBelowHome;
}

std::filesystem::path XdgRuntimeFolder() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || value[0] == '\0' || value[0] == '/') {
        // Unset or absolute: Qt's own checks and fallback apply as they are.
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
    }
    // Relative: Qt would make and use it below the current folder.
    const std::filesystem::path fallback =
        std::filesystem::path(QDir::tempPath().toStdString()) / ("runtime-" + UserName());
    return IsUsableRuntimeFolder(fallback) ? fallback : std::filesystem::path();
}

} // namespace tallybird
