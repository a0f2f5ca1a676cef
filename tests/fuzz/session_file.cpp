// The session file: its fixed part is large, so the input is its head (time
// stamp), the slot count and the organisation texts at its end, which are
// where a damaged file differs.
#include "model/session_file.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tallybird::Bytes blank = tallybird::EncodeSessionFile({});
    tallybird::Bytes file(blank.begin(), blank.begin() + tallybird::kSessionFileFixedSize);
    // The first 8 bytes are the time stamp, the last 4 of the fixed part the
    // slot count.
    const std::size_t head = std::min<std::size_t>(size, 8);
    std::memcpy(file.data(), data, head);
    const std::size_t count = std::min<std::size_t>(size - head, 4);
    std::memcpy(file.data() + tallybird::kSessionFileFixedSize - 4, data + head, count);
    file.insert(file.end(), data + head + count, data + size);

    const auto decoded = tallybird::DecodeSessionFile(file);
    if (decoded) {
        const tallybird::Bytes encoded = tallybird::EncodeSessionFile(*decoded);
        const auto again = tallybird::DecodeSessionFile(encoded);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(tallybird::EncodeSessionFile(*again) == encoded);
    }
    return 0;
}
