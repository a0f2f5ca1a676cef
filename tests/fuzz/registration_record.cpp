// The registration record file, however it was left on disk.
#include "model/registration_record.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tallybird::RegistrationRecord record =
        tallybird::DecodeRegistrationRecord(tallybird::ByteView(data, size));
    // What was read is written and read again unchanged.
    const tallybird::Bytes encoded = tallybird::EncodeRegistrationRecord(record);
    FUZZ_CHECK(tallybird::DecodeRegistrationRecord(encoded) == record);
    return 0;
}
