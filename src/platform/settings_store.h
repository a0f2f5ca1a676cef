#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSettings;
class QString;

namespace tallybird {

// The per-user settings file: an INI file read and written through QSettings.
// Every value is text. Anything but a regular file in the file's place (a
// FIFO, a directory) reads as no settings, and saving then does nothing. Safe to use from the
// window thread and the session worker at once; each read first picks up what another process (a
// second instance, tallybird-cli) wrote meanwhile.
// An administrator's defaults lie beneath it: a key the user's file does not
// hold is looked up in the defaults files, first listed first; they are only
// read.
class SettingsStore {
public:
    explicit SettingsStore(const std::filesystem::path& iniFile,
                           std::vector<std::filesystem::path> defaultsFiles = {});
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // $XDG_CONFIG_HOME/Tallybird/Tallybird.ini (default ~/.config/...; a
    // relative value is ignored).
    static std::filesystem::path DefaultFile();
    // Tallybird/Tallybird.ini in each folder of $XDG_CONFIG_DIRS (default
    // /etc/xdg; relative entries are ignored), most important first.
    static std::vector<std::filesystem::path> AdministratorDefaultFiles();

    std::string Get(std::string_view section, std::string_view key,
                    std::string_view defaultValue) const;
    void Save(std::string_view section, std::string_view key, std::string_view value);

    // All keys of a section with their values.
    std::map<std::string, std::string> Section(std::string_view section) const;

    const std::filesystem::path& File() const { return file_; }

private:
    // The store's QSettings, made on first use; null while the file's place
    // holds something other than a regular file.
    QSettings* Open() const;

    // The value of the first defaults file that holds the key.
    std::optional<std::string> AdministratorDefault(const QString& keyPath) const;

    std::filesystem::path file_;
    std::vector<std::filesystem::path> defaultsFiles_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<QSettings> settings_;
};

} // namespace tallybird
