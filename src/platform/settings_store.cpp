#include "platform/settings_store.h"

#include "platform/xdg_folders.h"

#include <QSettings>
#include <QString>

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

} // namespace

SettingsStore::SettingsStore(const std::filesystem::path& iniFile)
    : file_(iniFile), settings_(std::make_unique<QSettings>(
                          QString::fromStdString(iniFile.string()), QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

std::filesystem::path SettingsStore::DefaultFile() {
    return XdgHome("XDG_CONFIG_HOME", ".config") / "Tallybird" / "Tallybird.ini";
}

std::string SettingsStore::Get(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    std::lock_guard lock(mutex_);
    settings_->sync();
    const QVariant value = settings_->value(KeyPath(section, key));
    if (!value.isValid()) {
        return std::string(defaultValue);
    }
    return TextOf(value);
}

void SettingsStore::Save(std::string_view section, std::string_view key, std::string_view value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(KeyPath(section, key), ToQ(value));
    settings_->sync();
}

std::map<std::string, std::string> SettingsStore::Section(std::string_view section) const {
    std::lock_guard lock(mutex_);
    settings_->sync();
    std::map<std::string, std::string> values;
    settings_->beginGroup(ToQ(section));
    for (const QString& key : settings_->childKeys()) {
        values[key.toStdString()] = TextOf(settings_->value(key));
    }
    settings_->endGroup();
    return values;
}

} // namespace tallybird
