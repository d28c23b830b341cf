// Moves that exchange the roles of parents: the fathers and mothers of a
// whole cluster (halves of one pedigree found with opposite roles cannot
// otherwise be joined one offspring at a time), and, in haplodiploid
// samples, the fathers of two full-sib families.
#include "search/reversal.h"

#include <algorithm>
#include <cmath>

#include "likelihood/family_likelihood.h"
#include "numeric/random.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/metropolis.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "state/variables.h"

namespace {

// The candidate assigned to family f of side k, 0 when none.
int32_t FamilyCandidate(int32_t k, int32_t f) {
  const Variables& v = variables;
  if (v.numchild(k) < 1) return 0;
  for (int32_t j = 1; j <= v.smplsize; ++j) {
    if (v.CrIndivLoc(j, k) == f && v.InferParent(j, k) > 0) return v.InferParent(j, k);
  }
  return 0;
}

}  // namespace

bool ReversibleCluster(const std::vector<int16_t>& members) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || members.size() < 2) return false;
  std::vector<int32_t> fathers, mothers;
  for (int16_t j : members) {
    // Offspring tied to their parents by assignments or known data keep
    // the roles those give; haploid sons have no father to exchange.
    if (HaploidOffspring(j)) return false;
    for (int32_t k = 1; k <= 2; ++k) {
      if (v.InferParent(j, k) > 0) return false;
      if (!v.knownsibship.empty() && v.numknownsibship(k) > 0 && v.knownsibship(j, k) > 0) return false;
      if (!v.excludedsib(k).empty() && !v.excludedsib(k)(j).empty()) return false;
    }
    fathers.push_back(v.CrIndivLoc(j, 1));
    mothers.push_back(v.CrIndivLoc(j, 2));
  }
  for (auto* list : {&fathers, &mothers}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  if (fathers.size() == 1 && mothers.size() == 1) return false;
  // The mates of each parent stay its mates: a father of m mothers becomes
  // a mother of m fathers, which the limit of her new side must allow.
  for (int32_t k = 1; k <= 2; ++k) {
    const int32_t limit = v.monogamy(3 - k) == 1 ? 1 : v.maxmatings(3 - k);
    if (limit >= n) continue;
    for (int32_t p : k == 1 ? fathers : mothers) {
      std::vector<int32_t> mates;
      for (int16_t j : members) {
        if (v.CrIndivLoc(j, k) == p) mates.push_back(v.CrIndivLoc(j, 3 - k));
      }
      std::sort(mates.begin(), mates.end());
      if (std::unique(mates.begin(), mates.end()) - mates.begin() > limit) return false;
    }
  }
  return true;
}

void ReverseCluster(const std::vector<int16_t>& members) {
  Variables& v = variables;
  std::vector<int32_t> fathers, mothers;
  for (int16_t j : members) {
    fathers.push_back(v.CrIndivLoc(j, 1));
    mothers.push_back(v.CrIndivLoc(j, 2));
  }
  for (auto* list : {&fathers, &mothers}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  // Fresh numbers on both sides for the exchanged families.
  const auto numbers = v.CrNumFamily;
  for (int16_t j : members) {
    const int32_t f = v.CrIndivLoc(j, 1), m = v.CrIndivLoc(j, 2);
    v.CrIndivLoc(j, 1) =
        numbers(1) + 1 + static_cast<int32_t>(std::lower_bound(mothers.begin(), mothers.end(), m) - mothers.begin());
    v.CrIndivLoc(j, 2) =
        numbers(2) + 1 + static_cast<int32_t>(std::lower_bound(fathers.begin(), fathers.end(), f) - fathers.begin());
  }
}

void Reversal(double T, double rate, double (*prior)(), int32_t& changed) {
  Variables& v = variables;
  changed = 0;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || v.CrNumFamily(3) < 2) return;
  const int32_t pick = std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1);
  const int32_t slot = v.ClusterID(pick);
  const std::vector<int16_t> members = v.IndivCluster(slot);
  if (!ReversibleCluster(members)) return;
  const AcceptanceDraw draw = DrawAcceptance(0.0);
  // In a diploid sample without a prior that could tell them apart, the
  // two arrangements are equally likely: the rule for an unchanged log
  // likelihood decides alone, before any work.
  if (v.haplodiploid == 0 && prior == nullptr) {
    if (!(draw.tie <= rate)) return;
    ReverseCluster(members);
    CompactFamilies();
    RelabelClusters({{v.IndivClusterIdx(slot), v.CrFamilyLogL(slot)}});
    changed = 1;
    return;
  }
  const double priorbefore = prior != nullptr ? prior() : 0.0;
  const Mat1<int32_t> saved = v.CrIndivLoc;
  const auto savednumbers = v.CrNumFamily;
  ReverseCluster(members);
  CompactFamilies();
  // In a diploid sample the two arrangements have the same likelihood; in
  // a haplodiploid one the fathers' ploidy makes them differ.
  const double old = v.CrFamilyLogL(slot);
  double fresh = old;
  const double priorafter = prior != nullptr ? prior() : 0.0;
  const double threshold = AcceptanceThreshold(old, priorbefore - priorafter, draw, T);
  PendingMove reversed;  // under pairwise scores: the cluster afresh
  if (v.haplodiploid == 1 && PairScoreMethod()) {
    reversed.affected.assign(members.begin(), members.end());
    fresh = ScoreMove(reversed, threshold);
  } else if (v.haplodiploid == 1) {
    std::vector<int16_t> group(members.begin(), members.end());
    FamilyBuildMembers(group.data(), static_cast<int32_t>(group.size()));
    FamilyLikelihood(fresh, threshold, 1, 0, 0);
  }
  if (!Accepted(fresh, old, threshold, draw, rate)) {
    v.CrIndivLoc = saved;
    v.CrNumFamily = savednumbers;
    return;
  }
  if (!reversed.components.empty()) {
    KeepScoredClusters(reversed);
  } else {
    RelabelClusters({{v.IndivClusterIdx(slot), fresh}});
  }
  changed = 1;
}

void SwapDadID(double T, double rate, double (*prior)(), int32_t& changed) {
  Variables& v = variables;
  changed = 0;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || v.CrNumFamily(1) < 2 || n < 2) return;
  auto pick = [&] { return std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1); };
  const int32_t i = pick(), j = pick();
  if (HaploidOffspring(i) || HaploidOffspring(j)) return;
  const int32_t f1 = v.CrIndivLoc(i, 1), m1 = v.CrIndivLoc(i, 2);
  const int32_t f2 = v.CrIndivLoc(j, 1), m2 = v.CrIndivLoc(j, 2);
  if (f1 == f2 || m1 == m2) return;
  // The daughters of the two full-sib families exchange fathers; each
  // family keeps its mother. Offspring tied by known or excluded
  // relationships keep theirs.
  std::vector<int32_t> a, b;
  for (int32_t x = 1; x <= n; ++x) {
    if (HaploidOffspring(x)) continue;
    const bool ina = v.CrIndivLoc(x, 1) == f1 && v.CrIndivLoc(x, 2) == m1;
    const bool inb = v.CrIndivLoc(x, 1) == f2 && v.CrIndivLoc(x, 2) == m2;
    if (!ina && !inb) continue;
    for (int32_t k = 1; k <= 2; ++k) {
      if (!v.knownsibship.empty() && v.knownsibship(x, k) > 0) return;
      if (!v.indivparent.empty() && v.indivparent(x, k) > 0) return;
      if (!v.excludedsib(k).empty() && !v.excludedsib(k)(x).empty()) return;
      if (!v.excludedparent(k).empty() && !v.excludedparent(k)(x).empty()) return;
    }
    (ina ? a : b).push_back(x);
  }
  const int32_t c1 = FamilyCandidate(1, f1), c2 = FamilyCandidate(1, f2);
  const double priorbefore = prior != nullptr ? prior() : 0.0;
  PendingMove swap;
  const int32_t slots[2] = {v.ClusterID(i), v.ClusterID(j)};
  double old = 0.0;
  for (int32_t s = 0; s < (slots[0] == slots[1] ? 1 : 2); ++s) {
    const auto& members = ClusterMembers(slots[s]);
    swap.affected.insert(swap.affected.end(), members.begin(), members.end());
    old += v.CrFamilyLogL(slots[s]);
  }
  std::sort(swap.affected.begin(), swap.affected.end());
  auto exchange = [&](int32_t fa, int32_t ca, int32_t fb, int32_t cb) {
    for (int32_t x : a) {
      v.CrIndivLoc(x, 1) = fa;
      v.InferParent(x, 1) = ca;
    }
    for (int32_t x : b) {
      v.CrIndivLoc(x, 1) = fb;
      v.InferParent(x, 1) = cb;
    }
  };
  exchange(f2, c2, f1, c1);
  // A father may now share a mother with the family he joined: his mates
  // can only become fewer, but the limit is checked all the same.
  bool allowed = true;
  if (v.maxmatings(1) < n) {
    for (int32_t f : {f1, f2}) {
      std::vector<int32_t> mates;
      for (int16_t x : swap.affected) {
        if (!HaploidOffspring(x) && v.CrIndivLoc(x, 1) == f) mates.push_back(v.CrIndivLoc(x, 2));
      }
      std::sort(mates.begin(), mates.end());
      if (std::unique(mates.begin(), mates.end()) - mates.begin() > v.maxmatings(1)) allowed = false;
    }
  }
  if (allowed) {
    const AcceptanceDraw draw = DrawAcceptance(0.0);
    const double priorafter = prior != nullptr ? prior() : 0.0;
    const double threshold = AcceptanceThreshold(old, priorbefore - priorafter, draw, T);
    const double fresh = ScoreMove(swap, threshold);
    if (Accepted(fresh, old, threshold, draw, rate)) {
      KeepScoredClusters(swap);
      changed = 1;
      return;
    }
  }
  exchange(f1, c1, f2, c2);
}
