// Loading the built-in data: parse, read, validate and hash.
#include <benchmark/benchmark.h>

#include "core/data/game_data.h"

namespace {

void BM_LoadBuiltinData(benchmark::State& state) {
  for (auto _ : state) {
    velmora::DataLoad load = velmora::load_game_data(velmora::builtin_texts());
    benchmark::DoNotOptimize(load.ok());
  }
}
BENCHMARK(BM_LoadBuiltinData)->Unit(benchmark::kMicrosecond);

void BM_DataHash(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(velmora::data_hash(velmora::builtin_texts()));
}
BENCHMARK(BM_DataHash)->Unit(benchmark::kMicrosecond);

}  // namespace
