// The organisation reply with its URL decoding, and the URL codec itself.
#include "base/single_byte_text.h"
#include "fuzz_check.h"
#include "web/service_replies.h"
#include "web/url_codec.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tallybird::ByteView bytes(data, size);
    (void)tallybird::BuildOrganisationTable(bytes);

    const tallybird::Bytes decoded = tallybird::UrlDecode(bytes);
    FUZZ_CHECK(decoded.size() <= size);
    // Whatever text goes out encoded comes back as its single-byte form (a
    // character without a code, or a byte that is no UTF-8, as "?").
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string encoded = tallybird::UrlEncode(text);
    const tallybird::Bytes back = tallybird::UrlDecode(
        tallybird::ByteView(reinterpret_cast<const std::uint8_t*>(encoded.data()), encoded.size()));
    FUZZ_CHECK(back == tallybird::ToSingleByte(text));
    return 0;
}
