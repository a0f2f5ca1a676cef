#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tallybird {

// The XDG autostart entry that starts the program in the tray at login. The
// system's entry sits in the autostart folder of one of $XDG_CONFIG_DIRS
// (the package puts it in /etc/xdg/autostart); a file of the same name in
// the user's $XDG_CONFIG_HOME/autostart takes its place for that account, and
// one that says Hidden=true switches the start at login off.
inline constexpr const char* kAutostartEntryName = "org.tallybird.Tallybird.desktop";

struct AutostartFolders {
    std::filesystem::path user;                // $XDG_CONFIG_HOME/autostart
    std::vector<std::filesystem::path> system; // the autostart folder of each of $XDG_CONFIG_DIRS
};

// The folders the desktop session reads: $XDG_CONFIG_HOME (default
// ~/.config) and $XDG_CONFIG_DIRS (default /etc/xdg), relative values
// ignored as the base-directory rules say.
AutostartFolders DefaultAutostartFolders();

// Whether the session will start the program at login: the user's entry
// when there is one, else the first system entry; an entry that says
// Hidden=true (or GNOME's X-GNOME-Autostart-enabled=false) does not start it.
bool StartsAtLogin(const AutostartFolders& folders);

// Switches the start at login on or off for this user, touching only the
// user's folder. Where a system entry exists, off writes a copy of it with
// Hidden=true and on removes the user's entry. Where none exists (a build
// installed under another prefix), on writes an entry of the user's own that
// runs `program --hidden`, and off removes it. Files are written through a
// temporary file and a rename, never through a symbolic link. True when the
// start at login is now as asked.
bool SetStartAtLogin(const AutostartFolders& folders, bool on,
                     const std::filesystem::path& program);

// The Exec= value that runs `program` with `--hidden`: the path quoted and
// escaped as the desktop entry rules ask when it holds anything but plain
// path characters.
std::string AutostartExecLine(const std::filesystem::path& program);

} // namespace tallybird
