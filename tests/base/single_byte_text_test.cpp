#include "base/single_byte_text.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

TEST(SingleByteTextTest, EveryByteSurvivesTheRoundTrip) {
    Bytes all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<std::uint8_t>(b));
    }
    EXPECT_EQ(ToSingleByte(FromSingleByte(all)), all);
}

TEST(SingleByteTextTest, CharactersAbove127UseWindows1252Codes) {
    // Euro sign, curly quotes, e acute, pound sign, u umlaut.
    EXPECT_EQ(ToSingleByte("\u20AC \u201Chi\u201D \u00E9\u00A3\u00FC"),
              (Bytes{0x80, ' ', 0x93, 'h', 'i', 0x94, ' ', 0xE9, 0xA3, 0xFC}));
    EXPECT_EQ(FromSingleByte(Bytes{0x80, 0x9F, 0xE9}), "\u20AC\u0178\u00E9");
}

TEST(SingleByteTextTest, CharactersWithoutACodeBecomeQuestionMarks) {
    EXPECT_EQ(ToSingleByte("a\u4E2Db\U0001F600c"), (Bytes{'a', '?', 'b', '?', 'c'}));
    // Malformed UTF-8: a lone continuation byte and a cut-off sequence.
    EXPECT_EQ(ToSingleByte(std::string("x\x80y\xE2\x82")), (Bytes{'x', '?', 'y', '?', '?'}));
}

} // namespace
} // namespace tallybird
