#pragma once

#include <cstdint>
#include <string>

namespace tallybird {

// An ISO 11784 chip number: a 10-bit country or manufacturer code and a 38-bit
// national number. Its text is the code with at least three digits followed by
// the national number with exactly twelve (15 digits; codes 1000..1023 give
// 16); its value is that digit string read as a decimal number.
struct ChipNumber {
    std::string text;
    double value = 0;
};

inline constexpr std::uint64_t kMaxNationalNumber = (std::uint64_t{1} << 38) - 1;

ChipNumber ChipNumberText(unsigned country, std::uint64_t national);

// The value alone, without building the text.
inline double ChipNumberValue(unsigned country, std::uint64_t national) {
    // Exact in a double: at most 1023 * 10^12 + 2^38, far below 2^53.
    return static_cast<double>(country) * 1e12 + static_cast<double>(national);
}

// The chip part of a record: six bytes, most significant first. The first
// byte is the code's high 8 bits (255, an erased byte, reads as 0); the next
// holds its low 2 bits above the top 6 bits of the national number; four
// bytes of the national number follow. The list's records hold it in this
// order, the scan log's records in the reverse one.
struct RecordChip {
    unsigned highByte = 0; // the first byte, 0 for 255
    unsigned country = 0;
    std::uint64_t national = 0;
};
RecordChip DecodeRecordChip(const std::uint8_t* mostSignificantFirst);

} // namespace tallybird
