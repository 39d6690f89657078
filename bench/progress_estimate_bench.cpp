// The progress entries are called for every block an operation moves: the
// estimate's AddDone, with its one clock read and a refresh at most every
// 50 ms, beside a bare atomic add of the same count.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <atomic>

#include "window/models/progress_estimate.h"

namespace {

void BM_BareAtomicAdd(benchmark::State& state) {
    std::atomic<int64_t> done{0};
    qvbench::Recorded()["atomic"] = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state) {
            done.fetch_add(65536, std::memory_order_relaxed);
            benchmark::DoNotOptimize(done);
        }
    });
}
BENCHMARK(BM_BareAtomicAdd);

void BM_EstimateAddDone(benchmark::State& state) {
    dialogs::ProgressEstimate estimate(dialogs::CoarseSteadyMs);
    estimate.Start(u"Saving");
    estimate.SetTotal(uint64_t(1) << 62);
    qvbench::Recorded()["estimate"] = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state) benchmark::DoNotOptimize(estimate.AddDone(65536));
    });
    qvbench::RowOfRecorded("progress AddDone per block", "estimate", "bare atomic add", "atomic", 3.0);
}
BENCHMARK(BM_EstimateAddDone);

}  // namespace
