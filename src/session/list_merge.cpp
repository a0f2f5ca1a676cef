#include "session/list_merge.h"

#include <deque>
#include <unordered_map>

namespace tallybird {
namespace {

// Positions of each value, ascending; the front is the first match a linear
// search from the start would find.
using PositionIndex = std::unordered_map<double, std::deque<std::int32_t>>;

PositionIndex IndexPositions(const std::vector<double>& values, std::size_t count) {
    PositionIndex index;
    index.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        index[values[i]].push_back(static_cast<std::int32_t>(i));
    }
    return index;
}

// The index of a list that has handed out its front positions.
std::int32_t TakeFirst(PositionIndex& index, double value) {
    const auto it = index.find(value);
    if (it == index.end() || it->second.empty()) {
        return -1;
    }
    const std::int32_t first = it->second.front();
    it->second.pop_front();
    return first;
}

bool StraddlesIntoErasedSector(std::int64_t slot, const std::vector<int>& sectorState) {
    if (SlotFitsItsSector(slot)) {
        return false;
    }
    const auto next = static_cast<std::size_t>(SectorOfSlot(slot) + 1);
    return next < sectorState.size() && sectorState[next] == 2;
}

} // namespace

ClearingPlan MergeRemovals(LostList& list, ListChanges& changes) {
    // Cancel pairs: each removal takes back the first equal addition.
    PositionIndex addedAt = IndexPositions(changes.added, changes.added.size());
    for (double& removed : changes.removed) {
        if (removed <= 0) {
            continue; // a zero entry finds nothing that changes
        }
        const std::int32_t added = TakeFirst(addedAt, removed);
        if (added >= 0) {
            changes.added[static_cast<std::size_t>(added)] = 0;
            removed = 0;
        }
    }

    ClearingPlan plan;
    const auto count = static_cast<std::size_t>(list.count);
    PositionIndex slotsOf = IndexPositions(list.values, count);
    for (const double removed : changes.removed) {
        if (removed <= 0) {
            continue;
        }
        const std::int32_t slot = TakeFirst(slotsOf, removed);
        if (slot >= 0) {
            list.values[static_cast<std::size_t>(slot)] = 0;
            plan.clearedSlots.push_back(slot);
        }
    }
    return plan;
}

RefillPlan MergeAdditions(LostList& list, ListChanges& changes, const ScannerGeometry& geometry) {
    const std::int32_t count = list.count;

    // Drop numbers the list holds (cleared slots now read 0 and hold none).
    std::unordered_map<double, bool> held;
    held.reserve(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) {
        held.emplace(list.values[static_cast<std::size_t>(k)], true);
    }
    for (double& added : changes.added) {
        if (added > 0 && held.count(added) != 0) {
            added = 0;
        }
    }

    // Count cleared slots per sector; enough of them make a refill candidate.
    const int sectors = SectorOfSlot(kListSlots) + 2;
    std::vector<int> freeCount(static_cast<std::size_t>(sectors), 0);
    std::vector<int> sectorState(static_cast<std::size_t>(sectors), 0);
    for (std::int32_t k = 0; k < count; ++k) {
        if (SlotFitsItsSector(k) && list.values[static_cast<std::size_t>(k)] == 0) {
            const auto s = static_cast<std::size_t>(SectorOfSlot(k));
            if (++freeCount[s] >= kRefillThreshold && sectorState[s] == 0) {
                sectorState[s] = 1;
            }
        }
    }

    // Refill candidates' cleared slots with new numbers in reply order.
    std::size_t next = 0;
    auto nextNewNumber = [&]() -> std::int64_t {
        while (next < changes.added.size() && changes.added[next] <= 0) {
            ++next;
        }
        return next < changes.added.size() ? static_cast<std::int64_t>(next) : -1;
    };
    for (std::int32_t k = 0; k < count; ++k) {
        const auto s = static_cast<std::size_t>(SectorOfSlot(k));
        if (!SlotFitsItsSector(k) || list.values[static_cast<std::size_t>(k)] != 0 ||
            sectorState[s] == 0 || static_cast<int>(s) > geometry.LastListSector()) {
            continue;
        }
        const std::int64_t source = nextNewNumber();
        if (source < 0) {
            break; // nothing left: the remaining candidates stay as they are
        }
        const auto i = static_cast<std::size_t>(source);
        list.values[static_cast<std::size_t>(k)] = changes.added[i];
        list.attributes[static_cast<std::size_t>(k)] = changes.addedAttributes[i];
        changes.added[i] = 0;
        sectorState[s] = 2;
    }

    RefillPlan plan;
    for (int s = 0; s <= geometry.LastListSector() && s < sectors; ++s) {
        if (sectorState[static_cast<std::size_t>(s)] == 2) {
            plan.erasedSectors.push_back(s);
        }
    }
    for (std::int32_t k = 0; k < count; ++k) {
        if (sectorState[static_cast<std::size_t>(SectorOfSlot(k))] == 2 ||
            StraddlesIntoErasedSector(k, sectorState)) {
            plan.rewrittenSlots.push_back(k);
        }
    }

    // Append what is left after the list, as far as the list memory reaches.
    const std::int32_t capacity = geometry.SlotCapacity();
    std::int32_t pos = count;
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
    return plan;
}

} // namespace tallybird
