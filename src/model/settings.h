#pragma once

#include "platform/settings_store.h"

#include <filesystem>
#include <map>
#include <string>

namespace tallybird {

// What a pending reset does with the chips scanned since the last session:
// only Reset Scanner, which warns of the loss, discards them; any other reset
// uploads them first.
enum class ResetKind { KeepsScans, DiscardsScans };

// Where `tallybird-sim service` listens by default.
// The build may name the service (TALLYBIRD_SERVER_URL); otherwise the
// address where tallybird-sim service listens.
#ifdef TALLYBIRD_SERVER_URL
inline constexpr const char* kDefaultServerBaseUrl = TALLYBIRD_SERVER_URL;
#else
inline constexpr const char* kDefaultServerBaseUrl = "http://127.0.0.1:8642/alpha/";
#endif

// The program's settings: section [Settings] of the settings file, every key
// with its default, booleans as the words "True" and "False"; and section
// [Ports], which maps a port number to a device path.
class Settings {
public:
    explicit Settings(SettingsStore& store) : store_(store) {}

    // Character code the keyboard wedge types after each chip number (1..255).
    std::string WedgeEnd() const;
    void SetWedgeEnd(int code);
    // Milliseconds the keyboard wedge waits between keystrokes, 0..100
    // (default 0; a value outside or no number reads as the nearest bound or 0).
    int WedgeKeyDelay() const;
    void SetWedgeKeyDelay(int ms);

    // A second instance asks the running one to show its window.
    bool ShowRequested() const;
    void SetShowRequested(bool show);

    // "Registered" once the registration wizard was completed.
    std::string StartUp() const;
    void SetStartUp(const std::string& value);

    bool Keyboard() const;
    void SetKeyboard(bool on);

    void SetRunning(bool running);

    // The only port detection tries; below 1 means ports 1..255.
    int Comm() const;

    std::string ServerBaseUrl() const;

    // How the chip history shows chip numbers: "Digits" (the default),
    // "Grouped" or "DotHex".
    std::string ChipFormat() const;
    void SetChipFormat(const std::string& name);

    // A reset the next session must carry out, kept until a session clears it;
    // `ResetDiscardsScans` is true only while it came from Reset Scanner.
    bool ResetPending() const;
    bool ResetDiscardsScans() const;
    void SetResetPending(ResetKind kind);
    void ClearResetPending();

    // Section [Ports]: port number -> device path; entries whose key is not a
    // number 1..255 are ignored.
    std::map<int, std::filesystem::path> PortMap() const;

    SettingsStore& Store() { return store_; }

private:
    std::string Get(const char* key, const char* defaultValue) const;
    bool GetBool(const char* key, bool defaultValue) const;
    void SaveBool(const char* key, bool value);

    SettingsStore& store_;
};

// Text of a boolean setting.
const char* BoolText(bool value);

// The wedge end character of a "WedgeEnd" text: the nearest whole number
// (halves to even); 13 for a value outside 1..255 or a text that is no number.
int WedgeEndCharFrom(const std::string& text);

} // namespace tallybird
