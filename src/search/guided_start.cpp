// The start of the pairwise-guided full-likelihood search. The pair
// likelihoods find most full-sib families of a sample at a small fraction
// of the cost of the full-likelihood search; starting from them, the search
// only has to join the half sibs, mend the few pairs classified wrongly and
// assign the parents, which it does at low temperatures.
#include "search/guided_start.h"

#include <algorithm>
#include <vector>

#include "pairwise/dyad_tables.h"
#include "pairwise/pairwise_inference.h"
#include "search/configuration.h"
#include "state/variables.h"

namespace {

// Prior knowledge fixes families and parents that a guess must not cut
// across; the guided start leaves such samples to the plain start.
bool AnyKnowledge() {
  const Variables& v = variables;
  return v.anyknownprntq != 0 || v.anyexcludedparentq != 0 || v.anyexcludedsibshipq != 0 ||
         v.numknownsibship(1) > 0 || v.numknownsibship(2) > 0;
}

}  // namespace

bool PairwiseGuided() { return variables.quicksearchq == 1 && variables.fulllikelihoodmethodq == 1; }

int32_t GuidedFirstConfig() {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  if (!PairwiseGuided() || n < 2 || v.numsex != 2 || v.haplodiploid != 0 || AnyKnowledge() ||
      !OffspringDyadReady()) {
    return 0;
  }
  // Groups joined by complete linkage: a full-sib pair joins the groups of
  // its two offspring only when every pair across them is full sibs too,
  // so that a pair classified wrongly cannot chain two families (or a whole
  // sample) into one. A true family left in parts is joined by the search's
  // merges easily; a wrong family would be hard to take apart.
  std::vector<int32_t> group(static_cast<std::size_t>(n) + 1);
  std::vector<std::vector<int32_t>> members(static_cast<std::size_t>(n) + 1);
  for (int32_t i = 1; i <= n; ++i) {
    group[static_cast<std::size_t>(i)] = i;
    members[static_cast<std::size_t>(i)] = {i};
  }
  int32_t joined = 0;
  for (int32_t i = 1; i < n; ++i) {
    for (int32_t j = i + 1; j <= n; ++j) {
      const int32_t a = group[static_cast<std::size_t>(i)], b = group[static_cast<std::size_t>(j)];
      if (a == b || ClassifyPair(i, j) != 1) continue;
      std::vector<int32_t>& ma = members[static_cast<std::size_t>(a)];
      std::vector<int32_t>& mb = members[static_cast<std::size_t>(b)];
      bool fullsibs = true;
      for (std::size_t x = 0; x < ma.size() && fullsibs; ++x) {
        for (std::size_t y = 0; y < mb.size() && fullsibs; ++y) {
          fullsibs = ClassifyPair(std::min(ma[x], mb[y]), std::max(ma[x], mb[y])) == 1;
        }
      }
      if (!fullsibs) continue;
      for (int32_t y : mb) group[static_cast<std::size_t>(y)] = a;
      ma.insert(ma.end(), mb.begin(), mb.end());
      mb.clear();
      ++joined;
    }
  }
  // Families numbered in order of their first member, one family of each
  // sex per full-sib family.
  std::vector<int32_t> family(static_cast<std::size_t>(n) + 1, 0);
  int32_t next = 0;
  for (int32_t i = 1; i <= n; ++i) {
    int32_t& f = family[static_cast<std::size_t>(group[static_cast<std::size_t>(i)])];
    if (f == 0) f = ++next;
    v.CrIndivLoc(i, 1) = f;
    v.CrIndivLoc(i, 2) = f;
    v.InferParent(i, 1) = 0;
    v.InferParent(i, 2) = 0;
  }
  v.CrNumFamily(1) = next;
  v.CrNumFamily(2) = next;
  UseCurrentConfig();
  return joined;
}
