#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

namespace tallybird::test {

// A small X client standing in for the program the user types into: a window
// that holds the keyboard focus and writes down every key event it gets,
// each read as a keysym through the keyboard map in force when it arrives
// (as a client that follows map changes reads it).
class KeyRecorder {
public:
    struct Key {
        bool press;
        KeySym keysym;
        bool operator==(const Key&) const = default;
        // "+1" for a press of "1", "-Return" for a release of Enter.
        friend void PrintTo(const Key& key, std::ostream* out) {
            const char* name = XKeysymToString(key.keysym);
            *out << (key.press ? '+' : '-') << (name != nullptr ? name : "?");
        }
    };

    KeyRecorder() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) {
            return;
        }
        window_ =
            XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 320, 80, 0, 0, 0);
        XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask);
        XMapRaised(display_, window_);
        XSync(display_, False);
        for (int i = 0; i < 200; ++i) {
            XWindowAttributes attributes{};
            XGetWindowAttributes(display_, window_, &attributes);
            if (attributes.map_state == IsViewable) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Focus();
    }
    ~KeyRecorder() {
        if (display_ != nullptr) {
            XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
    }
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    bool Open() const { return display_ != nullptr; }

    void Focus() {
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    bool Focused() {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        return focus == window_;
    }

    // A key pressed and released by its raw keycode, without any lookup.
    void SendRawKey(unsigned keycode) {
        XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
        XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
        XSync(display_, False);
    }

    // Reads the events that arrived so far.
    void Poll() {
        XSync(display_, False);
        while (XPending(display_) > 0) {
            XEvent event{};
            XNextEvent(display_, &event);
            if (event.type != KeyPress && event.type != KeyRelease) {
                continue;
            }
            XkbDescPtr xkb = XkbGetMap(display_, XkbAllClientInfoMask, XkbUseCoreKbd);
            unsigned mods = 0;
            KeySym keysym = NoSymbol;
            XkbTranslateKeyCode(xkb, static_cast<KeyCode>(event.xkey.keycode), event.xkey.state,
                                &mods, &keysym);
            XkbFreeKeyboard(xkb, 0, True);
            keys.push_back({event.type == KeyPress, keysym});
        }
    }

    // The keysyms of the presses, in order.
    std::vector<KeySym> Presses() const {
        std::vector<KeySym> presses;
        for (const Key& key : keys) {
            if (key.press) {
                presses.push_back(key.keysym);
            }
        }
        return presses;
    }

    std::vector<Key> keys;

private:
    Display* display_;
    Window window_ = 0;
};

} // namespace tallybird::test
