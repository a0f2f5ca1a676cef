#include "web/url_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace tallybird {
namespace {

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST(UrlEncodeTest, OnlyDigitsAndAsciiLettersPassUnescaped) {
    EXPECT_EQ(UrlEncode("Rose-Hill Farm's"), "Rose%2DHill+Farm%27s");
    EXPECT_EQ(UrlEncode(""), "");
    EXPECT_EQ(UrlEncode("a,b.c_d~e"), "a%2Cb%2Ec%5Fd%7Ee");
    EXPECT_EQ(UrlEncode("AZaz09"), "AZaz09");
    EXPECT_EQ(UrlEncode(std::string("\t\n", 2)), "%09%0A");
    EXPECT_EQ(UrlEncode("Zoë €"), "Zo%EB+%80");
    EXPECT_EQ(UrlEncode("a@b.com"), "a%40b%2Ecom");
}

TEST(UrlDecodeTest, PlusEscapesAndTheTrailingPercentRule) {
    struct Case {
        std::string in;
        std::string out;
    };
    for (const Case& c :
         {Case{"A+B%2Cc", "A B,c"}, Case{"50%", "50%"}, Case{"%4", "%4"}, Case{"%zz", ""},
          Case{"ok%zzok", ""}, Case{"%4g1", ""}, Case{"", ""}, Case{"%2c%2C", ",,"},
          Case{"a%41", "aA"}, Case{"%E9t%E9", "\xE9t\xE9"}, Case{"100%%", "100%%"}}) {
        EXPECT_EQ(UrlDecode(B(c.in)), B(c.out)) << c.in;
    }
}

} // namespace
} // namespace tallybird
