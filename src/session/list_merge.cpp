#include "session/list_merge.h"

#include <bit>
#include <cstdint>

namespace tallybird {

// Positions of equal values, handed out lowest first, as a linear search
// from the start would find them. Open addressing over the values' bit
// patterns keeps the largest tables in flat arrays.
class PositionIndex {
public:
    PositionIndex(const std::vector<double>& values, std::size_t count) : next_(count, -1) {
        std::size_t capacity = 16;
        while (capacity < 2 * count) {
            capacity *= 2;
        }
        keys_.resize(capacity);
        heads_.assign(capacity, kEmpty);
        mask_ = capacity - 1;
        // Walk backwards so each chain runs in ascending position order.
        for (std::size_t i = count; i-- > 0;) {
            const std::size_t slot = Find(values[i]);
            if (heads_[slot] == kEmpty) {
                keys_[slot] = Key(values[i]);
                heads_[slot] = kExhausted;
            }
            next_[i] = heads_[slot];
            heads_[slot] = static_cast<std::int32_t>(i);
        }
    }

    // The lowest position of `value` not handed out yet, or -1.
    std::int32_t TakeFirst(double value) {
        const std::size_t slot = Find(value);
        const std::int32_t first = heads_[slot];
        if (first < 0) {
            return -1;
        }
        heads_[slot] = next_[static_cast<std::size_t>(first)];
        return first;
    }

    // Whether any position of `value` is still there.
    bool Holds(double value) const { return heads_[Find(value)] >= 0; }

private:
    static constexpr std::int32_t kEmpty = -2;     // no key in this slot
    static constexpr std::int32_t kExhausted = -1; // key known, positions used up

    static std::uint64_t Key(double value) {
        return std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value); // -0 equals 0
    }

    std::size_t Find(double value) const {
        const std::uint64_t key = Key(value);
        std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 17) & mask_;
        while (heads_[slot] != kEmpty && keys_[slot] != key) {
            slot = (slot + 1) & mask_;
        }
        return slot;
    }

    std::vector<std::int32_t> next_;
    std::vector<std::uint64_t> keys_;
    std::vector<std::int32_t> heads_;
    std::size_t mask_ = 0;
};

namespace {

bool StraddlesIntoErasedSector(std::int64_t slot, const std::vector<int>& sectorState) {
    if (SlotFitsItsSector(slot)) {
        return false;
    }
    const auto next = static_cast<std::size_t>(SectorOfSlot(slot)) + 1;
    return next < sectorState.size() && sectorState[next] == 2;
}

} // namespace

ListMerger::ListMerger(LostList& list, ListChanges& changes)
    : list_(list), changes_(changes),
      slotsOf_(std::make_unique<PositionIndex>(list.values, static_cast<std::size_t>(list.count))) {
}

ListMerger::~ListMerger() = default;

ClearingPlan ListMerger::MergeRemovals() {
    LostList& list = list_;
    ListChanges& changes = changes_;
    // Cancel pairs: each removal takes back the first equal addition.
    PositionIndex addedAt(changes.added, changes.added.size());
    for (double& removed : changes.removed) {
        if (removed <= 0) {
            continue; // a zero entry finds nothing that changes
        }
        const std::int32_t added = addedAt.TakeFirst(removed);
        if (added >= 0) {
            changes.added[static_cast<std::size_t>(added)] = 0;
            removed = 0;
        }
    }

    ClearingPlan plan;
    for (const double removed : changes.removed) {
        if (removed <= 0) {
            continue;
        }
        const std::int32_t slot = slotsOf_->TakeFirst(removed);
        if (slot >= 0) {
            list.values[static_cast<std::size_t>(slot)] = 0;
            plan.clearedSlots.push_back(slot);
        }
    }
    return plan;
}

namespace {

// Sectors of the table (and one beyond), each with its refill state:
// 0 left alone, 1 enough cleared slots to refill, 2 refilled (erase it).
using SectorStates = std::vector<int>;

SectorStates RefillCandidates(const LostList& list) {
    const int sectors = SectorOfSlot(kListSlots) + 2;
    std::vector<int> freeCount(static_cast<std::size_t>(sectors), 0);
    SectorStates state(static_cast<std::size_t>(sectors), 0);
    for (std::int32_t k = 0; k < list.count; ++k) {
        if (SlotFitsItsSector(k) && list.values[static_cast<std::size_t>(k)] == 0) {
            const auto s = static_cast<std::size_t>(SectorOfSlot(k));
            if (++freeCount[s] >= kRefillThreshold && state[s] == 0) {
                state[s] = 1;
            }
        }
    }
    return state;
}

// The candidates' cleared slots take new numbers in reply order.
void RefillClearedSlots(LostList& list, ListChanges& changes, SectorStates& state,
                        const ScannerGeometry& geometry) {
    std::size_t next = 0;
    auto nextNewNumber = [&]() -> std::int64_t {
        while (next < changes.added.size() && changes.added[next] <= 0) {
            ++next;
        }
        return next < changes.added.size() ? static_cast<std::int64_t>(next) : -1;
    };
    for (std::int32_t k = 0; k < list.count; ++k) {
        const auto s = static_cast<std::size_t>(SectorOfSlot(k));
        if (!SlotFitsItsSector(k) || list.values[static_cast<std::size_t>(k)] != 0 ||
            state[s] == 0 || static_cast<int>(s) > geometry.LastListSector()) {
            continue;
        }
        const std::int64_t source = nextNewNumber();
        if (source < 0) {
            return; // nothing left: the remaining candidates stay as they are
        }
        const auto i = static_cast<std::size_t>(source);
        list.values[static_cast<std::size_t>(k)] = changes.added[i];
        list.attributes[static_cast<std::size_t>(k)] = changes.addedAttributes[i];
        changes.added[i] = 0;
        state[s] = 2;
    }
}

void PlanErasesAndRewrites(const LostList& list, const SectorStates& state,
                           const ScannerGeometry& geometry, RefillPlan& plan) {
    const auto sectors = static_cast<int>(state.size());
    for (int s = 0; s <= geometry.LastListSector() && s < sectors; ++s) {
        if (state[static_cast<std::size_t>(s)] == 2) {
            plan.erasedSectors.push_back(s);
        }
    }
    for (std::int32_t k = 0; k < list.count; ++k) {
        if (state[static_cast<std::size_t>(SectorOfSlot(k))] == 2 ||
            StraddlesIntoErasedSector(k, state)) {
            plan.rewrittenSlots.push_back(k);
        }
    }
}

// What is left goes after the list, as far as the list memory reaches.
void AppendTheRest(LostList& list, const ListChanges& changes, const ScannerGeometry& geometry,
                   RefillPlan& plan) {
    const std::int32_t capacity = geometry.SlotCapacity();
    std::int32_t pos = list.count;
    for (std::size_t i = 0; i < changes.added.size(); ++i) {
        if (changes.added[i] <= 0) {
            continue;
        }
        if (pos >= capacity) {
            ++plan.notAppended;
            continue;
        }
        list.values[static_cast<std::size_t>(pos)] = changes.added[i];
        list.attributes[static_cast<std::size_t>(pos)] = changes.addedAttributes[i];
        plan.appended.push_back({pos, static_cast<std::int32_t>(i)});
        ++pos;
    }
}

} // namespace

RefillPlan ListMerger::MergeAdditions(const ScannerGeometry& geometry) {
    // Drop numbers the list still holds: what the removals left in the index.
    for (double& added : changes_.added) {
        if (added > 0 && slotsOf_->Holds(added)) {
            added = 0;
        }
    }
    SectorStates state = RefillCandidates(list_);
    RefillClearedSlots(list_, changes_, state, geometry);
    RefillPlan plan;
    PlanErasesAndRewrites(list_, state, geometry, plan);
    AppendTheRest(list_, changes_, geometry, plan);
    return plan;
}

} // namespace tallybird
