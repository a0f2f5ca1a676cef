#include "base/chip_format.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tallybird {
namespace {

TEST(ChipFormatTest, KindsAndChipNumbersOfReceivedTexts) {
    struct Case {
        std::string text;
        ChipKind kind;
        std::optional<ChipCode> code;
        bool listed; // the main window gives it a row
    };
    for (const Case& c : {
             Case{"985141000123456", ChipKind::Decimal, ChipCode{985, 141000123456}, true},
             Case{"1000000000000001", ChipKind::Decimal, ChipCode{1000, 1}, false},
             // 1024 is no 10-bit code; a national number above 2^38 - 1 is none either.
             Case{"1024000000000001", ChipKind::Decimal, std::nullopt, false},
             Case{"985999999999999", ChipKind::Decimal, std::nullopt, true},
             // Country from the top two bits of the first byte only.
             Case{"9A78563412", ChipKind::Hexadecimal, ChipCode{2, 0x1A78563412}, true},
             Case{"00000000FF", ChipKind::Hexadecimal, ChipCode{0, 255}, true},
             Case{"123*188*016", ChipKind::ThreeGroup, std::nullopt, true},
             Case{"123*188*24910", ChipKind::ThreeGroup, std::nullopt, false},
             // "*" makes a three-group text whatever its length (an 11-digit
             // decimal look-alike is no decimal chip).
             Case{"1234*567890", ChipKind::ThreeGroup, std::nullopt, true},
             Case{"98514100012345", ChipKind::Other, std::nullopt, false},
             Case{"", ChipKind::Other, std::nullopt, false},
         }) {
        EXPECT_EQ(ClassifyChipText(c.text), c.kind) << c.text;
        EXPECT_EQ(ChipCodeOfText(c.text), c.code) << c.text;
        EXPECT_EQ(ShownInChipList(c.text), c.listed) << c.text;
    }
}

TEST(ChipFormatTest, EachFormatReadsBackAsTheSameChip) {
    for (const ChipCode code : {ChipCode{985, 141000123456}, ChipCode{1, 0},
                                ChipCode{999, 274877906943}, ChipCode{1023, 7}}) {
        for (const ChipFormat format :
             {ChipFormat::Digits, ChipFormat::Grouped, ChipFormat::DotHex}) {
            const std::string text = FormatChipCode(code, format);
            EXPECT_EQ(ParseChipQuery(text), code) << text;
            EXPECT_EQ(ParseChipQuery("  " + text + " "), code) << "spaces around: " << text;
        }
    }
    const ChipCode chip{985, 141000123456};
    EXPECT_EQ(FormatChipCode(chip, ChipFormat::Digits), "985141000123456");
    EXPECT_EQ(FormatChipCode(chip, ChipFormat::Grouped), "985 141000123456");
    EXPECT_EQ(FormatChipCode(chip, ChipFormat::DotHex), "3D9.20D4432440");
    EXPECT_EQ(ParseChipQuery("3d9.20d4432440"), chip) << "lower-case hexadecimal";
    // A hexadecimal record text finds the chip it stands for.
    EXPECT_EQ(ParseChipQuery("9A78563412"), ChipCodeOfText("9A78563412"));
    EXPECT_EQ(FormatChipText("123*188*016", ChipFormat::DotHex), "123*188*016");
}

TEST(ChipFormatTest, SearchTextsThatNameNoChip) {
    for (const std::string text :
         {"", "985", "98514100012345x", "985 14100012345", "400.20D4432440", "3D9.", ".20D4432440",
          "3D9.4000000000", "12345678901234567", "123*188*016"}) {
        EXPECT_EQ(ParseChipQuery(text), std::nullopt) << text;
    }
}

TEST(ChipFormatTest, SettingNames) {
    for (const ChipFormat format : {ChipFormat::Digits, ChipFormat::Grouped, ChipFormat::DotHex}) {
        EXPECT_EQ(ChipFormatFromName(ChipFormatName(format)), format);
    }
    EXPECT_EQ(ChipFormatFromName("nonsense"), ChipFormat::Digits);
}

} // namespace
} // namespace tallybird
