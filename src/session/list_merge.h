#pragma once

#include "model/lost_list.h"
#include "model/scanner_memory.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tallybird {

// The service's changes to the missing-animal list, in reply order. An entry
// set to 0 by the merge counts as gone.
struct ListChanges {
    std::vector<double> added;
    std::vector<std::uint8_t> addedAttributes;
    std::vector<double> removed;
};

// What the first half of the merge decided: the slots cleared in place, in
// the order found. The list's values are updated.
struct ClearingPlan {
    std::vector<std::int32_t> clearedSlots;
};

// One number to append: its slot and where it came from in `added`.
struct Appended {
    std::int32_t slot;
    std::int32_t addedIndex;
};

// What the second half decided: sectors to erase (ascending), slots to
// rewrite after the erases (ascending), numbers to append after the list.
struct RefillPlan {
    std::vector<int> erasedSectors;
    std::vector<std::int32_t> rewrittenSlots;
    std::vector<Appended> appended;
    // New numbers that no longer fit the scanner's list memory.
    std::int32_t notAppended = 0;
};

class PositionIndex;

// Merges the service's changes into the list in two halves, between which the
// cleared slots are written to the scanner. Results equal those of linear
// searches in reply order (first matching slot, first matching entry), found
// with an index so that the largest tables merge in milliseconds.
class ListMerger {
public:
    ListMerger(LostList& list, ListChanges& changes);
    ~ListMerger();
    ListMerger(const ListMerger&) = delete;
    ListMerger& operator=(const ListMerger&) = delete;

    // Cancels pairs that are both added and removed, then clears the first
    // slot holding each removed number.
    ClearingPlan MergeRemovals();

    // Drops numbers the list already holds, refills cleared slots of sectors
    // with at least 293 of them (lowest slot first, numbers in reply order),
    // and appends the rest after the list while they fit `geometry`'s list
    // memory and the table. A record that starts in the last bytes of the
    // sector before an erased one is rewritten too, so the erase never cuts
    // it. Updates the list's values and attributes, including the appended
    // slots; the count stays until `LostList::RecomputeCount`.
    RefillPlan MergeAdditions(const ScannerGeometry& geometry);

private:
    LostList& list_;
    ListChanges& changes_;
    std::unique_ptr<PositionIndex> slotsOf_;
};

} // namespace tallybird
