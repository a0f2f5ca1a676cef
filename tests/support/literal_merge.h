#pragma once

// The merge written as plainly as it is described: linear searches, first
// match, reply order. The production merge must agree with it exactly.

#include "session/list_merge.h"

#include <vector>

namespace tallybird::test {

struct LiteralMergeResult {
    std::vector<std::int32_t> clearedSlots;
    std::vector<int> sectorState; // per sector
    std::vector<std::int32_t> appendedSlots;
};

inline LiteralMergeResult LiteralMerge(LostList& list, ListChanges& c) {
    LiteralMergeResult out;
    const std::int32_t n = list.count;
    for (auto& r : c.removed) {
        for (auto& a : c.added) {
            if (a == r) {
                a = 0;
                r = 0;
                break;
            }
        }
    }
    for (const double r : c.removed) {
        if (r <= 0) {
            continue;
        }
        for (std::int32_t k = 0; k < n; ++k) {
            if (list.values[k] == r) {
                list.values[k] = 0;
                out.clearedSlots.push_back(k);
                break;
            }
        }
    }
    for (auto& a : c.added) {
        if (a <= 0) {
            continue;
        }
        for (std::int32_t k = 0; k < n; ++k) {
            if (list.values[k] == a) {
                a = 0;
                break;
            }
        }
    }
    std::vector<int> freeCount(513, 0);
    out.sectorState.assign(513, 0);
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int64_t offset = (std::int64_t{k} * 7) % 4096;
        if (offset <= 4089 && list.values[k] == 0) {
            const int s = static_cast<int>(std::int64_t{k} * 7 / 4096);
            freeCount[s] += 1;
            if (freeCount[s] > 292.5) {
                out.sectorState[s] = 1;
            }
        }
    }
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int64_t offset = (std::int64_t{k} * 7) % 4096;
        const int s = static_cast<int>(std::int64_t{k} * 7 / 4096);
        if (offset <= 4089 && list.values[k] == 0 &&
            (out.sectorState[s] == 1 || out.sectorState[s] == 2)) {
            for (std::size_t i = 0; i < c.added.size(); ++i) {
                if (c.added[i] > 0) {
                    list.values[k] = c.added[i];
                    list.attributes[k] = c.addedAttributes[i];
                    c.added[i] = 0;
                    out.sectorState[s] = 2;
                    break;
                }
            }
        }
    }
    // The table ends at slot 250,000; what does not fit is not appended.
    std::int32_t pos = n;
    for (std::size_t i = 0; i < c.added.size() && pos < kListSlots; ++i) {
        if (c.added[i] > 0) {
            list.values[pos] = c.added[i];
            list.attributes[pos] = c.addedAttributes[i];
            out.appendedSlots.push_back(pos);
            ++pos;
        }
    }
    return out;
}

} // namespace tallybird::test
