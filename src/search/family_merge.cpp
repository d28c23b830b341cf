// Family merges of the annealing search.
#include "search/family_merge.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "numeric/random.h"
#include "search/configuration.h"
#include "search/metropolis.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "search/pair_screen.h"
#include "search/reversal.h"
#include "state/variables.h"

namespace {

bool HasSide(int32_t j, int32_t k) { return !(k == 1 && HaploidOffspring(j)); }

// Whether the offspring of group (family g of side t) may join family f of
// side t, whose offspring are in others; merged receives the candidate the
// joined family carries.
bool MergeAllowed(int32_t t, const std::vector<int32_t>& group, const std::vector<int32_t>& others, int32_t& merged) {
  const Variables& v = variables;
  const int32_t cg = v.InferParent(group.front(), t), cf = v.InferParent(others.front(), t);
  if (cg > 0 && cf > 0 && cg != cf) return false;
  merged = cg > 0 ? cg : cf;
  // In a one-sex sample either parent may also stand in the other column,
  // which the merge leaves as it is: refuse it where a parent would then
  // carry one candidate in one column and another (or none) in the other.
  if (v.numsex == 1) {
    auto inOtherColumn = [&](int32_t family) {
      for (int32_t j = 1; j <= v.smplsize; ++j) {
        if (v.CrIndivLoc(j, 3 - t) == family) return true;
      }
      return false;
    };
    if ((cg > 0 && inOtherColumn(v.CrIndivLoc(group.front(), t))) ||
        (cf != merged && inOtherColumn(v.CrIndivLoc(others.front(), t)))) {
      return false;
    }
  }
  std::vector<int32_t> mates;
  for (const auto* list : {&group, &others}) {
    for (int32_t x : *list) {
      mates.push_back(v.CrIndivLoc(x, 3 - t));
      if (merged > 0 && !v.excludedparent(t).empty()) {
        const auto& ex = v.excludedparent(t)(x);
        if (std::find(ex.begin(), ex.end(), merged) != ex.end()) return false;
      }
    }
  }
  std::sort(mates.begin(), mates.end());
  const auto distinct = std::unique(mates.begin(), mates.end()) - mates.begin();
  if (v.monogamy(t) == 1 && distinct > 1) return false;
  if (v.monogamy(t) == 0 && v.maxmatings(t) < v.smplsize && distinct > v.maxmatings(t)) return false;
  for (int32_t x : group) {
    for (int32_t j : others) {
      if (!v.excludedsib(t).empty()) {
        const auto& ex = v.excludedsib(t)(x);
        const auto& ey = v.excludedsib(t)(j);
        if (std::find(ex.begin(), ex.end(), j) != ex.end() || std::find(ey.begin(), ey.end(), x) != ey.end()) {
          return false;
        }
      }
      if (!v.knownsibship.empty()) {
        const int32_t lx = v.knownsibship(x, t), lj = v.knownsibship(j, t);
        if (lx > 0 && lj > 0 && lx != lj) return false;
      }
    }
  }
  return true;
}

}  // namespace

void SavedConfiguration::Save() {
  loc = variables.CrIndivLoc;
  parents = variables.InferParent;
  numbers = variables.CrNumFamily;
}

void SavedConfiguration::Restore() const {
  variables.CrIndivLoc = loc;
  variables.InferParent = parents;
  variables.CrNumFamily = numbers;
}

void FamilyGroup(int32_t t, int32_t g, int32_t slot, std::vector<int32_t>& group) {
  const Variables& v = variables;
  group.clear();
  for (int16_t j : ClusterMembers(slot)) {
    if (v.CrIndivLoc(j, t) == g && HasSide(j, t)) group.push_back(j);
  }
}

bool MergeInto(int32_t t, const std::vector<int32_t>& group, int32_t f, std::vector<int16_t>& affected) {
  Variables& v = variables;
  if (group.empty()) return false;
  // The joined family's members: in the cluster of any offspring of it.
  int32_t anchor = 0;
  for (int32_t j = 1; j <= v.smplsize && anchor == 0; ++j) {
    if (HasSide(j, t) && v.CrIndivLoc(j, t) == f) anchor = j;
  }
  if (anchor == 0 || v.CrIndivLoc(group.front(), t) == f) return false;
  std::vector<int32_t> others;
  FamilyGroup(t, f, v.ClusterID(anchor), others);
  int32_t merged = 0;
  if (!MergeAllowed(t, group, others, merged)) return false;
  const int32_t srcslot = v.ClusterID(group.front()), destslot = v.ClusterID(anchor);
  const auto& source = ClusterMembers(srcslot);
  affected.assign(source.begin(), source.end());
  if (destslot != srcslot) {
    const auto& dest = ClusterMembers(destslot);
    affected.insert(affected.end(), dest.begin(), dest.end());
    std::sort(affected.begin(), affected.end());
  }
  for (int32_t x : group) {
    v.CrIndivLoc(x, t) = f;
    v.InferParent(x, t) = merged;
  }
  for (int32_t j : others) v.InferParent(j, t) = merged;
  CompactFamilies();
  return true;
}

bool MergeParentInto(int32_t g, int32_t f, std::vector<int16_t>& affected) {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  if (v.numsex != 1 || g == f || g < 1 || f < 1) return false;
  auto parentOf = [&](int32_t j, int32_t k, int32_t p) { return HasSide(j, k) && v.CrIndivLoc(j, k) == p; };
  int32_t ag = 0, af = 0;
  for (int32_t j = 1; j <= n && (ag == 0 || af == 0); ++j) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (ag == 0 && parentOf(j, k, g)) ag = j;
      if (af == 0 && parentOf(j, k, f)) af = j;
    }
  }
  if (ag == 0 || af == 0) return false;
  // A parent's offspring all lie in its cluster.
  const int32_t gslot = v.ClusterID(ag), fslot = v.ClusterID(af);
  const auto& source = ClusterMembers(gslot);
  affected.assign(source.begin(), source.end());
  if (fslot != gslot) {
    const auto& dest = ClusterMembers(fslot);
    affected.insert(affected.end(), dest.begin(), dest.end());
    std::sort(affected.begin(), affected.end());
  }
  int32_t candidate[2] = {0, 0};  // of g, of f
  std::vector<int32_t> mates;
  for (int32_t j : affected) {
    for (int32_t k = 1; k <= 2; ++k) {
      const bool ofg = parentOf(j, k, g), off = parentOf(j, k, f);
      if (!ofg && !off) continue;
      if ((!v.knownsibship.empty() && v.knownsibship(j, k) > 0) ||
          (!v.indivparent.empty() && v.indivparent(j, k) > 0) ||
          (!v.excludedsib(k).empty() && !v.excludedsib(k)(j).empty()) ||
          (!v.excludedparent(k).empty() && !v.excludedparent(k)(j).empty())) {
        return false;
      }
      int32_t& c = candidate[ofg ? 0 : 1];
      const int32_t x = v.InferParent(j, k);
      if (x > 0 && c > 0 && x != c) return false;
      if (x > 0) c = x;
      const int32_t mate = v.CrIndivLoc(j, 3 - k);
      mates.push_back(mate == g ? f : mate);
    }
    const bool selfed = HasSide(j, 1) && ((v.CrIndivLoc(j, 1) == g && v.CrIndivLoc(j, 2) == f) ||
                                          (v.CrIndivLoc(j, 1) == f && v.CrIndivLoc(j, 2) == g));
    if (selfed && v.allowinbreeding == 0) return false;
  }
  if (candidate[0] > 0 && candidate[1] > 0 && candidate[0] != candidate[1]) return false;
  const int32_t merged = std::max(candidate[0], candidate[1]);
  std::sort(mates.begin(), mates.end());
  const auto distinct = std::unique(mates.begin(), mates.end()) - mates.begin();
  if (v.monogamy(1) == 1 && distinct > 1) return false;
  if (v.monogamy(1) == 0 && v.maxmatings(1) < v.smplsize && distinct > v.maxmatings(1)) return false;
  for (int32_t j : affected) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (parentOf(j, k, g)) v.CrIndivLoc(j, k) = f;
      if (parentOf(j, k, f)) v.InferParent(j, k) = merged;
    }
  }
  CompactFamilies();
  return true;
}

double MergePairGain(int32_t t, const std::vector<int32_t>& group, int32_t f, int32_t anchor) {
  const Variables& v = variables;
  if (!PairScreenAvailable()) return 0.0;
  // Only the pairs of a moving offspring and an offspring of the joined
  // family change their relationship.
  static std::vector<int32_t> members;
  FamilyGroup(t, f, v.ClusterID(anchor), members);
  double sum = 0.0;
  for (int32_t j : members) {
    const int32_t fj = v.CrIndivLoc(j, 1), mj = v.CrIndivLoc(j, 2);
    for (int32_t x : group) {
      const int32_t fx = v.CrIndivLoc(x, 1), mx = v.CrIndivLoc(x, 2);
      const int32_t fa = t == 1 ? f : fx, ma = t == 2 ? f : mx;
      sum += PairRelationScore(x, j, fa, ma, fj, mj) - PairRelationScore(x, j, fx, mx, fj, mj);
    }
  }
  return sum;
}

void MergeFamilies(double T, double screenT, double rate, double (*prior)(), int32_t& changed) {
  Variables& v = variables;
  changed = 0;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || n < 2) return;
  const int32_t i = std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1);
  int32_t k = ran1() < 0.5 ? 1 : 2;
  if (!HasSide(i, k)) k = 2;
  const int32_t srcslot = v.ClusterID(i);
  const std::vector<int16_t> source = v.IndivCluster(srcslot);
  const bool reverse = v.haplodiploid == 0 && ran1() < 0.5 && ReversibleCluster(source);
  const double priorbefore = prior != nullptr ? prior() : 0.0;
  SavedConfiguration saved;
  saved.Save();
  if (reverse) ReverseCluster(source);
  // The side the family is on once the cluster is reversed.
  const int32_t t = reverse ? 3 - k : k;
  std::vector<int32_t> group;
  FamilyGroup(t, v.CrIndivLoc(i, t), srcslot, group);
  // The families it may join: those of its members' partners in the pair
  // tables (its likely kin), scored by the pairwise likelihood ratios that
  // the merge would change; now and then the family of any offspring.
  const int32_t g = v.CrIndivLoc(i, t);
  std::vector<int32_t> targets;
  std::vector<double> gain;
  const bool scored = PairScreenAvailable();
  for (int32_t x : group) {
    for (int32_t j : Partners(x)) {
      if (j <= 0) break;
      if (!HasSide(j, t) || v.CrIndivLoc(j, t) == g) continue;
      if (std::find(targets.begin(), targets.end(), v.CrIndivLoc(j, t)) != targets.end()) continue;
      targets.push_back(v.CrIndivLoc(j, t));
      gain.push_back(MergePairGain(t, group, targets.back(), j));
    }
  }
  std::size_t pick = 0;
  if (targets.empty() || ran1() < 0.1) {
    const int32_t j = std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1);
    if (!HasSide(j, t) || v.CrIndivLoc(j, t) == g) {
      saved.Restore();
      return;
    }
    pick = targets.size();
    targets.push_back(v.CrIndivLoc(j, t));
    gain.push_back(scored ? MergePairGain(t, group, targets.back(), j) : 0.0);
  } else {
    // Mostly the best-supported family.
    const double top = *std::max_element(gain.begin(), gain.end());
    double total = 0.0;
    for (double x : gain) total += std::exp(x - top);
    double u = ran1() * total;
    for (pick = 0; pick + 1 < targets.size(); ++pick) {
      u -= std::exp(gain[pick] - top);
      if (u <= 0.0) break;
    }
  }
  // The pairs screen the merge as they screen single moves: most merges
  // the search proposes would join unrelated families. Under pairwise
  // scores the merge itself costs no more than its screen.
  const double screenu = static_cast<double>(ran1());
  const AcceptanceDraw draw = DrawAcceptance(0.0);
  if (scored && !PairScoreMethod() && !(gain[pick] > std::log(screenu) * screenT)) {
    saved.Restore();
    return;
  }
  PendingMove move;
  // Reversed families carry fresh numbers above the counts until the merge
  // makes them dense; the clusters concerned are those before any change.
  if (!MergeInto(t, group, targets[pick], move.affected)) {
    saved.Restore();
    return;
  }
  // The log likelihood of the clusters concerned, before the merge.
  const double before = ClustersLogL(move.affected);
  const double priorafter = prior != nullptr ? prior() : 0.0;
  const double threshold = AcceptanceThreshold(before, priorbefore - priorafter, draw, T);
  const double fresh = ScoreMove(move, threshold);
  if (!Accepted(fresh, before, threshold, draw, rate)) {
    saved.Restore();
    return;
  }
  KeepScoredClusters(move);
  changed = 1;
}
