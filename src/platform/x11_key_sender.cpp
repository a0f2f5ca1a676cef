#include "platform/x11_key_sender.h"

#include <QLoggingCategory>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcWedge, "tallybird.wedge")

// At most this many keysyms the layout lacks are kept on spare keys at once;
// an older one gives its key up when a further one is needed.
constexpr std::size_t kSpareKeys = 8;

// A key and the modifiers that make it give a keysym.
struct KeyLevel {
    KeyCode code = 0;
    unsigned mods = 0;     // the modifiers the level needs
    unsigned typeMask = 0; // every modifier that chooses the key's level
};

// The group a key gives in `group`, by the key's rule for groups it lacks.
int EffectiveGroup(XkbDescPtr xkb, int code, int group, int groups) {
    if (group < groups) {
        return group;
    }
    const unsigned info = XkbKeyGroupInfo(xkb, code);
    switch (XkbOutOfRangeGroupAction(info)) {
    case XkbClampIntoRange:
        return groups - 1;
    case XkbRedirectIntoRange: {
        const int redirect = XkbOutOfRangeGroupNumber(info);
        return redirect < groups ? redirect : 0;
    }
    default:
        return group % groups;
    }
}

// The key giving `keysym` in the active group with the fewest modifiers, or
// nothing when the layout lacks it.
std::optional<KeyLevel> FindKey(Display* display, Keysym keysym) {
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return std::nullopt;
    }
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (xkb == nullptr) {
        return std::nullopt;
    }
    std::optional<KeyLevel> best;
    int bestBits = 0;
    for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
        const int groups = XkbKeyNumGroups(xkb, code);
        if (groups == 0) {
            continue;
        }
        const int group = EffectiveGroup(xkb, code, state.group, groups);
        const XkbKeyTypePtr type = XkbKeyKeyType(xkb, code, group);
        for (int level = 0; level < type->num_levels; ++level) {
            if (XkbKeySymEntry(xkb, code, level, group) != keysym) {
                continue;
            }
            std::optional<unsigned> mods;
            if (level == 0) {
                mods = 0;
            } else {
                for (int i = 0; i < type->map_count; ++i) {
                    const XkbKTMapEntryRec& entry = type->map[i];
                    if (entry.active && entry.level == level &&
                        (!mods ||
                         __builtin_popcount(entry.mods.mask) < __builtin_popcount(*mods))) {
                        mods = entry.mods.mask;
                    }
                }
            }
            if (!mods) {
                continue; // a level no modifier reaches
            }
            const int bits = __builtin_popcount(*mods);
            if (!best || bits < bestBits) {
                best = KeyLevel{static_cast<KeyCode>(code), *mods, type->mods.mask};
                bestBits = bits;
            }
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    return best;
}

// Keys without any symbol, highest first: free for a keysym the layout lacks.
std::vector<KeyCode> SpareKeys(Display* display) {
    std::vector<KeyCode> spares;
    XkbDescPtr xkb = XkbGetMap(display, XkbKeySymsMask, XkbUseCoreKbd);
    if (xkb == nullptr) {
        return spares;
    }
    for (int code = xkb->max_key_code; code >= xkb->min_key_code && spares.size() < kSpareKeys;
         --code) {
        if (XkbKeyNumGroups(xkb, code) == 0) {
            spares.push_back(static_cast<KeyCode>(code));
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    return spares;
}

void SetKeyMap(Display* display, KeyCode code, KeySym keysym) {
    XChangeKeyboardMapping(display, code, 1, &keysym, 1);
    XSync(display, False);
}

} // namespace

struct X11KeySender::Impl {
    Display* display = nullptr;
    std::vector<KeyCode> freeSpares;
    // Keysyms on spare keys, oldest first.
    std::vector<std::pair<Keysym, KeyCode>> onSpares;

    std::optional<KeyCode> SpareFor(Keysym keysym) {
        for (const auto& [sym, code] : onSpares) {
            if (sym == keysym) {
                return code;
            }
        }
        KeyCode code = 0;
        if (!freeSpares.empty()) {
            code = freeSpares.back();
            freeSpares.pop_back();
        } else if (!onSpares.empty()) {
            // The oldest one's events were read long ago, unless they were
            // sent just now: give the clients a moment before the key changes.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            code = onSpares.front().second;
            onSpares.erase(onSpares.begin());
        } else {
            return std::nullopt;
        }
        SetKeyMap(display, code, keysym);
        onSpares.emplace_back(keysym, code);
        return code;
    }
};

std::unique_ptr<X11KeySender> X11KeySender::Open(const char* displayName, std::string& why) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        why = "no X display could be opened";
        return nullptr;
    }
    int event = 0, error = 0, major = 0, minor = 0, opcode = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        why = "the X server has no XTest extension";
        return nullptr;
    }
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        why = "the X server has no XKB extension";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->display = display;
    impl->freeSpares = SpareKeys(display);
    return std::unique_ptr<X11KeySender>(new X11KeySender(std::move(impl)));
}

X11KeySender::X11KeySender(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11KeySender::~X11KeySender() {
    for (const auto& [keysym, code] : impl_->onSpares) {
        SetKeyMap(impl_->display, code, NoSymbol);
    }
    XCloseDisplay(impl_->display);
}

bool X11KeySender::Type(Keysym keysym) {
    Display* display = impl_->display;
    std::optional<KeyLevel> key = FindKey(display, keysym);
    if (!key) {
        if (!impl_->SpareFor(keysym) || !(key = FindKey(display, keysym))) {
            qCWarning(lcWedge) << "keysym" << Qt::hex << keysym << "has no key and no spare key";
            return false;
        }
    }
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    // The level comes from the modifiers in effect: lock exactly the needed
    // ones for this keystroke and give the locked state back afterwards.
    const bool change = (state.mods & key->typeMask) != key->mods;
    if (change) {
        XkbLockModifiers(display, XkbUseCoreKbd, key->typeMask, key->mods);
    }
    XTestFakeKeyEvent(display, key->code, True, CurrentTime);
    XTestFakeKeyEvent(display, key->code, False, CurrentTime);
    if (change) {
        XkbLockModifiers(display, XkbUseCoreKbd, key->typeMask, state.locked_mods & key->typeMask);
    }
    XSync(display, False);
    return true;
}

} // namespace tallybird
