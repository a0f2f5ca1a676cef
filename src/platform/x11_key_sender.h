#pragma once

#include "platform/key_sender.h"

#include <map>
#include <memory>
#include <string>

namespace tallybird {

// Keystrokes through the XTest extension of an X server (XWayland too). Each
// keysym is looked up in the keyboard map of the active XKB layout (the
// group in effect now): the key that carries it and the modifiers its level
// needs. Those modifiers are locked for the one keystroke and given back
// afterwards, so a held Caps Lock does not turn the level, and Shift is
// neither left pressed nor released under the user's finger. A keysym the
// layout lacks is put on a spare key (one without symbols) and typed there;
// the spare keys get their empty map back when the sender closes, after any
// client has had time to read the key events.
class X11KeySender final : public KeySender {
public:
    // Connects to `display` (nullptr: $DISPLAY). Null with `why` set when
    // there is no server or it lacks XTest or XKB.
    static std::unique_ptr<X11KeySender> Open(const char* display, std::string& why);
    ~X11KeySender() override;

    bool Type(Keysym keysym) override;
    std::string Name() const override { return "X11 (XTest)"; }

private:
    struct Impl;
    explicit X11KeySender(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace tallybird
