// The service time and the latest-version text.
#include "fuzz_check.h"
#include "web/service_replies.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tallybird::ByteView bytes(data, size);
    (void)tallybird::ReplyNumber(bytes);
    if (const auto version = tallybird::PlainVersion(bytes)) {
        // A version that may stand in an address or a file name: digits with
        // single dots between them, at most 16 characters.
        FUZZ_CHECK(!version->empty() && version->size() <= 16);
        FUZZ_CHECK(version->front() != '.' && version->back() != '.');
        FUZZ_CHECK(version->find("..") == std::string::npos);
        for (const char c : *version) {
            FUZZ_CHECK((c >= '0' && c <= '9') || c == '.');
        }
    }
    return 0;
}
