#include "model/country_table.h"

#include <gtest/gtest.h>

#include <set>

namespace tallybird {
namespace {

TEST(CountryTableTest, NumbersAtTheEndsAndAroundTheGaps) {
    const auto& list = CountryList();
    ASSERT_EQ(list.size(), 196u);
    struct Case {
        int index;
        std::string_view name;
        int number;
    };
    for (const Case c : {Case{0, "Afghanistan", 4}, Case{63, "Georgia", 67}, Case{64, "Germany", 3},
                         Case{65, "Ghana", 69}, Case{125, "Nepal", 129},
                         Case{126, "Netherlands", 2}, Case{127, "New Zealand", 131},
                         Case{184, "United Arab Emirates", 188}, Case{185, "United Kingdom", 1},
                         Case{186, "United States", 190}, Case{195, "Zimbabwe", 199}}) {
        EXPECT_EQ(list[c.index], c.name);
        EXPECT_EQ(CountryNumberOfIndex(c.index), c.number) << c.name;
    }
    std::set<int> numbers;
    for (int i = 0; i < kCountryCount; ++i) {
        numbers.insert(CountryNumberOfIndex(i));
    }
    EXPECT_EQ(numbers.size(), 196u) << "every country has a number of its own";
    for (const int unused : {68, 130, 189}) {
        EXPECT_EQ(numbers.count(unused), 0u) << unused;
    }
}

TEST(CountryTableTest, NamesArePaddedToTheNextMultipleOfFour) {
    const CountryTable table = BuildCountryTable();
    EXPECT_EQ(table[4], "Afghanistan ");
    EXPECT_EQ(table[37], "Chad    ");
    EXPECT_EQ(table[1], "United Kingdom  ");
    EXPECT_EQ(table[199], "Zimbabwe    ");
    EXPECT_EQ(table[126], "Myanmar, {Burma}    ");
    EXPECT_EQ(table[84], "Ireland");
    for (const int empty : {0, 68, 130, 189, 200, 255}) {
        EXPECT_EQ(table[empty], "") << empty;
    }
    for (int n = 1; n <= 199; ++n) {
        if (!table[n].empty() && n != 84) {
            EXPECT_EQ(table[n].size() % 4, 0u) << n;
            EXPECT_EQ(table[n].back(), ' ') << n;
        }
    }
}

TEST(CountryTableTest, DiallingCodesPreselectACountry) {
    EXPECT_EQ(CountryNumberForDiallingCode(44), 1);    // United Kingdom
    EXPECT_EQ(CountryNumberForDiallingCode(1), 190);   // United States, not Canada
    EXPECT_EQ(CountryNumberForDiallingCode(7), 148);   // Russian Federation
    EXPECT_EQ(CountryNumberForDiallingCode(49), 3);    // Germany
    EXPECT_EQ(CountryNumberForDiallingCode(31), 2);    // Netherlands
    EXPECT_EQ(CountryNumberForDiallingCode(2691), 42); // Comoros
    EXPECT_FALSE(CountryNumberForDiallingCode(269));
    EXPECT_FALSE(CountryNumberForDiallingCode(0));
}

} // namespace
} // namespace tallybird
