// The "getlost.php" reply: the changes to the list of missing animals.
#include "fuzz_check.h"
#include "web/service_replies.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reply = tallybird::ReadLostList(tallybird::ByteView(data, size));
    FUZZ_CHECK(reply.addedChips.size() <= tallybird::kMaxListChanges);
    FUZZ_CHECK(reply.removedChips.size() <= tallybird::kMaxListChanges);
    FUZZ_CHECK(reply.addedChips.size() + reply.removedChips.size() <=
               size / tallybird::kLostRecordSize);
    if (reply.outcome != tallybird::LostListOutcome::Changes) {
        FUZZ_CHECK(reply.addedChips.empty() && reply.removedChips.empty());
    }
    for (const auto& added : reply.addedChips) {
        FUZZ_CHECK(added.number >= 0);
    }
    return 0;
}
