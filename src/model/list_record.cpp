#include "model/list_record.h"

#include "model/scanner_memory.h"

#include <cmath>

namespace tallybird {

ListRecord ListRecordOf(double chipValue, std::uint8_t attribute) {
    // Split the value into its country code and national number as its
    // digit text would be split (three or more digits, then twelve).
    const double whole = std::floor(chipValue > 0 ? chipValue : 0);
    const auto value = static_cast<std::uint64_t>(whole);
    const auto country = static_cast<unsigned>(value / 1000000000000ULL);
    const std::uint64_t national = value % 1000000000000ULL;

    ListRecord r{};
    const unsigned high = country / 4;
    r[0] = static_cast<std::uint8_t>(high == 0 && value != 0 ? 255 : high);
    r[1] = static_cast<std::uint8_t>(((country % 4) << 6) | ((national >> 32) & 0x3F));
    r[2] = static_cast<std::uint8_t>(national >> 24);
    r[3] = static_cast<std::uint8_t>(national >> 16);
    r[4] = static_cast<std::uint8_t>(national >> 8);
    r[5] = static_cast<std::uint8_t>(national);
    r[6] = attribute;
    return r;
}

std::vector<WriteCommand> ListRecordWrites(std::int32_t slot, const ListRecord& record) {
    const auto address = static_cast<std::uint32_t>(SlotAddress(slot));
    const std::uint32_t inPage = address % kPageSize;
    if (inPage <= kPageSize - kRecordSize) {
        return {{address, record}};
    }
    const std::uint32_t first = kPageSize - inPage; // 1..6 bytes fit the first page
    WriteCommand head{address, {}};
    WriteCommand tail{address + first, {}};
    head.data.fill(255);
    tail.data.fill(255);
    for (std::uint32_t i = 0; i < kRecordSize; ++i) {
        if (i < first) {
            head.data[i] = record[i];
        } else {
            tail.data[i - first] = record[i];
        }
    }
    return {head, tail};
}

} // namespace tallybird
