// Micro-benchmark of the section writer.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "records/mpcorb_record.h"
#include "records/packed_epoch.h"

namespace {

// Genuine records, as the tests ship them.
std::vector<std::string> records() {
  std::ifstream in(QUELVARN_TEST_DATA "/mpcorb-records.txt", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void BM_Record2Section(benchmark::State& state) {
  std::vector<std::string> lines = records();
  char section[quelvarn::kMaxSectionSize];
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quelvarn::record2section(lines[i++ % lines.size()], section));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Record2Section);

void BM_FormatJulianDay(benchmark::State& state) {
  char text[32];
  double day = quelvarn::jd("K239D");
  for (auto _ : state) {
    benchmark::DoNotOptimize(quelvarn::format_julian_day(day, text));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormatJulianDay);

void BM_Trim(benchmark::State& state) {
  std::string field = "   0.21409163";
  for (auto _ : state) benchmark::DoNotOptimize(quelvarn::trim(field));
}
BENCHMARK(BM_Trim);

}  // namespace

BENCHMARK_MAIN();
