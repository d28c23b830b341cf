// The pairwise stage as the driver runs it, the pair clusters it leaves for
// the search, and the compact genotype table of the search.
#include "driver/pair_stage.h"

#include <mpi.h>

#include <string>
#include <vector>

#include "genotype/genotype_codes.h"
#include "input/free_format.h"
#include "pairwise/pairwise_inference.h"
#include "pairwise/threshold_simulation.h"
#include "runctl/parallel.h"
#include "state/likelihoodvar.h"
#include "state/setgetgtype.h"
#include "state/simuvariables.h"
#include "state/variables.h"

void PairRelation() {
  Variables& v = variables;
  // The pairwise inference divides its own work, so the division of loci
  // among processes is off while it runs and back on for the search.
  v.parallelq = 0;
  // The pairwise method, alone or as the guide of the full likelihood.
  if (v.quicksearchq == 1) {
    if (v.numchild(1) > 0 || v.numchild(2) > 0) {
      simuvariables.Threshold.assign(10, 2, 0.0);
      simuvariables.ThresholdH.assign(10, 2, 0.0);
      if (v.smplsizedh(2) > 0) DetermineDeltaValue(2);
      if (v.smplsizedh(1) > 0) DetermineDeltaValue(1);
    }
    PairwiseInference();
  }
  v.parallelq = v.numthreads > 1 ? 1 : 0;
}

bool PairStageDone() {
  double temperature = 0.0;
  int local = ReadMidResult6(temperature) ? 1 : 0, all = local;
  // Every process takes the same branch: the stage is collective.
  if (variables.numthreads > 1 && MpiActive()) MPI_Allreduce(&local, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  return all == 1;
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
  // One byte per offspring and position of this process's share of the
  // two-allele loci, offspring fastest: the search reads these codes far
  // more often than it could afford to unpack them.
  LikelihoodVar& lv = likelihoodvar;
  const int32_t first = lv.l2thread(1), last = lv.l2thread(2);
  const std::size_t n = static_cast<std::size_t>(std::max(variables.smplsize, 0));
  lv.indivgtype1.assign(last >= first ? static_cast<std::size_t>(last - first + 1) * n : 0, 0);
  for (int32_t pos = first; pos <= last; ++pos) {
    const int32_t l = lv.locus2[static_cast<std::size_t>(pos)];
    setgetgtype.locusgtypeptr = &variables.indivgtype(l);
    for (std::size_t i = 1; i <= n; ++i) {
      int32_t code = 0;
      GetGtype(code, static_cast<int32_t>(i), lv.obsnumallele(l));
      lv.indivgtype1[static_cast<std::size_t>(pos - first) * n + i - 1] = static_cast<uint8_t>(std::min(code, 3));
    }
  }
}
