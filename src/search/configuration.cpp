// The configuration model: the initial configuration, counts of assigned
// candidates, and the selection of the configuration that shared routines
// work on.
#include "search/configuration.h"

#include <iostream>
#include <numeric>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "likelihood/peeling.h"
#include "runctl/error_stop.h"
#include "search/clusters.h"
#include "search/pair_score.h"
#include "search/parentage_moves.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

bool HaploidOffspring(int32_t i) {
  const Variables& v = variables;
  return v.haplodiploid == 1 && static_cast<std::size_t>(i) <= v.offploid.size() && v.offploid(i) == 1;
}

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

namespace {

// The offspring that must share a family of side k: the same known
// sibship label of side k, and, when the other side is monogamous, the
// same known label of the other side (full sibs through a monogamous
// parent share both parents).
void GroupKnown(int32_t k, std::vector<int32_t>& up) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  std::iota(up.begin(), up.end(), 0);
  if (v.knownsibship.empty()) return;
  const int32_t other = 3 - k;
  for (int32_t side : {k, other}) {
    if (side == other && (v.monogamy(other) == 0 || v.numsex == 1)) continue;
    std::vector<int32_t> first(static_cast<std::size_t>(n) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      const int32_t label = v.knownsibship(i, side);
      if (label <= 0 || label > n) continue;
      int32_t& f = first[static_cast<std::size_t>(label)];
      if (f == 0) {
        f = i;
      } else {
        up[static_cast<std::size_t>(FindRoot(up, i))] = FindRoot(up, f);
      }
    }
  }
}

}  // namespace

void FirstConfig(int32_t /*run*/) {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  v.CrIndivLoc.assign(static_cast<std::size_t>(n), 3, 0);
  v.InferParent.assign(static_cast<std::size_t>(n), 2, 0);
  std::vector<int32_t> up(static_cast<std::size_t>(n) + 1);
  for (int32_t k = 1; k <= 2; ++k) {
    // In a monoecious sample both sides number one pool of parents.
    int32_t next = k > v.numsex ? v.CrNumFamily(1) : 0;
    GroupKnown(k, up);
    std::vector<int32_t> family(static_cast<std::size_t>(n) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      const int32_t root = FindRoot(up, i);
      if (family[static_cast<std::size_t>(root)] == 0) family[static_cast<std::size_t>(root)] = ++next;
      v.CrIndivLoc(i, k) = family[static_cast<std::size_t>(root)];
    }
    v.CrNumFamily(k) = next;
  }
  if (v.numsex == 1) v.CrNumFamily(1) = v.CrNumFamily(2);  // one pool of parents
  // Known parents: each known candidate is linked to the family of the
  // first offspring that names it, and every offspring of that family gets
  // it (on the father side only diploid offspring have a father).
  if (!v.indivparent.empty() && (v.numknownprnt(3) > 0 || v.numknownprnt(4) > 0)) {
    for (int32_t k = 1; k <= 2; ++k) {
      std::vector<int32_t> linked(static_cast<std::size_t>(v.CrNumFamily(k)) + 1, 0);
      for (int32_t i = 1; i <= n; ++i) {
        const int32_t c = v.indivparent(i, k);
        if (c <= 0) continue;
        int32_t& slot = linked[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
        if (slot == 0) slot = c;
      }
      for (int32_t i = 1; i <= n; ++i) {
        if (k == 1 && HaploidOffspring(i)) continue;
        const int32_t known = v.indivparent(i, k);
        const int32_t c = linked[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
        v.InferParent(i, k) = known > 0 ? known : c;
      }
    }
  }
  UseCurrentConfig();
}

void SetInitConfigLogL(int32_t /*mode*/) {
  Variables& v = variables;
  UseCurrentConfig();
  SetInitCluster();
  if (v.displayq != 0 && v.showq != 0) std::cout << "Computing likelihood of initial config" << std::endl;
  if (PairScoreMethod()) {
    // Every offspring's share and every cluster's value, for the moves;
    // the total from scratch. A total at or below the single-precision
    // impossible value holds a pair the known relationships put into an
    // impossible relationship.
    SetPairScores();
    double total = 0.0;
    CalculateCrrtPairLogL(total);
    if (total <= -9.999999680285692e37) {
      for (int32_t k = 1; k <= v.CrNumFamily(3); ++k) {
        if (v.CrFamilyLogL(k) <= -9.999999680285692e37) InvalidConfig(1, k);
      }
      InvalidConfig(2);
    }
    v.CrLogLikelihood = total;
    return;
  }
  v.CrFamilyLogL.assign(static_cast<std::size_t>(std::max(v.smplsize, 0)), 0.0);
  double total = 0.0;
  const int32_t precision = v.likelihoodprecision;
  for (int32_t k = 1; k <= v.CrNumFamily(3); ++k) {
    double logl = -1e300;
    // An impossible cluster is tried again at higher precision: pruning
    // may have dropped the only genotypes that make it possible.
    for (int32_t attempt = 0; attempt < 4; ++attempt) {
      FamilyBuild(k);
      FamilyLikelihood(logl, -1e300, 1, 0, 0);
      if (logl > -9.999999680285692e37) break;
      v.likelihoodprecision += 2;
    }
    v.likelihoodprecision = precision;
    if (logl <= -9.999999680285692e37) InvalidConfig(1, k);
    v.CrFamilyLogL(k) = logl;
    total += logl;
  }
  // The candidates that no family takes count as unrelated individuals.
  double parents = 0.0;
  ComputeParentLogL(parents);
  v.CrLogLikelihood = total + parents;
}

void InvalidConfig(int32_t kind, int32_t cluster) {
  Variables& v = variables;
  for (auto& line : v.errmsg) line.clear();
  auto cut = [](std::string s) { return s.size() > 999 ? s.substr(0, 999) : s; };
  if (kind == 1 && cluster >= 1 && static_cast<std::size_t>(cluster) <= v.IndivCluster.size()) {
    const std::vector<int16_t>& members = v.IndivCluster(cluster);
    std::string line = "Initial cluster with offspring: ";
    std::string parents;
    for (std::size_t m = 0; m < members.size(); ++m) {
      const int32_t i = members[m];
      line += (m ? "," : "") + v.offspringid(i);
      for (int32_t k = 1; k <= 2; ++k) {
        const int32_t c = v.indivparent.empty() ? 0 : v.indivparent(i, k);
        if (c > 0) {
          const std::string& id = v.cndparentid(k)(c);
          if (parents.find(id) == std::string::npos) parents += (parents.empty() ? "" : ",") + id;
        }
      }
    }
    line += parents.empty() ? " in known sibship " : ", and known parents: " + parents;
    // The error-free codominant loci at which the cluster alone is
    // impossible.
    FamilyBuild(cluster);
    std::string loci;
    for (int32_t l = 1; l <= v.numloci; ++l) {
      if (likelihoodvar.locuserror(l) != 0 || v.dominantmarker(l) != 0) continue;
      double logl = 0;
      FamilyLocusLogL(l, logl);
      if (logl <= -1e300) loci += (loci.empty() ? "" : ",") + v.markerid(l);
    }
    v.errmsg(1) = cut(line + " have mismatched genotypes, possibly at loci: " + loci + "!");
  } else {
    v.errmsg(1) =
        "The known sibship/parentage relationships are incompatible with genotype data, or in conflit among "
        "themselves, or in conflict with other defined parameters (e.g. monogamy).";
    v.errmsg(2) = "To run the program, you have to:";
    v.errmsg(3) = "   1. Check and correct the known relationship, or/and";
    v.errmsg(4) = "   2. Allow for sufficiently high mistyping rates in data";
    v.errmsg(5) = "Program stops!";
  }
  StopOnError(1, "Anneal");
}
