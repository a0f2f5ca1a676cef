#include "model/settings.h"

#include "base/leading_number.h"

#include <algorithm>
#include <string>

namespace tallybird {
namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kPortsSection = "Ports";
constexpr int kDefaultWedgeEndChar = 13;
constexpr double kMaxWedgeKeyDelay = 100;

} // namespace

const char* BoolText(bool value) {
    return value ? "True" : "False";
}

int WedgeEndCharFrom(const std::string& text) {
    const auto number = WholeNumber(text);
    if (!number) {
        return kDefaultWedgeEndChar;
    }
    const double rounded = RoundHalfToEven(*number);
    if (rounded < 1 || rounded > 255) {
        return kDefaultWedgeEndChar;
    }
    return static_cast<int>(rounded);
}

std::string Settings::Get(const char* key, const char* defaultValue) const {
    return store_.Get(kSection, key, defaultValue);
}

bool Settings::GetBool(const char* key, bool defaultValue) const {
    return Get(key, BoolText(defaultValue)) == "True";
}

void Settings::SaveBool(const char* key, bool value) {
    store_.Save(kSection, key, BoolText(value));
}

std::string Settings::WedgeEnd() const {
    return Get("WedgeEnd", "13");
}
void Settings::SetWedgeEnd(int code) {
    store_.Save(kSection, "WedgeEnd", std::to_string(code));
}

int Settings::WedgeKeyDelay() const {
    const auto number = WholeNumber(Get("WedgeKeyDelay", "0"));
    if (!number) {
        return 0;
    }
    return static_cast<int>(std::clamp(RoundHalfToEven(*number), 0.0, kMaxWedgeKeyDelay));
}
void Settings::SetWedgeKeyDelay(int ms) {
    store_.Save(kSection, "WedgeKeyDelay", std::to_string(std::clamp(ms, 0, 100)));
}

bool Settings::ShowRequested() const {
    return Get("Show", "") == "True";
}
void Settings::SetShowRequested(bool show) {
    SaveBool("Show", show);
}

std::string Settings::StartUp() const {
    return Get("StartUp", "");
}
void Settings::SetStartUp(const std::string& value) {
    store_.Save(kSection, "StartUp", value);
}

bool Settings::Keyboard() const {
    return GetBool("Keyboard", false);
}
void Settings::SetKeyboard(bool on) {
    SaveBool("Keyboard", on);
}

void Settings::SetRunning(bool running) {
    SaveBool("Running", running);
}

int Settings::Comm() const {
    const double value = RoundHalfToEven(LeadingNumber(Get("comm", "")));
    // Below 1 means every port and above 255 none: a hand-written number far
    // outside either end keeps that meaning without leaving the int range.
    if (!(value >= 0)) {
        return 0;
    }
    return static_cast<int>(std::min(value, 256.0));
}

std::string Settings::ServerBaseUrl() const {
    return Get("ServerBaseUrl", kDefaultServerBaseUrl);
}

std::string Settings::ChipFormat() const {
    return Get("ChipFormat", "Digits");
}

void Settings::SetChipFormat(const std::string& name) {
    store_.Save(kSection, "ChipFormat", name);
}

bool Settings::ResetPending() const {
    return GetBool("ResetPending", false);
}
bool Settings::ResetDiscardsScans() const {
    return GetBool("ResetDiscardsScans", false);
}

void Settings::SetResetPending(ResetKind kind) {
    SaveBool("ResetPending", true);
    SaveBool("ResetDiscardsScans", kind == ResetKind::DiscardsScans);
}

void Settings::ClearResetPending() {
    SaveBool("ResetPending", false);
    SaveBool("ResetDiscardsScans", false);
}

std::map<int, std::filesystem::path> Settings::PortMap() const {
    std::map<int, std::filesystem::path> ports;
    for (const auto& [key, path] : store_.Section(kPortsSection)) {
        const auto number = WholeNumber(key);
        if (number && *number >= 1 && *number <= 255 && *number == static_cast<int>(*number) &&
            !path.empty()) {
            ports[static_cast<int>(*number)] = path;
        }
    }
    return ports;
}

} // namespace tallybird
