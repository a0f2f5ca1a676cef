// The list merge at its worst: 250,000 slots, 250,000 removals and 250,000
// additions, first with the plain linear searches, then with ours.
#include "session/list_merge.h"
#include "support/literal_merge.h"

#include <benchmark/benchmark.h>

namespace tallybird {
namespace {

constexpr int kSize = 250000;

struct WorstCase {
    LostList list;
    ListChanges changes;

    WorstCase() {
        for (int i = 0; i < kSize; ++i) {
            list.values[static_cast<std::size_t>(i)] = 985e12 + i;
        }
        list.count = kSize;
        // Every removal is found late in the table, no addition cancels a
        // removal, and no addition is known: every search runs long.
        for (int i = 0; i < kSize; ++i) {
            changes.removed.push_back(985e12 + (kSize - 1 - i));
            changes.added.push_back(986e12 + i);
            changes.addedAttributes.push_back(static_cast<std::uint8_t>(i));
        }
    }
};

void BM_MergeLiteral(benchmark::State& state) {
    const WorstCase input;
    for (auto _ : state) {
        state.PauseTiming();
        LostList list = input.list;
        ListChanges changes = input.changes;
        state.ResumeTiming();
        benchmark::DoNotOptimize(test::LiteralMerge(list, changes));
    }
}
BENCHMARK(BM_MergeLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_MergeIndexed(benchmark::State& state) {
    const WorstCase input;
    const ScannerGeometry geometry{31, 511};
    for (auto _ : state) {
        state.PauseTiming();
        LostList list = input.list;
        ListChanges changes = input.changes;
        state.ResumeTiming();
        ListMerger merger(list, changes);
        benchmark::DoNotOptimize(merger.MergeRemovals());
        benchmark::DoNotOptimize(merger.MergeAdditions(geometry));
    }
}
BENCHMARK(BM_MergeIndexed)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tallybird

BENCHMARK_MAIN();
