#include "model/history.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

std::tm At(int day, int month, int year, int hour, int minute) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

LostList ListHolding(std::vector<double> values) {
    LostList list;
    for (std::size_t i = 0; i < values.size(); ++i) {
        list.values[i] = values[i];
    }
    list.count = static_cast<std::int32_t>(values.size());
    return list;
}

TEST(ChipHistoryTest, RowsAndLinesByForm) {
    const LostList list =
        ListHolding({985000000000001.0, 2000000000000.0 + 26.0 * 4294967296.0 + 0x78563412});
    const auto history =
        BuildChipHistory({"985000000000001", "985000000000002", "9A78563412", "123*188*249",
                          "123*188*24910", "1000000000000000", "", "985000000000001"},
                         list, [] { return At(7, 12, 2026, 14, 5); });
    EXPECT_EQ(history.rows,
              (std::vector<std::string>{"985000000000001       Yes", "985000000000002          ",
                                        "9A78563412" + std::string(33, ' ') + "Yes",
                                        "123*188*249" + std::string(33, ' ') + "   "}));
    EXPECT_EQ(history.rowChipNumbers,
              (std::vector<std::string>{"985000000000001", "985000000000002", "9A78563412",
                                        "123*188*249"}));
    EXPECT_EQ(history.sessionLines, "985000000000001    07/12/26 14:05    Yes\r\n"
                                    "985000000000002    07/12/26 14:05       \r\n"
                                    "9A78563412            07/12/26 14:05    Yes\r\n"
                                    "123*188*249            07/12/26 14:05       \r\n");
}

TEST(ChipHistoryTest, ThreeGroupTextsAreNeverReadAsNumbers) {
    // 15 characters with stars: not a decimal chip, so no row at all.
    const auto history =
        BuildChipHistory({"123*12345*12345"}, ListHolding({}), [] { return At(1, 1, 2027, 0, 0); });
    EXPECT_TRUE(history.rows.empty());
    EXPECT_TRUE(history.sessionLines.empty());
}

TEST(ChipHistoryTest, EveryLineTakesTheClockWhenItIsBuilt) {
    int minute = 59;
    const auto history =
        BuildChipHistory({"985000000000001", "985000000000002"}, ListHolding({}), [&] {
            return minute == 59 ? At(7, 12, 2026, 14, minute++) : At(7, 12, 2026, 15, 0);
        });
    EXPECT_NE(history.sessionLines.find("14:59"), std::string::npos);
    EXPECT_NE(history.sessionLines.find("15:00"), std::string::npos);
}

TEST(TimeTextTest, LastUpdateIsReadWithoutTimeZone) {
    EXPECT_EQ(LastUpdateText(0), "01/01/70 00:00:00");
    EXPECT_EQ(LastUpdateText(1733875200), "11/12/24 00:00:00");
    EXPECT_EQ(LastUpdateText(1500000000), "14/07/17 02:40:00");
}

TEST(TimeTextTest, StampsOutsideFourBytesCannotBeSent) {
    EXPECT_EQ(ScannerStamp(1500000000), 1500000000u);
    EXPECT_EQ(ScannerStamp(4294967295.0), 4294967295u);
    EXPECT_FALSE(ScannerStamp(4294967296.0));
    EXPECT_FALSE(ScannerStamp(-1));
}

} // namespace
} // namespace tallybird
