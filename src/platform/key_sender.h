#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tallybird {

// A key symbol in the X11 numbering, which the remote-desktop portal takes
// as well: Latin-1 characters are their own code, other Unicode characters
// 0x01000000 + the code point, named keys 0xff00.. (XK_Return is 0xff0d).
using Keysym = std::uint32_t;

inline constexpr Keysym kKeysymBackSpace = 0xff08;
inline constexpr Keysym kKeysymTab = 0xff09;
inline constexpr Keysym kKeysymReturn = 0xff0d;
inline constexpr Keysym kKeysymEscape = 0xff1b;
inline constexpr Keysym kKeysymKeypadMultiply = 0xffaa; // then + , - . / in order
inline constexpr Keysym kKeysymKeypad0 = 0xffb0;        // ..0xffb9 for 9
inline constexpr Keysym kKeysymF1 = 0xffbe;             // ..0xffd5 for F24

// Synthesised keystrokes into whatever window has the keyboard focus. One
// object is used from one thread.
class KeySender {
public:
    KeySender() = default;
    virtual ~KeySender() = default;
    KeySender(const KeySender&) = delete;
    KeySender& operator=(const KeySender&) = delete;

    // Presses and releases the key that gives `keysym` on the active layout,
    // with whatever modifiers the layout needs for it; false when it could
    // not be sent (the reason goes to the log).
    virtual bool Type(Keysym keysym) = 0;
    // "X11 (XTest)" or "remote-desktop portal", for the log and About.
    virtual std::string Name() const = 0;
};

// The way keystrokes leave this session, picked when the wedge starts.
struct KeySenderChoice {
    std::unique_ptr<KeySender> sender; // empty when neither way works
    std::string why;                   // when empty: what was tried and why it failed
};

// Where the portal's restore token is kept: the state folder
// ($XDG_STATE_HOME/Tallybird/portal-restore-token).
std::filesystem::path DefaultPortalTokenFile();

// On a Wayland session the remote-desktop portal (asking the user once;
// later sessions reuse the kept token); a portal that is absent or refused
// falls back to X11 (XWayland) when there is a display; on X11 XTest.
KeySenderChoice OpenKeySender(const std::filesystem::path& portalTokenFile);

} // namespace tallybird
