// The keyboard wedge's buffer: whatever a scanner in keyboard mode sends,
// split into reads of any size (the first input byte sets the split).
#include "fuzz_check.h"
#include "runtime/keyboard_wedge.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t chunk = std::max<std::size_t>(1, data[0] % 32);
    const std::string_view received(reinterpret_cast<const char*>(data + 1), size - 1);
    tallybird::WedgeBuffer buffer;
    for (std::size_t at = 0; at < received.size(); at += chunk) {
        const auto chip = buffer.Append(received.substr(at, chunk));
        FUZZ_CHECK(buffer.Pending().size() <= tallybird::WedgeBuffer::kMaxPending);
        if (chip) {
            // The caption shows everything that was typed.
            FUZZ_CHECK(chip->caption.size() >= chip->typed.size());
            for (const char c : chip->typed) {
                (void)tallybird::KeysymOfCharacter(static_cast<std::uint8_t>(c));
            }
        }
    }
    (void)tallybird::KeysymOfEndChar(data[0]);
    const int end = tallybird::WedgeEndCharFromEntry(received.substr(0, 32));
    FUZZ_CHECK(end >= 1 && end <= 255);
    return 0;
}
