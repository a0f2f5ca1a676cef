#include "session/list_merge.h"
#include "support/literal_merge.h"

#include <gtest/gtest.h>

#include <random>

namespace tallybird {
namespace {

const ScannerGeometry kBig{31, 511};

LostList ListOf(const std::vector<double>& values) {
    LostList list;
    for (std::size_t i = 0; i < values.size(); ++i) {
        list.values[i] = values[i];
        list.attributes[i] = static_cast<std::int16_t>(i % 7);
    }
    list.count = static_cast<std::int32_t>(values.size());
    return list;
}

struct Merged {
    ClearingPlan clearing;
    RefillPlan refill;
};

Merged Merge(LostList& list, ListChanges& changes, const ScannerGeometry& geometry) {
    ListMerger merger(list, changes);
    Merged merged;
    merged.clearing = merger.MergeRemovals();
    merged.refill = merger.MergeAdditions(geometry);
    return merged;
}

ListChanges Changes(std::vector<double> added, std::vector<double> removed) {
    ListChanges c;
    c.addedAttributes.assign(added.size(), 9);
    c.added = std::move(added);
    c.removed = std::move(removed);
    return c;
}

TEST(ListMergeTest, AddedAndRemovedTogetherCancel) {
    LostList list = ListOf({5, 6});
    ListChanges c = Changes({7, 8}, {7});
    const auto [clearing, plan] = Merge(list, c, kBig);
    EXPECT_TRUE(clearing.clearedSlots.empty());
    ASSERT_EQ(plan.appended.size(), 1u);
    EXPECT_EQ(list.values[2], 8);
    EXPECT_EQ(list.values[3], -1);
}

TEST(ListMergeTest, RemovalClearsOnlyTheFirstOfTwoEqualSlots) {
    LostList list = ListOf({5, 6, 5});
    ListChanges c = Changes({}, {5, 99});
    const ClearingPlan plan = ListMerger(list, c).MergeRemovals();
    EXPECT_EQ(plan.clearedSlots, std::vector<std::int32_t>{0});
    EXPECT_EQ(list.values[0], 0);
    EXPECT_EQ(list.values[2], 5);
    EXPECT_EQ(list.attributes[0], 0) << "clearing keeps the attribute";
}

TEST(ListMergeTest, KnownNumbersAreNotWrittenAgainButRepeatsArePlacedTwice) {
    LostList list = ListOf({5, 6});
    ListChanges c = Changes({6, 7, 7}, {});
    const RefillPlan plan = Merge(list, c, kBig).refill;
    ASSERT_EQ(plan.appended.size(), 2u);
    EXPECT_EQ(plan.appended[0].slot, 2);
    EXPECT_EQ(plan.appended[0].addedIndex, 1);
    EXPECT_EQ(list.values[2], 7);
    EXPECT_EQ(list.values[3], 7);
}

// Sector 0 with `cleared` of its slots cleared, then one new number.
RefillPlan RefillSectorZero(int cleared, LostList& list) {
    std::vector<double> values(700);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 1000 + static_cast<double>(i);
    }
    list = ListOf(values);
    std::vector<double> removed;
    for (int i = 0; i < cleared; ++i) {
        removed.push_back(1000 + 2 * i);
    }
    ListChanges c = Changes({42}, removed);
    return Merge(list, c, kBig).refill;
}

TEST(ListMergeTest, SectorIsRefilledFrom293ClearedSlots) {
    LostList list;
    RefillPlan plan = RefillSectorZero(292, list);
    EXPECT_TRUE(plan.erasedSectors.empty());
    ASSERT_EQ(plan.appended.size(), 1u);
    EXPECT_EQ(plan.appended[0].slot, 700);

    plan = RefillSectorZero(293, list);
    EXPECT_EQ(plan.erasedSectors, std::vector<int>{0});
    EXPECT_TRUE(plan.appended.empty());
    EXPECT_EQ(list.values[0], 42) << "lowest cleared slot first";
    EXPECT_EQ(list.attributes[0], 9);
    // Every slot starting in sector 0, and slot 585 that starts in its last
    // bytes, is rewritten after the erase.
    ASSERT_EQ(plan.rewrittenSlots.size(), 586u);
    EXPECT_EQ(plan.rewrittenSlots.back(), 585);
}

TEST(ListMergeTest, RecordStraddlingIntoAnErasedSectorIsRewritten) {
    // Clear 293 slots of sector 1 (its slots are 586..1169); slot 585 starts
    // in sector 0 and runs into sector 1.
    std::vector<double> values(1200);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 1000 + static_cast<double>(i);
    }
    LostList list = ListOf(values);
    std::vector<double> removed;
    for (int i = 0; i < 293; ++i) {
        removed.push_back(1000 + 586 + i);
    }
    ListChanges c = Changes({42}, removed);
    const RefillPlan plan = Merge(list, c, kBig).refill;
    EXPECT_EQ(plan.erasedSectors, std::vector<int>{1});
    ASSERT_FALSE(plan.rewrittenSlots.empty());
    EXPECT_EQ(plan.rewrittenSlots.front(), 585);
    EXPECT_EQ(plan.rewrittenSlots[1], 586);
}

TEST(ListMergeTest, NothingIsAppendedBeyondTheListMemory) {
    const ScannerGeometry small{7, 127};
    const int capacity = small.SlotCapacity();
    EXPECT_EQ(capacity, 122 * 4096 / 7);
    std::vector<double> values(static_cast<std::size_t>(capacity - 1), 5);
    LostList list = ListOf(values);
    ListChanges c = Changes({7, 8, 9}, {});
    const RefillPlan plan = Merge(list, c, small).refill;
    ASSERT_EQ(plan.appended.size(), 1u);
    EXPECT_EQ(plan.appended[0].slot, capacity - 1);
    EXPECT_EQ(plan.notAppended, 2);
    EXPECT_EQ(list.values[static_cast<std::size_t>(capacity)], -1);

    EXPECT_EQ(kBig.SlotCapacity(), kListSlots) << "the table bounds the large scanner";
}

// Random tables around the refill threshold, with repeats and cancelled
// pairs: the indexed merge must do exactly what the linear one does.
TEST(ListMergeTest, AgreesWithTheLiteralMergeOnRandomInputs) {
    std::mt19937 random(20261210);
    int roundsWithErase = 0;
    int roundsWithout = 0;
    for (int round = 0; round < 60; ++round) {
        const int n = std::uniform_int_distribution<int>(0, 2400)(random);
        const int distinct = std::uniform_int_distribution<int>(50, 3000)(random);
        auto chip = [&] {
            return 985e12 + std::uniform_int_distribution<int>(1, distinct)(random);
        };
        std::vector<double> values(static_cast<std::size_t>(n));
        for (double& v : values) {
            v = std::uniform_int_distribution<int>(0, 9)(random) == 0 ? 0 : chip();
        }
        LostList base = ListOf(values);
        ListChanges changes;
        // Many removals of listed numbers push sectors across 293.
        const int removals = std::uniform_int_distribution<int>(0, n)(random);
        for (int i = 0; i < removals; ++i) {
            changes.removed.push_back(
                n > 0 && i % 3 != 0 ? values[static_cast<std::size_t>(
                                          std::uniform_int_distribution<int>(0, n - 1)(random))]
                                    : chip());
        }
        const int additions = std::uniform_int_distribution<int>(0, 1500)(random);
        for (int i = 0; i < additions; ++i) {
            const bool cancelled = !changes.removed.empty() && i % 11 == 0;
            changes.added.push_back(
                cancelled ? changes.removed[static_cast<std::size_t>(i) % changes.removed.size()]
                          : chip());
            changes.addedAttributes.push_back(static_cast<std::uint8_t>(i));
        }

        LostList expectedList = base;
        ListChanges expectedChanges = changes;
        const auto expected = test::LiteralMerge(expectedList, expectedChanges);

        LostList list = base;
        const auto [clearing, refill] = Merge(list, changes, kBig);

        EXPECT_EQ(clearing.clearedSlots, expected.clearedSlots) << "round " << round;
        EXPECT_EQ(list, expectedList) << "round " << round;
        std::vector<int> erased;
        for (int s = 0; s < 506; ++s) {
            if (expected.sectorState[static_cast<std::size_t>(s)] == 2) {
                erased.push_back(s);
            }
        }
        EXPECT_EQ(refill.erasedSectors, erased) << "round " << round;
        (erased.empty() ? roundsWithout : roundsWithErase) += 1;
        std::vector<std::int32_t> appended;
        for (const Appended& a : refill.appended) {
            appended.push_back(a.slot);
        }
        EXPECT_EQ(appended, expected.appendedSlots) << "round " << round;
    }
    EXPECT_GT(roundsWithErase, 5) << "the inputs must reach the refill threshold";
    EXPECT_GT(roundsWithout, 5);
}

} // namespace
} // namespace tallybird
