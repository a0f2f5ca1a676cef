#include "link/commands.h"
#include "model/list_record.h"
#include "model/lost_list.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

using Data = std::array<std::uint8_t, 7>;

TEST(ListRecordTest, RecordBytes) {
    EXPECT_EQ(ListRecordOf(0, 0), (Data{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ListRecordOf(985000000000001, 3), (Data{246, 64, 0, 0, 0, 1, 3}));
    EXPECT_EQ(ListRecordOf(2000000000005, 0), (Data{255, 128, 0, 0, 0, 5, 0}))
        << "country 2: byte 0 of a non-zero number is 255";
    EXPECT_EQ(ListRecordOf(274877906943, 0), (Data{255, 63, 255, 255, 255, 255, 0}));
    EXPECT_EQ(ListRecordOf(1019274877906943, 1), (Data{254, 255, 255, 255, 255, 255, 1}))
        << "a four-digit country the service can send is kept whole";
}

TEST(ListRecordTest, RecordsReadBackToTheirValue) {
    for (const double value : {985000000000001.0, 2000000000005.0, 13000000000001.0,
                               1019274877906943.0, 999274877906943.0}) {
        EXPECT_EQ(ListRecordValue(ListRecordOf(value, 0).data()), value);
    }
}

TEST(ListRecordTest, WritesSplitAtPageBoundaries) {
    const Data d{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(ListRecordWrites(0, d), (std::vector<WriteCommand>{{0, d}}));
    EXPECT_EQ(ListRecordWrites(35, d), (std::vector<WriteCommand>{{245, d}}));
    EXPECT_EQ(ListRecordWrites(36, d),
              (std::vector<WriteCommand>{{252, {1, 2, 3, 4, 255, 255, 255}},
                                         {256, {5, 6, 7, 255, 255, 255, 255}}}));
    // Slot 73 starts at 511: one byte in the first page.
    EXPECT_EQ(ListRecordWrites(73, d),
              (std::vector<WriteCommand>{{511, {1, 255, 255, 255, 255, 255, 255}},
                                         {512, {2, 3, 4, 5, 6, 7, 255}}}));
    EXPECT_EQ(AddressBytes(256), (std::array<std::uint8_t, 3>{0, 1, 0}));
    EXPECT_EQ(AddressBytes(25 * 4096), (std::array<std::uint8_t, 3>{1, 144, 0}));
}

TEST(ListRecordTest, ListReplyParsing) {
    Bytes reply = {246, 64, 0, 0, 0, 1, 3, 255, 128, 0, 0, 0, 5, 9};
    reply.insert(reply.end(), 6, 255);
    const auto list = ReadListReply(reply);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->values[0], 985000000000001.0);
    EXPECT_EQ(list->attributes[0], 3);
    EXPECT_EQ(list->values[1], 2000000000005.0);
    EXPECT_EQ(list->values[2], -1);

    const auto empty = ReadListReply(Bytes(6, 255));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count, 0);
    EXPECT_EQ(empty->values[0], -1);

    EXPECT_FALSE(ReadListReply(Bytes(7 * 250002 + 6, 1))) << "more records than the table";
    for (const std::size_t cut : {1u, 6u}) {
        EXPECT_FALSE(ReadListReply(Bytes(7 * 3 + cut + 6, 1))) << "a record cut to " << cut;
    }
    EXPECT_TRUE(ReadListReply(Bytes(7 * 250001 + 6, 1)));
}

TEST(ListRecordTest, CountIsTheHighestUsedSlotPlusOne) {
    LostList list;
    list.values[0] = 5;
    list.values[1] = 0;
    list.count = 99;
    list.RecomputeCount();
    EXPECT_EQ(list.count, 2) << "a cleared slot at the end still counts";
    list.values.assign(kListSlots, -1);
    list.RecomputeCount();
    EXPECT_EQ(list.count, 0);
}

} // namespace
} // namespace tallybird
