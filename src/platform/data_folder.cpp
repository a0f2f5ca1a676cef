#include "platform/data_folder.h"

#include "platform/atomic_file.h"
#include "platform/xdg_folders.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

namespace tallybird {
namespace {

constexpr const char* kRegistrationFileName = "TBLREG.tbf";

bool HasTbfExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".tbf";
}

void CopyOlderInstallationFiles(const std::filesystem::path& installFolder,
                                const std::filesystem::path& dataFolder) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(installFolder / kRegistrationFileName, ec)) {
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(installFolder, ec)) {
        if (!HasTbfExtension(entry.path())) {
            continue;
        }
        // Only regular files are read, and each copy is whole or absent.
        if (const auto bytes = ReadWholeFile(entry.path())) {
            WriteFileAtomically(dataFolder / entry.path().filename(), *bytes);
        }
    }
}

} // namespace

std::filesystem::path ResolveDataFolder(const std::filesystem::path& dataHome,
                                        const std::filesystem::path& installFolder) {
    if (dataHome.empty()) {
        return installFolder / "Tallybird";
    }
    std::filesystem::path folder = dataHome / "Tallybird";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        CopyOlderInstallationFiles(installFolder, folder);
    }
    return folder;
}

std::filesystem::path DefaultDataHome() {
    return XdgHome("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path InstallFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

} // namespace tallybird
