#include "base/chip_number.h"

#include <gtest/gtest.h>

#include <array>

namespace tallybird {
namespace {

TEST(ChipNumberTextTest, FifteenAndSixteenDigitTexts) {
    struct Case {
        unsigned country;
        std::uint64_t national;
        std::string text;
        double value;
    };
    for (const Case& c :
         {Case{13, 1, "013000000000001", 13000000000001.0}, Case{0, 0, "000000000000000", 0.0},
          Case{985, 123456789012, "985123456789012", 985123456789012.0},
          Case{999, kMaxNationalNumber, "999274877906943", 999274877906943.0},
          Case{1000, 0, "1000000000000000", 1000000000000000.0},
          Case{1023, kMaxNationalNumber, "1023274877906943", 1023274877906943.0}}) {
        const ChipNumber chip = ChipNumberText(c.country, c.national);
        EXPECT_EQ(chip.text, c.text);
        EXPECT_EQ(chip.value, c.value) << c.text;
        EXPECT_EQ(chip.value, std::stod(chip.text)) << "the value is the text read as a number";
    }
}

// The code splits across the first two bytes; an erased first byte reads as 0.
TEST(RecordChip, DecodesTheSixBytes) {
    struct Case {
        std::array<std::uint8_t, 6> bytes;
        unsigned highByte;
        unsigned country;
        std::uint64_t national;
    };
    for (const Case& c : {Case{{246, 64, 0, 0, 0, 1}, 246, 985, 1},
                          Case{{255, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 1, kMaxNationalNumber},
                          Case{{0, 0xC0, 0, 0, 1, 0}, 0, 3, 256},
                          Case{{255, 255, 255, 255, 255, 255}, 0, 3, kMaxNationalNumber}}) {
        const RecordChip chip = DecodeRecordChip(c.bytes.data());
        EXPECT_EQ(chip.highByte, c.highByte);
        EXPECT_EQ(chip.country, c.country);
        EXPECT_EQ(chip.national, c.national);
    }
}

} // namespace
} // namespace tallybird
