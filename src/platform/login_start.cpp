#include "platform/login_start.h"

#include "platform/atomic_file.h"
#include "platform/xdg_folders.h"

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

namespace tallybird {
namespace {

constexpr std::string_view kGroupHeader = "[Desktop Entry]";

std::optional<std::string> ReadEntry(const std::filesystem::path& file) {
    const auto bytes = ReadWholeFile(file);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::string> SystemEntry(const AutostartFolders& folders) {
    for (const auto& folder : folders.system) {
        if (auto entry = ReadEntry(folder / kAutostartEntryName)) {
            return entry;
        }
    }
    return std::nullopt;
}

// A key of the [Desktop Entry] group that keeps the entry from starting.
bool IsSwitchOff(std::string_view line) {
    return line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false";
}

bool IsSwitchKey(std::string_view line) {
    return line.starts_with("Hidden=") || line.starts_with("X-GNOME-Autostart-enabled=");
}

template <typename Visit> void ForEachLine(const std::string& entry, Visit visit) {
    std::istringstream lines(entry);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with('[')) {
            inMainGroup = line == kGroupHeader;
        }
        visit(line, inMainGroup);
    }
}

bool Starts(const std::string& entry) {
    bool starts = true;
    ForEachLine(entry, [&](const std::string& line, bool inMainGroup) {
        if (inMainGroup && IsSwitchOff(line)) {
            starts = false;
        }
    });
    return starts;
}

// The system's entry with its own switches dropped and Hidden=true put first
// in its group, so the user's copy keeps every other key of the original.
std::string HiddenCopy(const std::string& entry) {
    std::string copy;
    bool placed = false;
    ForEachLine(entry, [&](const std::string& line, bool inMainGroup) {
        if (inMainGroup && IsSwitchKey(line)) {
            return;
        }
        copy += line;
        copy += '\n';
        if (line == kGroupHeader && !placed) {
            copy += "Hidden=true\n";
            placed = true;
        }
    });
    if (!placed) {
        copy = std::string(kGroupHeader) + "\nType=Application\nName=Tallybird\nHidden=true\n";
    }
    return copy;
}

std::string OwnEntry(const std::filesystem::path& program) {
    return std::string(kGroupHeader) +
           "\nType=Application\nName=Tallybird\n"
           "Comment=Keeps your Kivo Scanner in step with the Tallybird service\n"
           "Exec=" +
           AutostartExecLine(program) + "\nIcon=tallybird\nTerminal=false\nNoDisplay=true\n";
}

bool WriteUserEntry(const AutostartFolders& folders, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(folders.user, error);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return WriteFileAtomically(folders.user / kAutostartEntryName, ByteView(bytes, text.size()));
}

// Removes the user's entry itself (a symbolic link, not its target).
bool RemoveUserEntry(const AutostartFolders& folders) {
    std::error_code error;
    std::filesystem::remove(folders.user / kAutostartEntryName, error);
    return !error;
}

} // namespace

AutostartFolders DefaultAutostartFolders() {
    AutostartFolders folders;
    folders.user = XdgHome("XDG_CONFIG_HOME", ".config") / "autostart";
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::istringstream list(dirs != nullptr ? dirs : "");
    std::string dir;
    while (std::getline(list, dir, ':')) {
        if (dir.starts_with('/')) {
            folders.system.push_back(std::filesystem::path(dir) / "autostart");
        }
    }
    if (folders.system.empty()) {
        folders.system.emplace_back("/etc/xdg/autostart");
    }
    return folders;
}

bool StartsAtLogin(const AutostartFolders& folders) {
    if (auto own = ReadEntry(folders.user / kAutostartEntryName)) {
        return Starts(*own);
    }
    const auto system = SystemEntry(folders);
    return system && Starts(*system);
}

bool SetStartAtLogin(const AutostartFolders& folders, bool on,
                     const std::filesystem::path& program) {
    if (StartsAtLogin(folders) == on) {
        return true;
    }
    const auto system = SystemEntry(folders);
    bool done = false;
    if (system && Starts(*system)) {
        done = on ? RemoveUserEntry(folders) : WriteUserEntry(folders, HiddenCopy(*system));
    } else {
        done = on ? WriteUserEntry(folders, OwnEntry(program)) : RemoveUserEntry(folders);
    }
    return done && StartsAtLogin(folders) == on;
}

std::string AutostartExecLine(const std::filesystem::path& program) {
    const std::string path = program.string();
    constexpr std::string_view kPlain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789/._+-,:=@";
    std::string argument;
    if (!path.empty() && path.find_first_not_of(kPlain) == std::string::npos) {
        argument = path;
    } else {
        // Inside double quotes the rules ask for a backslash before ", `, $
        // and \ itself.
        argument = "\"";
        for (const char c : path) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                argument += '\\';
            }
            argument += c;
        }
        argument += '"';
    }
    // Then the value is a string of the entry: a backslash is written twice,
    // a line break as \n, and a % is doubled so it is no field code.
    std::string line;
    for (const char c : argument + " --hidden") {
        if (c == '\\') {
            line += "\\\\";
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '%') {
            line += "%%";
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace tallybird
