// The quick pairwise screen of sibship moves.
#include "search/pair_screen.h"

#include <algorithm>
#include <cmath>

#include "pairwise/dyad_tables.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Per-member contributions, summed in member order afterwards so that the
// total does not depend on how the threads shared the loop.
std::vector<double> contribution;
std::vector<int32_t> partners;

struct FamilySum {
  int64_t key;  // the partner's paternal and maternal family
  double sum;
  int32_t members;
};
std::vector<FamilySum> families;

std::vector<PartnerList> kin;

// Pair scores are table reads of a few nanoseconds, while starting a
// parallel region costs microseconds: the second thread joins only when a
// move touches this many pairs.
constexpr int64_t kParallelPairWork = 20000;

}  // namespace

// Log likelihood ratio of offspring i and j against unrelated, given the
// families of each.
double PairRelationScore(int32_t i, int32_t j, int32_t fi, int32_t mi, int32_t fj, int32_t mj) {
  int32_t kind = -1;
  if (variables.numsex == 1) {
    // One pool of parents: any common parent links the pair, in either
    // column.
    const int32_t shared = (fi == fj || fi == mj) + (mi == mj || mi == fj);
    if (shared >= 2 && fi != mi) kind = kFullSibDyad;
    else if (shared >= 1) kind = kPaternalHalfSibDyad;
  } else {
    const bool father = fi == fj && !HaploidOffspring(i) && !HaploidOffspring(j);
    const bool mother = mi == mj;
    if (father && mother) kind = kFullSibDyad;
    else if (father) kind = kPaternalHalfSibDyad;
    else if (mother) kind = kMaternalHalfSibDyad;
  }
  if (kind < 0) return 0.0;
  const double related = OffspringDyadLogL(kind, i, j);
  // An impossible pair counts as a large finite loss, so that differences
  // of two impossible pairs stay 0 rather than undefined.
  if (related <= -1e37) return -1e6;
  return related - likelihoodvar.indivlogl(i) - likelihoodvar.indivlogl(j);
}


double HeterozygositySum() {
  const LikelihoodVar& lv = likelihoodvar;
  double H = 0.0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (lv.obsnumallele(l) < 2) continue;
    double sum = 0.0;
    for (double p : lv.obsallelefre(l)) sum += p * p;
    H += 1.0 - sum;
  }
  return H;
}

bool PairScreenAvailable() {
  return OffspringDyadReady() && likelihoodvar.indivlogl.size() == static_cast<std::size_t>(variables.smplsize);
}

double Screen(const std::vector<int32_t>& group, const int32_t host[2], int32_t dest) {
  const Variables& v = variables;
  const int32_t i0 = group.front();
  // The offspring whose relationship to the group may change: those of
  // the group's own cluster and of the destination cluster.
  partners.clear();
  auto add = [&](int32_t slot) {
    if (slot < 1 || slot > v.CrNumFamily(3)) return;
    for (int16_t j : v.IndivCluster(slot)) {
      if (std::find(group.begin(), group.end(), j) == group.end()) partners.push_back(j);
    }
  };
  add(v.ClusterID(i0));
  if (dest != v.ClusterID(i0)) add(dest);
  const int32_t n = static_cast<int32_t>(partners.size());
  contribution.assign(static_cast<std::size_t>(n), 0.0);
  const int64_t work = static_cast<int64_t>(n) * static_cast<int64_t>(group.size());
  // Every moved offspring leaves the same families (the group is one
  // full-sib family), so the old families are those of its first member.
  const int32_t oldf = v.CrIndivLoc(i0, 1), oldm = v.CrIndivLoc(i0, 2);
  // Only partners sharing a parent with the group before or after the move
  // can change their relationship to it; the others add exactly 0.
  const bool pool = v.numsex == 1;
  auto touches = [&](int32_t fj, int32_t mj) {
    auto shares = [&](int32_t a, int32_t b) {
      return pool ? (a == fj || a == mj || b == fj || b == mj) : (a == fj || b == mj);
    };
    return shares(host[0], host[1]) || shares(oldf, oldm);
  };
  auto pairs = [&](int32_t p) {
    const int32_t j = partners[static_cast<std::size_t>(p)];
    const int32_t fj = v.CrIndivLoc(j, 1), mj = v.CrIndivLoc(j, 2);
    if (!touches(fj, mj)) return;
    double sum = 0.0;
    for (int32_t i : group) {
      sum += PairRelationScore(i, j, host[0], host[1], fj, mj) - PairRelationScore(i, j, oldf, oldm, fj, mj);
    }
    contribution[static_cast<std::size_t>(p)] = sum;
  };
  // A second thread helps only a lone process: several processes already
  // keep the cores busy.
  if (work > kParallelPairWork && variables.numthreads == 1) {
#pragma omp parallel for num_threads(2) schedule(dynamic, 1)
    for (int32_t p = 0; p < n; ++p) pairs(p);
  } else {
    for (int32_t p = 0; p < n; ++p) pairs(p);
  }
  // The pairs of one full-sib family are far from independent: the
  // parents' genotypes, once a few of their offspring pin them down, tell
  // little more with every further sib. A family's pairs therefore count
  // as at most about twice their mean, 2 / (m + 1) of their sum for m
  // members, which for one member is the pair itself.
  // Whether a partner touches the group depends on its families only, so
  // a family is counted whole or not at all.
  families.clear();
  for (int32_t p = 0; p < n; ++p) {
    const int32_t j = partners[static_cast<std::size_t>(p)];
    if (!touches(v.CrIndivLoc(j, 1), v.CrIndivLoc(j, 2))) continue;
    const int64_t key = static_cast<int64_t>(v.CrIndivLoc(j, 1)) * (2 * v.smplsize + 2) + v.CrIndivLoc(j, 2);
    auto it = std::find_if(families.begin(), families.end(), [&](const FamilySum& f) { return f.key == key; });
    if (it == families.end()) {
      families.push_back({key, 0.0, 0});
      it = families.end() - 1;
    }
    it->sum += contribution[static_cast<std::size_t>(p)];
    ++it->members;
  }
  double gain = 0.0;
  for (const FamilySum& f : families) gain += f.sum * 2.0 / (f.members + 1);
  return gain;
}

void AdaptScreenScale(ScreenScale& scale, bool allmonogamous, bool quicksearch) {
  if (scale.trials >= 1000) {
    const double ratio = static_cast<double>(scale.passes) / static_cast<double>(scale.trials);
    if (ratio > 0.5) {
      if (!allmonogamous && scale.S > 1.12) {
        scale.S *= 0.9;
        scale.trials = scale.passes = 0;
      } else if (allmonogamous && scale.S > 0.1) {
        scale.S *= 1.5 - ratio;
        scale.trials = scale.passes = 0;
      }
    }
  } else if (quicksearch && scale.S > 1.2) {
    scale.S *= 0.9;
  }
}

double KinScore(int32_t i, int32_t j) {
  const LikelihoodVar& lv = likelihoodvar;
  double best = -1e300;
  for (int32_t kind : {kFullSibDyad, kPaternalHalfSibDyad, kMaternalHalfSibDyad}) {
    const double r = OffspringDyadLogL(kind, i, j);
    if (r > -1e37) best = std::max(best, r - lv.indivlogl(i) - lv.indivlogl(j));
  }
  return best;
}

void KinOf(const std::vector<int32_t>& group, KinList& out) {
  const Variables& v = variables;
  out.fill(0);
  if (!PartnersKnown()) return;
  static std::vector<std::pair<double, int32_t>> candidates;
  candidates.clear();
  for (int32_t x : group) {
    for (int32_t j : Partners(x)) {
      if (j <= 0) break;
      if (std::find(group.begin(), group.end(), j) != group.end()) continue;
      bool seen = false;
      for (const auto& c : candidates) seen = seen || c.second == j;
      if (!seen) candidates.emplace_back(0.0, j);
    }
  }
  for (auto& [score, j] : candidates) {
    for (int32_t x : group) score += std::max(KinScore(x, j), -50.0);
  }
  // Best first (ties to the lower index); one per full-sib family, since
  // a family's members lead to the same targets.
  std::sort(candidates.begin(), candidates.end(),
            [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
  int32_t taken = 0;
  for (const auto& [score, j] : candidates) {
    if (taken == kNearPartners || !(score > 0.0)) break;
    bool same = false;
    for (int32_t q = 0; q < taken; ++q) {
      const int32_t y = out[static_cast<std::size_t>(q)];
      same = same || (v.CrIndivLoc(y, 1) == v.CrIndivLoc(j, 1) && v.CrIndivLoc(y, 2) == v.CrIndivLoc(j, 2));
    }
    if (!same) out[static_cast<std::size_t>(taken++)] = j;
  }
}

double SetPartners() {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  kin.clear();
  if (n < 2 || !PairScreenAvailable()) return 0.0;
  kin.assign(static_cast<std::size_t>(n), {});
  std::vector<double> top(static_cast<std::size_t>(n), 0.0);
  std::array<double, kPartners> score;
  for (int32_t i = 1; i <= n; ++i) {
    PartnerList& list = kin[static_cast<std::size_t>(i - 1)];
    list.fill(0);
    score.fill(0.0);  // only partners more likely related than not
    for (int32_t j = 1; j <= n; ++j) {
      if (j == i) continue;
      const double best = KinScore(i, j);
      if (!(best > score[kPartners - 1])) continue;
      int32_t p = kPartners - 1;
      while (p > 0 && best > score[static_cast<std::size_t>(p - 1)]) {
        score[static_cast<std::size_t>(p)] = score[static_cast<std::size_t>(p - 1)];
        list[static_cast<std::size_t>(p)] = list[static_cast<std::size_t>(p - 1)];
        --p;
      }
      score[static_cast<std::size_t>(p)] = best;
      list[static_cast<std::size_t>(p)] = j;
    }
    top[static_cast<std::size_t>(i - 1)] = score[0];
  }
  std::nth_element(top.begin(), top.begin() + n / 2, top.end());
  return top[static_cast<std::size_t>(n / 2)];
}

const PartnerList& Partners(int32_t i) {
  static const PartnerList none{};
  if (kin.size() < static_cast<std::size_t>(i) || i < 1) return none;
  return kin[static_cast<std::size_t>(i - 1)];
}

bool PartnersKnown() { return !kin.empty(); }
