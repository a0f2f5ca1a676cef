#include "model/scan_log.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

Bytes WithTerminator(Bytes records) {
    records.insert(records.end(), 6, 255);
    return records;
}

TEST(ScanLogTest, TheThreeTextForms) {
    const auto log = ReadScanLog(WithTerminator({1,    0,    0,    0,    64,   3,   //
                                                 18,   52,   86,   120,  154,  255, //
                                                 0x4E, 0x61, 0xBC, 0x00, 0x7B, 0,   //
                                                 0,    0,    0,    0,    0,    250}),
                                 66051);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->texts, (std::vector<std::string>{"013000000000001", "9A78563412",
                                                    "123*188*24910", "1000000000000000"}));
    EXPECT_EQ(log->scanList,
              "serial number=66051|013000000000001|9A78563412|123*188*24910|1000000000000000|");
    // Values: decimal at the count before it, three-group zero after it.
    EXPECT_EQ(log->values[0], 13000000000001.0);
    const double hexValue =
        2000000000000.0 + static_cast<double>((std::uint64_t{26} << 32) + 0x78563412);
    EXPECT_EQ(log->values[1], hexValue)
        << "hex records use the country bits of their fifth byte only";
    EXPECT_EQ(log->values[2], 0.0);
    EXPECT_EQ(log->values[3], 1000000000000000.0) << "overwrites the three-group zero";
}

TEST(ScanLogTest, EmptyLogAndTooManyChips) {
    const auto empty = ReadScanLog(WithTerminator({}), 7);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->texts.empty());
    EXPECT_EQ(empty->scanList, "serial number=7|");

    Bytes full;
    for (int i = 0; i < 3100; ++i) {
        full.insert(full.end(), {1, 0, 0, 0, 64, 3});
    }
    EXPECT_TRUE(ReadScanLog(WithTerminator(full), 7));
    full.insert(full.end(), {1, 0, 0, 0, 64, 3});
    EXPECT_FALSE(ReadScanLog(WithTerminator(full), 7));
}

// A scanner that cuts a record short is not believed: the log it sent may
// be shifted, and clearing it afterwards would lose chips.
TEST(ScanLogTest, ARecordCutShortIsRefused) {
    for (const std::size_t extra : {1u, 5u}) {
        Bytes records = {1, 0, 0, 0, 64, 3};
        records.insert(records.end(), extra, 9);
        EXPECT_FALSE(ReadScanLog(WithTerminator(records), 7)) << extra << " stray bytes";
    }
    EXPECT_FALSE(ReadScanLog(Bytes(5, 255), 7)) << "shorter than the terminator";
}

TEST(ScanLogTest, HexTextValue) {
    EXPECT_EQ(HexChipTextValue("9A78563412"),
              2000000000000.0 + static_cast<double>((std::uint64_t{26} << 32) + 0x78563412));
    EXPECT_FALSE(HexChipTextValue("9A7856341G"));
    EXPECT_FALSE(HexChipTextValue("9A785634"));
}

} // namespace
} // namespace tallybird
