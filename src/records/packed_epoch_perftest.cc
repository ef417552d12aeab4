// Micro-benchmark of the epoch conversion.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "records/packed_epoch.h"

namespace {

// A mix of epochs such as a catalogue holds: mostly a few recent ones.
std::vector<std::string> epochs() { return {"K239D", "K24AV", "K2421", "J9611", "K107N", "K1972", "K25BL", "I99CV"}; }

void BM_Jd(benchmark::State& state) {
  std::vector<std::string> all = epochs();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quelvarn::jd(all[i++ % all.size()]));
}
BENCHMARK(BM_Jd);

void BM_EpochReadable(benchmark::State& state) {
  std::vector<std::string> all = epochs();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quelvarn::epoch_readable(all[i++ % all.size()]));
}
BENCHMARK(BM_EpochReadable);

}  // namespace

BENCHMARK_MAIN();
