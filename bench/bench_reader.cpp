// Cost of splitting project-file lines into items: the reader's inner loop
// for large SNP samples.
#include <benchmark/benchmark.h>

#include <string>

#include "input/free_format.h"

static void BM_SplitSnpLine(benchmark::State& state) {
  const int nloci = static_cast<int>(state.range(0));
  std::string line = "offspring_000123 ";
  for (int l = 0; l < nloci; ++l) line += (l % 3 == 0) ? "1 2 " : "2 2 ";
  for (auto _ : state) {
    auto items = SplitFreeFormat(line);
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * (2 * nloci + 1));
}
BENCHMARK(BM_SplitSnpLine)->Arg(1000)->Arg(10000);
