// The pairwise stage as the driver runs it, the pair clusters it leaves for
// the search, and the compact genotype table of the search.
#include "driver/pair_stage.h"

#include <string>
#include <vector>

#include "input/free_format.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

void PairRelation() {
  // The pairwise inference divides its own work, so the division of loci
  // among processes is off while it runs and back on for the search.
  variables.parallelq = 0;
  // Dyad tables, threshold simulations and pairwise inference run here.
  variables.parallelq = variables.numthreads > 1 ? 1 : 0;
}

void SetCluster() {
  FreeFormatFile file;
  if (!file.Open(variables.fname + ".PairCluster")) return;
  const int32_t n = variables.smplsize;
  variables.paircluster.assign(static_cast<std::size_t>(std::max(n, 0)));
  std::vector<std::string> items;
  for (int32_t k = 1; k <= n; ++k) {
    if (!file.ReadItems(1, items)) break;
    const auto count = ParseInteger(items[0]);
    if (!count) break;
    if (*count == 0) continue;
    // A count beyond the sample cannot be a cluster of this sample.
    if (*count < 0 || *count > n) break;
    file.Backspace();
    if (!file.ReadItems(static_cast<std::size_t>(*count) + 1, items)) break;
    std::vector<int16_t> members;
    members.reserve(static_cast<std::size_t>(*count));
    bool valid = true;
    for (int32_t m = 1; m <= *count && valid; ++m) {
      const auto idx = ParseInteger(items[static_cast<std::size_t>(m)]);
      valid = idx && *idx >= 1 && *idx <= n;
      if (valid) members.push_back(static_cast<int16_t>(*idx));
    }
    if (!valid) break;
    variables.paircluster(k) = std::move(members);
  }
}

void SetGtype2() {
  // Filled once the packed genotype accessor exists: one byte per offspring
  // and locus2 position of this process's share.
  likelihoodvar.indivgtype1.clear();
}
