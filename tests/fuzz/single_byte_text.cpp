// Single-byte texts as files and the wire carry them (the marker file among
// them): every byte string survives the trip to text and back.
#include "base/single_byte_text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tallybird::ByteView bytes(data, size);
    const std::string text = tallybird::FromSingleByte(bytes);
    FUZZ_CHECK(tallybird::ToSingleByte(text) == tallybird::Bytes(data, data + size));
    return 0;
}
