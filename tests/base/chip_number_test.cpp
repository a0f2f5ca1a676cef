#include "base/chip_number.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tallybird
