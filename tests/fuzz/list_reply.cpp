// The "UP" read-back of the scanner's list, and the records written back.
#include "fuzz_check.h"
#include "model/list_record.h"
#include "model/lost_list.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto list = tallybird::ReadListReply(tallybird::ByteView(data, size));
    if (!list) {
        return 0;
    }
    FUZZ_CHECK(list->count >= 0 && static_cast<std::size_t>(list->count) <= list->values.size());
    // Every value read back is written as the record it came from, and that
    // record reads back as the same value.
    for (std::int32_t slot = 0; slot < list->count; ++slot) {
        const double value = list->values[static_cast<std::size_t>(slot)];
        if (value <= 0) {
            continue;
        }
        const tallybird::ListRecord record = tallybird::ListRecordOf(value, 0);
        FUZZ_CHECK(tallybird::ListRecordValue(record.data()) == value);
        FUZZ_CHECK(!tallybird::ListRecordWrites(slot, record).empty());
    }
    return 0;
}
