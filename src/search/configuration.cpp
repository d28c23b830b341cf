// The configuration model: the initial configuration, counts of assigned
// candidates, and the selection of the configuration that shared routines
// work on.
#include "search/configuration.h"

#include <vector>

#include "state/variables.h"

void UseCurrentConfig() {
  variables.IndivLocPrt = &variables.CrIndivLoc;
  variables.InferParentPrt = &variables.InferParent;
  variables.LogLikelihoodPrt = &variables.CrLogLikelihood;
}

void UseBestConfig() {
  variables.IndivLocPrt = &variables.BtIndivLoc;
  variables.InferParentPrt = &variables.BtInferParent;
  variables.LogLikelihoodPrt = &variables.btloglikelihood;
}

void FindAssignment(Arr1<int32_t, 4>& out) {
  out.fill(0);
  const Mat1<int32_t>* parents = variables.InferParentPrt;
  if (parents == nullptr || parents->empty()) return;
  for (int32_t k = 1; k <= 2; ++k) {
    const int32_t nc = variables.numchild(k);
    if (nc < 1) continue;
    std::vector<char> seen(static_cast<std::size_t>(nc) + 1, 0);
    for (int32_t i = 1; i <= variables.smplsize; ++i) {
      const int32_t c = (*parents)(i, k);
      if (c <= 0 || c > nc) continue;
      ++out(k + 2);
      if (seen[static_cast<std::size_t>(c)] == 0) {
        seen[static_cast<std::size_t>(c)] = 1;
        ++out(k);
      }
    }
  }
}
