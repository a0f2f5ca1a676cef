#pragma once

#include "link/serial_port.h"
#include "model/shared_state.h"
#include "platform/key_sender.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tallybird {

// A chip as the wedge buffer hands it over: the characters to type before
// the end character, and the caption (the text up to and with its CR).
struct WedgeChip {
    std::string typed;
    std::string caption;
    bool operator==(const WedgeChip&) const = default;
};

// The text a scanner in keyboard mode sent, kept between ticks until a CR
// completes it. Received bytes are appended; a NUL at the front is dropped;
// from the last NUL on everything is cut off; a CR hands over everything up
// to the last CR. Text after that CR is the start of the next chip and stays
// for the next tick instead of being lost. Text that never sees a CR is
// kept only up to its last kMaxPending bytes, so a device that sends without
// end cannot fill the memory.
class WedgeBuffer {
public:
    static constexpr std::size_t kMaxPending = 4096; // a chip is 15 characters

    std::optional<WedgeChip> Append(std::string_view received);
    const std::string& Pending() const { return buffer_; }
    void Clear() { buffer_.clear(); }

private:
    std::string buffer_;
};

// The keysym that types a received character (Windows-1252) as itself on
// the active layout; CR is Enter, Tab, BackSpace and Escape their keys; 0 for
// a control character without a key.
Keysym KeysymOfCharacter(std::uint8_t code);

// The keysym typed after each chip for an end character code 1..255: its
// virtual-key meaning (8 BackSpace, 9 Tab, 13 Enter, 27 Escape, 32 space,
// 48..57 and 65..90 the digit or capital letter, 96..105 keypad digits,
// 106..111 keypad operators, 112..135 F1..F24), otherwise the Windows-1252
// character of the code.
Keysym KeysymOfEndChar(int code);

// The end character code of what the user typed into the setup dialog: the
// leading number, rounded to the nearest whole number (halves to even); 13
// for a result outside 1..255 or an entry with no number.
int WedgeEndCharFromEntry(std::string_view entry);

// The longest pause "WedgeKeyDelay" may ask for between keystrokes.
inline constexpr int kMaxWedgeKeyDelayMs = 100;

// The keyboard wedge: while a scanner is in keyboard mode it reads the
// scanner's port (its own port object) every tick and types each chip into
// the focused window, then the end character, and shows what it received.
// All calls come from one thread.
class KeyboardWedge {
public:
    static constexpr std::chrono::milliseconds kTick{500};

    struct Parts {
        SerialPort& port;
        SharedState& state;
        // The pause between keystrokes in ms, read at each chip.
        std::function<int()> keyDelay;
        // Picks how keystrokes leave this session; called at each start.
        std::function<KeySenderChoice()> openSender;
        std::function<void(std::chrono::milliseconds)> pause;
        // The received text, after it was typed.
        std::function<void(const std::string& caption)> showCaption;
        // Nothing can be typed in this session, and why; said once a run.
        std::function<void(const std::string& why)> keystrokesUnavailable;
    };

    explicit KeyboardWedge(Parts parts);
    ~KeyboardWedge();
    KeyboardWedge(const KeyboardWedge&) = delete;
    KeyboardWedge& operator=(const KeyboardWedge&) = delete;

    // Opens the scanner's port and picks the keystroke back end; false when
    // the port cannot be opened (the wedge then does not run).
    bool Start(const std::filesystem::path& device);
    // Closes the port; harmless when not running.
    void Stop();
    bool Running() const { return running_; }
    // One timer tick: reads what is waiting and types every completed chip.
    void Tick();
    // The back end in use ("X11 (XTest)", ...), empty when none.
    std::string SenderName() const;

private:
    void Type(const WedgeChip& chip);

    Parts parts_;
    WedgeBuffer buffer_;
    std::unique_ptr<KeySender> sender_;
    bool running_ = false;
    bool toldUnavailable_ = false;
};

} // namespace tallybird
