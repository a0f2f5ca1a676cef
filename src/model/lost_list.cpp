#include "model/lost_list.h"

#include "base/chip_number.h"

namespace tallybird {

void LostList::RecomputeCount() {
    count = 0;
    for (int slot = kListSlots - 1; slot >= 0; --slot) {
        if (values[static_cast<std::size_t>(slot)] >= 0) {
            count = slot + 1;
            return;
        }
    }
}

double ListRecordValue(const std::uint8_t* r) {
    const RecordChip chip = DecodeRecordChip(r);
    return ChipNumberValue(chip.country, chip.national);
}

std::optional<LostList> ReadListReply(ByteView reply) {
    if (!HoldsWholeRecords(reply.size(), kRecordSize)) {
        return std::nullopt;
    }
    const std::size_t records = reply.size() >= 8 ? (reply.size() - 8) / kRecordSize + 1 : 0;
    if (records > kListSlots) {
        return std::nullopt;
    }
    LostList list;
    std::size_t slot = 0;
    for (std::size_t at = 0; slot < records; at += kRecordSize, ++slot) {
        list.values[slot] = ListRecordValue(reply.data() + at);
        list.attributes[slot] = reply[at + 6];
    }
    list.count = static_cast<std::int32_t>(slot);
    return list;
}

} // namespace tallybird
