#include "runtime/keyboard_wedge.h"

#include "base/leading_number.h"
#include "base/single_byte_text.h"

#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <utility>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcWedge, "tallybird.wedge")

constexpr char kNul = '\0';
constexpr char kCr = '\r';

// The code point of a Windows-1252 byte.
char32_t CodePointOf(std::uint8_t code) {
    const std::uint8_t byte[] = {code};
    const std::string utf8 = FromSingleByte(ByteView(byte, 1));
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    switch (utf8.size()) {
    case 1:
        return s[0];
    case 2:
        return ((s[0] & 0x1fu) << 6) | (s[1] & 0x3fu);
    case 3:
        return ((s[0] & 0x0fu) << 12) | ((s[1] & 0x3fu) << 6) | (s[2] & 0x3fu);
    default:
        return 0;
    }
}

} // namespace

std::optional<WedgeChip> WedgeBuffer::Append(std::string_view received) {
    buffer_.append(received);
    if (!buffer_.empty() && buffer_.front() == kNul) {
        buffer_.erase(0, 1);
    }
    if (const auto nul = buffer_.rfind(kNul); nul != std::string::npos) {
        buffer_.resize(nul);
    }
    const auto cr = buffer_.rfind(kCr);
    if (cr == std::string::npos) {
        if (buffer_.size() > kMaxPending) {
            buffer_.erase(0, buffer_.size() - kMaxPending);
        }
        return std::nullopt;
    }
    WedgeChip chip{buffer_.substr(0, cr), buffer_.substr(0, cr + 1)};
    buffer_.erase(0, cr + 1);
    return chip;
}

Keysym KeysymOfCharacter(std::uint8_t code) {
    switch (code) {
    case 8:
        return kKeysymBackSpace;
    case 9:
        return kKeysymTab;
    case 13:
        return kKeysymReturn;
    case 27:
        return kKeysymEscape;
    default:
        break;
    }
    const char32_t point = CodePointOf(code);
    if (point < 0x20 || (point >= 0x7f && point < 0xa0)) {
        return 0; // a control character: no key types it
    }
    if (point <= 0xff) {
        return point; // Latin-1 keysyms are their code points
    }
    return 0x01000000u | point;
}

Keysym KeysymOfEndChar(int code) {
    if (code >= 96 && code <= 105) {
        return kKeysymKeypad0 + static_cast<Keysym>(code - 96);
    }
    if (code >= 106 && code <= 111) {
        return kKeysymKeypadMultiply + static_cast<Keysym>(code - 106);
    }
    if (code >= 112 && code <= 135) {
        return kKeysymF1 + static_cast<Keysym>(code - 112);
    }
    if (code < 1 || code > 255) {
        return kKeysymReturn;
    }
    // 8, 9, 13, 27, space, digits and capitals are their characters' keys.
    return KeysymOfCharacter(static_cast<std::uint8_t>(code));
}

int WedgeEndCharFromEntry(std::string_view entry) {
    constexpr int kEnter = 13;
    const double rounded = RoundHalfToEven(LeadingNumber(entry));
    if (!(rounded >= 1 && rounded <= 255)) {
        return kEnter; // also what is too large to hold, and no number at all
    }
    return static_cast<int>(rounded);
}

KeyboardWedge::KeyboardWedge(Parts parts) : parts_(std::move(parts)) {}

KeyboardWedge::~KeyboardWedge() {
    Stop();
}

bool KeyboardWedge::Start(const std::filesystem::path& device) {
    Stop();
    parts_.port.SetDevice(device);
    if (!parts_.port.Open()) {
        qCWarning(lcWedge) << "the keyboard wedge cannot open" << device.c_str();
        return false;
    }
    buffer_.Clear();
    KeySenderChoice choice = parts_.openSender();
    sender_ = std::move(choice.sender);
    running_ = true;
    parts_.state.NoteKeystrokePath(sender_ ? sender_->Name() : "none: " + choice.why);
    if (sender_) {
        qCInfo(lcWedge).noquote() << "keyboard wedge on" << device.c_str() << "types through"
                                  << sender_->Name().c_str();
    } else {
        qCWarning(lcWedge).noquote()
            << "keyboard wedge on" << device.c_str() << "types nothing:" << choice.why.c_str();
        if (!toldUnavailable_) {
            toldUnavailable_ = true;
            parts_.keystrokesUnavailable(choice.why);
        }
    }
    return true;
}

void KeyboardWedge::Stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    parts_.port.Close();
    sender_.reset();
    qCInfo(lcWedge) << "keyboard wedge stopped";
}

std::string KeyboardWedge::SenderName() const {
    return sender_ ? sender_->Name() : std::string();
}

void KeyboardWedge::Tick() {
    if (!running_ || !parts_.state.wedgeActive) {
        return;
    }
    if (parts_.port.BytesWaiting() == 0) {
        return;
    }
    std::string received;
    std::array<std::uint8_t, 256> chunk{};
    while (parts_.port.BytesWaiting() > 0) {
        const std::size_t n = parts_.port.Read(chunk);
        if (n == 0) {
            break;
        }
        received.append(reinterpret_cast<const char*>(chunk.data()), n);
    }
    if (const auto chip = buffer_.Append(received)) {
        Type(*chip);
    }
}

void KeyboardWedge::Type(const WedgeChip& chip) {
    if (!sender_) {
        return; // nothing typed; the status line keeps "Keyboard Wedge Mode"
    }
    std::vector<Keysym> keys;
    for (const char c : chip.typed) {
        if (const Keysym keysym = KeysymOfCharacter(static_cast<std::uint8_t>(c))) {
            keys.push_back(keysym);
        } else {
            qCInfo(lcWedge) << "control character" << static_cast<int>(static_cast<std::uint8_t>(c))
                            << "has no key; not typed";
        }
    }
    if (const Keysym end = KeysymOfEndChar(parts_.state.wedgeEndChar)) {
        keys.push_back(end); // a control code without a key types nothing
    }
    const int delay = std::clamp(parts_.keyDelay(), 0, kMaxWedgeKeyDelayMs);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && delay > 0) {
            parts_.pause(std::chrono::milliseconds(delay));
        }
        if (!sender_->Type(keys[i])) {
            qCWarning(lcWedge) << "keystroke" << i << "of a chip could not be sent";
        }
    }
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(chip.caption.data());
    parts_.showCaption(FromSingleByte(ByteView(bytes, chip.caption.size())));
}

} // namespace tallybird
