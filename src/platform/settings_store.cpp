#include "platform/settings_store.h"

#include "platform/xdg_folders.h"

#include <QSettings>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace tallybird {
namespace {

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString KeyPath(std::string_view section, std::string_view key) {
    return ToQ(section) + QLatin1Char('/') + ToQ(key);
}

// QSettings reads an unquoted value that holds a comma as a list of texts,
// each trimmed of the white space around it. Joining the pieces with commas
// gives back a value written without spaces around its commas exactly (a
// device path, an address); spaces beside a comma in a hand-written value
// are lost. Values saved through Save are quoted and come back whole.
std::string TextOf(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    }
    return value.toString().toStdString();
}

// QSettings reads the file through a plain blocking open: a FIFO in its
// place would block the program for ever. Only a regular file (or nothing,
// or a name that cannot be looked at) is handed to it.
bool MayHoldSettings(const std::filesystem::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

} // namespace

SettingsStore::SettingsStore(const std::filesystem::path& iniFile,
                             std::vector<std::filesystem::path> defaultsFiles)
    : file_(iniFile), defaultsFiles_(std::move(defaultsFiles)) {}

SettingsStore::~SettingsStore() = default;

std::filesystem::path SettingsStore::DefaultFile() {
    return XdgHome("XDG_CONFIG_HOME", ".config") / "Tallybird" / "Tallybird.ini";
}

std::vector<std::filesystem::path> SettingsStore::AdministratorDefaultFiles() {
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    const std::string dirs = value != nullptr && *value != '\0' ? value : "/etc/xdg";
    std::vector<std::filesystem::path> files;
    std::size_t from = 0;
    while (from <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
        const std::filesystem::path dir = dirs.substr(from, colon - from);
        if (dir.is_absolute()) {
            files.push_back(dir / "Tallybird" / "Tallybird.ini");
        }
        from = colon + 1;
    }
    return files;
}

std::optional<std::string> SettingsStore::AdministratorDefault(const QString& keyPath) const {
    for (const std::filesystem::path& file : defaultsFiles_) {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const QSettings defaults(QString::fromStdString(file.string()), QSettings::IniFormat);
        const QVariant value = defaults.value(keyPath);
        if (value.isValid()) {
            return TextOf(value);
        }
    }
    return std::nullopt;
}

QSettings* SettingsStore::Open() const {
    if (!MayHoldSettings(file_)) {
        return nullptr;
    }
    if (!settings_) {
        settings_ = std::make_unique<QSettings>(QString::fromStdString(file_.string()),
                                                QSettings::IniFormat);
    }
    return settings_.get();
}

std::string SettingsStore::Get(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    std::lock_guard lock(mutex_);
    const QString keyPath = KeyPath(section, key);
    if (QSettings* settings = Open()) {
        settings->sync();
        const QVariant value = settings->value(keyPath);
        if (value.isValid()) {
            return TextOf(value);
        }
    }
    return AdministratorDefault(keyPath).value_or(std::string(defaultValue));
}

void SettingsStore::Save(std::string_view section, std::string_view key, std::string_view value) {
    std::lock_guard lock(mutex_);
    if (QSettings* settings = Open()) {
        settings->setValue(KeyPath(section, key), ToQ(value));
        settings->sync();
    }
}

std::map<std::string, std::string> SettingsStore::Section(std::string_view section) const {
    std::lock_guard lock(mutex_);
    std::map<std::string, std::string> values;
    QSettings* settings = Open();
    if (settings == nullptr) {
        return values;
    }
    settings->sync();
    settings->beginGroup(ToQ(section));
    for (const QString& key : settings->childKeys()) {
        values[key.toStdString()] = TextOf(settings->value(key));
    }
    settings->endGroup();
    return values;
}

} // namespace tallybird
