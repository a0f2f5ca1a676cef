#include "web/service_replies.h"

#include <gtest/gtest.h>

#include <string>

namespace tallybird {
namespace {

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// One 8-byte record of the "getlost.php" reply.
Bytes Record(std::uint8_t b0, std::uint8_t b1, std::uint32_t low, std::uint8_t op,
             std::uint8_t attribute) {
    return {b0,
            b1,
            static_cast<std::uint8_t>(low >> 24),
            static_cast<std::uint8_t>(low >> 16),
            static_cast<std::uint8_t>(low >> 8),
            static_cast<std::uint8_t>(low),
            op,
            attribute};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

TEST(ReplyNumberTest, ReadsTheNumberAtTheStart) {
    struct Case {
        std::string reply;
        double value;
    };
    for (const Case& c :
         {Case{"1700000000", 1700000000}, Case{"-5", -5}, Case{" 42\r\n", 42}, Case{"2.6", 2.6},
          Case{"", 0}, Case{"<html>500</html>", 0}, Case{"12abc", 12}}) {
        EXPECT_EQ(ReplyNumber(B(c.reply)), c.value) << c.reply;
    }
}

TEST(ReadLostListTest, ShortRepliesAndTheUpperCaseErrorPageChangeNothing) {
    for (const Bytes& reply :
         {Bytes{}, Bytes{1, 2, 3, 4, 5, 6, 7}, B("<HTML><body>x</body>"), B("<HTML>12345678901")}) {
        const LostListReply read = ReadLostList(reply);
        EXPECT_EQ(read.outcome, LostListOutcome::NoChange) << reply.size();
        EXPECT_TRUE(read.addedChips.empty());
        EXPECT_TRUE(read.removedChips.empty());
    }
}

TEST(ReadLostListTest, APartialRecordIsMalformed) {
    for (const std::size_t size : {9, 12, 15, 17}) {
        EXPECT_EQ(ReadLostList(Bytes(size, 0)).outcome, LostListOutcome::Malformed) << size;
    }
}

TEST(ReadLostListTest, LowerCaseHtmlIsReadAsRecords) {
    // "<html>ab": '<' is 60, 'h' 104 -> country 241, op 'a' (97) is skipped.
    const LostListReply read = ReadLostList(B("<html>ab"));
    EXPECT_EQ(read.outcome, LostListOutcome::Changes);
    EXPECT_TRUE(read.addedChips.empty());
    // With an add operation the same start gives a chip.
    const LostListReply added = ReadLostList(Join({B("<html>"), Bytes{1, 9}}));
    ASSERT_EQ(added.addedChips.size(), 1U);
    // country 60*4 + (104>>6 = 1) = 241; national (104 & 63)<<32 | "tml>"
    const double national =
        40.0 * 4294967296.0 + double(('t' << 24) | ('m' << 16) | ('l' << 8) | '>');
    EXPECT_EQ(added.addedChips[0], (AddedChip{241e12 + national, 9}));
}

TEST(ReadLostListTest, DecodesRecordsInReplyOrderAndSkipsOtherOperations) {
    const Bytes reply = Join({
        Record(206, 0x80 | 0x01, 0x23456789, 2, 7), // 826 * ... national 0x1_23456789
        Record(255, 0x40, 5, 1, 0),                 // 255 reads as 0: country 1
        Record(0, 0, 1, 3, 0),                      // operation 3: skipped
        Record(206, 0x80, 1000, 102, 99),           // removal; attribute ignored
        Record(0, 0, 2, 0, 0),                      // operation 0: skipped
        Record(254, 0xFF, 0xFFFFFFFF, 100, 0),      // largest: 1019 and 2^38 - 1
    });
    const LostListReply read = ReadLostList(reply);
    ASSERT_EQ(read.outcome, LostListOutcome::Changes);
    const AddedChips expectedAdded = {{826e12 + 0x123456789, 7}, {1e12 + 5, 0}};
    EXPECT_EQ(read.addedChips, expectedAdded);
    const RemovedChips expectedRemoved = {826e12 + 1000, 1019e12 + 274877906943.0};
    EXPECT_EQ(read.removedChips, expectedRemoved);
}

TEST(ReadLostListTest, SixteenBytesWithOperations2And102GiveOneOfEach) {
    const LostListReply read =
        ReadLostList(Join({Record(0, 0x40, 77, 2, 1), Record(0, 0x40, 78, 102, 0)}));
    EXPECT_EQ(read.outcome, LostListOutcome::Changes);
    EXPECT_EQ(read.addedChips, (AddedChips{{1e12 + 77, 1}}));
    EXPECT_EQ(read.removedChips, (RemovedChips{1e12 + 78}));
}

TEST(ReadLostListTest, OneRecordWithOperation0GivesTwoEmptyListsButStillChanges) {
    const LostListReply read = ReadLostList(Record(3, 0, 1, 0, 0));
    EXPECT_EQ(read.outcome, LostListOutcome::Changes);
    EXPECT_TRUE(read.addedChips.empty());
    EXPECT_TRUE(read.removedChips.empty());
}

TEST(ReadLostListTest, MoreThanTheListLimitOfOneKindIsMalformed) {
    const Bytes add = Record(206, 0x80, 1, 1, 0);
    const Bytes remove = Record(206, 0x80, 1, 100, 0);
    Bytes atLimit;
    for (std::size_t i = 0; i < kMaxListChanges; ++i) {
        atLimit.insert(atLimit.end(), add.begin(), add.end());
        atLimit.insert(atLimit.end(), remove.begin(), remove.end());
    }
    const LostListReply full = ReadLostList(atLimit);
    EXPECT_EQ(full.outcome, LostListOutcome::Changes);
    EXPECT_EQ(full.addedChips.size(), kMaxListChanges);
    EXPECT_EQ(full.removedChips.size(), kMaxListChanges);

    Bytes oneMoreRemoval = atLimit;
    oneMoreRemoval.insert(oneMoreRemoval.end(), remove.begin(), remove.end());
    const LostListReply over = ReadLostList(oneMoreRemoval);
    EXPECT_EQ(over.outcome, LostListOutcome::Malformed);
    EXPECT_TRUE(over.addedChips.empty());
}

TEST(PlainVersionTest, OnlyDigitsWithSingleDotsAfterTrimming) {
    struct Case {
        std::string reply;
        std::optional<std::string> version;
    };
    for (const Case& c :
         {Case{"2.6", "2.6"}, Case{" 2.6\r\n", "2.6"}, Case{"3", "3"}, Case{"10.0.12", "10.0.12"},
          Case{"", std::nullopt}, Case{" \n", std::nullopt}, Case{"2..6", std::nullopt},
          Case{".6", std::nullopt}, Case{"2.", std::nullopt}, Case{"2.6 beta", std::nullopt},
          Case{"../../evil", std::nullopt}, Case{"2.6/x", std::nullopt}, Case{"-2.6", std::nullopt},
          Case{"<HTML>", std::nullopt}, Case{"2.6;rm", std::nullopt}, Case{"2.6\nx", std::nullopt},
          Case{" 1.2.3.4.5.6.7.8 ", "1.2.3.4.5.6.7.8"}, Case{"1.2.3.4.5.6.7.8.9", std::nullopt},
          Case{std::string(10000, '9'), std::nullopt}}) {
        EXPECT_EQ(PlainVersion(B(c.reply)), c.version) << c.reply;
    }
}

} // namespace
} // namespace tallybird
