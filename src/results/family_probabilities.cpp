// Posterior probabilities of the clusters and full-sib families of the best
// configuration, weighted over the archive of good configurations, and the
// selfing rate of a monoecious sample taken from the same archive.
//
// Every archived configuration c weighs exp(L(c) - L_best); a probability is
// the summed weight of the configurations in which the event holds divided
// by the total weight (the shares of ArchiveWeights).
#include "results/family_probabilities.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "results/archive_files.h"
#include "results/clone_inference.h"
#include "search/archive.h"
#include "state/config_record.h"
#include "state/variables.h"

namespace {

using Members = std::vector<int16_t>;

// Calls visit(loc, w) for every archived configuration of this sample, loc
// being its expanded family table and w its share of the total weight (the
// shares add to 1). The weights are the ones every archive-derived file
// uses, so a family's probability here agrees with the pair and parentage
// files; an empty archive stands for the best configuration alone, so the
// probabilities of its own families are 1 rather than 0/0.
template <class Visit>
void ForEachWeighted(Visit&& visit) {
  for (const WeightedConfig& c : ArchiveWeights()) {
    LoadWeightedConfig(c);
    visit(variables.OffTgt, c.share);
  }
}

// The column that names the clusters of a configuration: the cluster
// column, except where monogamy of a sex in a dioecious sample makes the
// clusters families of one sex (the paternal families when females are
// monogamous, with or without males; the maternal ones when only males
// are).
int32_t ClusterCodeColumn() {
  const Variables& v = variables;
  if (v.numsex != 2) return 3;
  if (v.monogamy(2) != 0) return 1;
  if (v.monogamy(1) != 0) return 2;
  return 3;
}

// Members of each group 1 .. count of a labelling, in sample order.
std::vector<Members> GroupMembers(const Vec1<int32_t>& label, int32_t count) {
  std::vector<Members> groups(static_cast<std::size_t>(std::max(count, 0)) + 1);
  for (int32_t i = 1; i <= static_cast<int32_t>(label.size()); ++i) {
    const int32_t g = label(i);
    if (g >= 1 && g <= count) groups[static_cast<std::size_t>(g)].push_back(static_cast<int16_t>(i));
  }
  return groups;
}

}  // namespace

int32_t FindFSFamilyID(const Mat1<int32_t>& loc, Vec1<int32_t>& fsid) {
  const int32_t n = variables.smplsize;
  const bool monoecious = variables.numsex == 1;
  fsid.assign(static_cast<std::size_t>(std::max(n, 0)), 0);
  std::unordered_map<uint64_t, int32_t> index;
  index.reserve(static_cast<std::size_t>(std::max(n, 0)));
  int32_t count = 0;
  for (int32_t i = 1; i <= n; ++i) {
    int64_t p = loc(i, 1);
    int64_t q = loc(i, 2);
    if (monoecious && q < p) std::swap(p, q);
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(p)) << 32) | static_cast<uint32_t>(q);
    auto [at, added] = index.emplace(key, count + 1);
    if (added) ++count;
    fsid(i) = at->second;
  }
  return count;
}

void FindFamilyProb(Vec1<double>& prob) {
  const Variables& v = variables;
  const Mat1<int32_t>& best = v.BtIndivLoc;
  const int32_t n = v.smplsize;
  Vec1<int32_t> label(static_cast<std::size_t>(std::max(n, 0)), 0);
  int32_t nclusters = 0;
  for (int32_t i = 1; i <= n; ++i) {
    label(i) = best(i, 3);
    nclusters = std::max(nclusters, label(i));
  }
  const std::vector<Members> clusters = GroupMembers(label, nclusters);
  prob.assign(static_cast<std::size_t>(nclusters), 0.0);
  const int32_t col = ClusterCodeColumn();
  const bool monoecious = v.numsex == 1;
  std::vector<int32_t> size;

  ForEachWeighted([&](const Mat1<int32_t>& loc, double w) {
    int32_t largest = 0;
    for (int32_t i = 1; i <= n; ++i) largest = std::max(largest, loc(i, col));
    size.assign(static_cast<std::size_t>(largest) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      if (loc(i, col) >= 0) ++size[static_cast<std::size_t>(loc(i, col))];
    }
    for (int32_t k = 1; k <= nclusters; ++k) {
      const Members& s = clusters[static_cast<std::size_t>(k)];
      if (s.empty()) continue;
      // The same members, and no others, under one code ...
      const int32_t code = loc(s.front(), col);
      if (code < 0) continue;
      const bool together = std::all_of(s.begin(), s.end(), [&](int16_t i) { return loc(i, col) == code; });
      if (!together || size[static_cast<std::size_t>(code)] != static_cast<int32_t>(s.size())) continue;
      // ... with the same paternal and maternal families inside.
      const std::span<const int16_t> members(s);
      if (NoneQtCluster(best, loc, members) != 0) continue;
      if (monoecious) {
        int32_t flag = 0;
        NoneQtSelfing(best, loc, members, flag);
        if (flag != 0) continue;
      }
      prob(k) += w;
    }
  });
}

void FindFSFamilyProb(Vec1<double>& probInc, Vec1<double>& probExc, int32_t& n, Arr1<double, 3>& selfing) {
  const Variables& v = variables;
  const int32_t nind = v.smplsize;
  Vec1<int32_t> bestId;
  n = FindFSFamilyID(v.BtIndivLoc, bestId);
  const std::vector<Members> families = GroupMembers(bestId, n);
  probInc.assign(static_cast<std::size_t>(n), 0.0);
  probExc.assign(static_cast<std::size_t>(n), 0.0);
  selfing.fill(0.0);
  const bool monoecious = v.numsex == 1;

  // Per configuration: its weight share and number of selfed offspring.
  std::vector<std::pair<double, int32_t>> selfed;
  Vec1<int32_t> id;
  std::vector<int32_t> size;
  ForEachWeighted([&](const Mat1<int32_t>& loc, double w) {
    const int32_t count = FindFSFamilyID(loc, id);
    size.assign(static_cast<std::size_t>(count) + 1, 0);
    for (int32_t i = 1; i <= nind; ++i) ++size[static_cast<std::size_t>(id(i))];
    for (int32_t f = 1; f <= n; ++f) {
      const Members& s = families[static_cast<std::size_t>(f)];
      const int32_t g = id(s.front());
      if (!std::all_of(s.begin(), s.end(), [&](int16_t i) { return id(i) == g; })) continue;
      probInc(f) += w;
      if (size[static_cast<std::size_t>(g)] == static_cast<int32_t>(s.size())) probExc(f) += w;
    }
    if (monoecious) {
      int32_t s = 0;
      for (int32_t i = 1; i <= nind; ++i) s += loc(i, 1) == loc(i, 2) ? 1 : 0;
      selfed.emplace_back(w, s);
    }
  });

  // The clone groups of each full-sib family.
  if (v.allowclone == 1) FindClone();

  if (!monoecious || selfed.empty() || nind < 1) return;
  double mean = 0.0;
  for (const auto& [w, s] : selfed) mean += w * s;
  double var = 0.0;
  for (const auto& [w, s] : selfed) var += w * (s - mean) * (s - mean);
  const double total = nind;
  const double s0 = selfed.front().second;  // the first (best) configuration
  const double h = 2.0 * std::sqrt(std::fabs(var + (1.0 - s0 / total) * s0));
  selfing(1) = s0 / total;
  selfing(2) = std::max(s0 - h, 0.0) / total;
  selfing(3) = std::min(s0 + h, total) / total;
}
