// Sibship clusters and the family structure of one cluster.
#include "search/clusters.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "runctl/error_stop.h"
#include "search/configuration.h"
#include "state/familyloglvar.h"
#include "state/variables.h"

namespace {

// Parent identity of offspring i on side k: in a monoecious sample both
// columns index one pool of parents.
int32_t ParentKey(const Mat1<int32_t>& loc, int32_t i, int32_t k, int32_t nfam1) {
  const int32_t f = loc(i, k);
  return (variables.numsex == 1 || k == 1) ? f : nfam1 + f;
}

bool Haploid(int32_t i) { return HaploidOffspring(i); }

}  // namespace

int32_t FindRoot(std::vector<int32_t>& up, int32_t x) {
  while (up[static_cast<std::size_t>(x)] != x) {
    up[static_cast<std::size_t>(x)] = up[static_cast<std::size_t>(up[static_cast<std::size_t>(x)])];
    x = up[static_cast<std::size_t>(x)];
  }
  return x;
}

void SetInitCluster() {
  Variables& v = variables;
  Mat1<int32_t>& loc = *v.IndivLocPrt;
  const int32_t n = v.smplsize;
  int32_t nfam1 = 0;
  for (int32_t i = 1; i <= n; ++i) nfam1 = std::max(nfam1, loc(i, 1));
  // Union of the offspring through their parents.
  std::vector<int32_t> up(static_cast<std::size_t>(n) + 1);
  std::iota(up.begin(), up.end(), 0);
  std::vector<int32_t> first(static_cast<std::size_t>(2 * (n + nfam1) + 2), 0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && Haploid(i)) continue;  // a haploid offspring has no father
      const int32_t key = ParentKey(loc, i, k, nfam1);
      int32_t& seen = first[static_cast<std::size_t>(key)];
      if (seen == 0) {
        seen = i;
      } else {
        up[static_cast<std::size_t>(FindRoot(up, i))] = FindRoot(up, seen);
      }
    }
  }
  // Labels in order of each cluster's first member.
  std::vector<int32_t> label(static_cast<std::size_t>(n) + 1, 0);
  int32_t count = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t root = FindRoot(up, i);
    if (label[static_cast<std::size_t>(root)] == 0) label[static_cast<std::size_t>(root)] = ++count;
    loc(i, 3) = label[static_cast<std::size_t>(root)];
  }
  if (v.IndivLocPrt != &v.CrIndivLoc) return;
  v.CrNumFamily(3) = count;
  v.IndivCluster.assign(static_cast<std::size_t>(n));
  v.ClusterSizeT.assign(static_cast<std::size_t>(n), 0);
  v.IndivClusterIdx.assign(static_cast<std::size_t>(n), -1);
  v.ClusterID.assign(static_cast<std::size_t>(n), 0);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t slot = loc(i, 3);
    v.ClusterID(i) = slot;
    v.IndivCluster(slot).push_back(static_cast<int16_t>(i));
    ++v.ClusterSizeT(slot);
    if (v.IndivClusterIdx(slot) < 0) v.IndivClusterIdx(slot) = i;
  }
  SetIndivClusterIndex();
}

void SetIndivClusterIndex() {
  Variables& v = variables;
  v.IndivClusterIndex.assign(static_cast<std::size_t>(std::max(v.smplsize, 0)), 0);
  for (int32_t i = 1; i <= v.smplsize; ++i) v.IndivClusterIndex(v.CrIndivLoc(i, 3)) = v.ClusterID(i);
}

void FamilyBuildMembers(const int16_t* members, int32_t n) {
  Variables& v = variables;
  const Mat1<int32_t>& loc = *v.IndivLocPrt;
  const Mat1<int32_t>* assigned = v.InferParentPrt;
  FamilyLoglVar& fv = familyloglvar;
  fv.parents.clear();
  fv.families.clear();
  const bool mono = v.numsex == 1;
  // Parent nodes keyed by (side, family index); one pool in a monoecious
  // sample. Small clusters are the rule, so a linear look-up serves.
  std::vector<std::pair<int32_t, int32_t>> keys;
  auto node = [&](int32_t side, int32_t family, int32_t candidate) {
    const std::pair<int32_t, int32_t> key{mono ? 0 : side, family};
    for (std::size_t p = 0; p < keys.size(); ++p) {
      if (keys[p] == key) {
        if (candidate > 0) fv.parents[p].candidate = candidate;
        return static_cast<int32_t>(p);
      }
    }
    keys.push_back(key);
    fv.parents.push_back({side, candidate});
    return static_cast<int32_t>(keys.size()) - 1;
  };
  for (int32_t m = 0; m < n; ++m) {
    const int32_t i = members[m];
    const int32_t c1 = assigned != nullptr && !assigned->empty() ? (*assigned)(i, 1) : 0;
    const int32_t c2 = assigned != nullptr && !assigned->empty() ? (*assigned)(i, 2) : 0;
    const int32_t father = Haploid(i) ? -1 : node(1, loc(i, 1), c1);
    const int32_t mother = node(2, loc(i, 2), c2);
    FamilyLoglVar::Family* fam = nullptr;
    for (auto& f : fv.families) {
      if (f.father == father && f.mother == mother) {
        fam = &f;
        break;
      }
    }
    if (fam == nullptr) {
      fv.families.push_back({father, mother, {}});
      fam = &fv.families.back();
    }
    fam->members.push_back(i);
  }
}

void FamilyBuild(int32_t k) {
  const std::vector<int16_t>& members = variables.IndivCluster(k);
  if (members.empty()) StopWithMessage("Empty sibship cluster " + std::to_string(k), "FamilyBuild");
  FamilyBuildMembers(members.data(), static_cast<int32_t>(members.size()));
}
