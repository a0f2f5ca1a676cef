#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tallybird {

// One list record as the scanner stores it: country code bits 9..2 (255 when
// they are 0 but the number is not), country bits 1..0 with national bits
// 37..32, national bits 31..0 most significant first, the attribute byte.
using ListRecord = std::array<std::uint8_t, 7>;

// The record of a chip number value (0 gives the cleared record: six zero
// bytes and the attribute).
ListRecord ListRecordOf(double chipValue, std::uint8_t attribute);

// One "WR": three address bytes and exactly seven data bytes.
struct WriteCommand {
    std::uint32_t address;
    std::array<std::uint8_t, 7> data;

    bool operator==(const WriteCommand&) const = default;
};

// The writes that put a record into slot `slot`: one when it lies inside a
// 256-byte page, two when it crosses a page boundary (its bytes split over
// both pages, the rest of each write 255 filler). Only the last one's result
// counts.
std::vector<WriteCommand> ListRecordWrites(std::int32_t slot, const ListRecord& record);

} // namespace tallybird
