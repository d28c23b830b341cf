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
      if (k == 1 && HaploidOffspring(i)) continue;  // a haploid offspring has no father
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
  fv.parts.clear();
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
    const int32_t father = HaploidOffspring(i) ? -1 : node(1, loc(i, 1), c1);
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

namespace {

// Parents of one cluster as a graph (full-sib families are its edges) and
// its reduction: a parent with at most one mate left is summed out, a
// parent with two becomes one link between them (parallel links merge).
// What remains has every parent linked three or more times and can only be
// summed genotype by genotype of a conditioned parent.
struct ParentGraph {
  std::vector<int64_t> keys;                 // parent identities, sorted
  std::vector<std::vector<int32_t>> adj;     // distinct mates by position
  std::vector<int32_t> stack;

  int32_t Index(int64_t key) const {
    return static_cast<int32_t>(std::lower_bound(keys.begin(), keys.end(), key) - keys.begin());
  }
  static void Drop(std::vector<int32_t>& list, int32_t x) {
    auto it = std::find(list.begin(), list.end(), x);
    if (it != list.end()) {
      *it = list.back();
      list.pop_back();
    }
  }
  static void Link(std::vector<int32_t>& list, int32_t x) {
    if (std::find(list.begin(), list.end(), x) == list.end()) list.push_back(x);
  }
  // Number of parents that must be conditioned on.
  int32_t Conditionings() {
    const int32_t n = static_cast<int32_t>(adj.size());
    std::vector<char> gone(static_cast<std::size_t>(n), 0);
    int32_t left = n, layers = 0;
    stack.clear();
    for (int32_t p = 0; p < n; ++p) stack.push_back(p);
    while (left > 0) {
      while (!stack.empty()) {
        const int32_t p = stack.back();
        stack.pop_back();
        auto& ap = adj[static_cast<std::size_t>(p)];
        if (gone[static_cast<std::size_t>(p)] || ap.size() > 2) continue;
        gone[static_cast<std::size_t>(p)] = 1;
        --left;
        for (int32_t q : ap) Drop(adj[static_cast<std::size_t>(q)], p);
        if (ap.size() == 2) {
          Link(adj[static_cast<std::size_t>(ap[0])], ap[1]);
          Link(adj[static_cast<std::size_t>(ap[1])], ap[0]);
        }
        for (int32_t q : ap) stack.push_back(q);
        ap.clear();
      }
      if (left == 0) break;
      // Every parent left has three or more mates: condition on the most
      // linked one.
      int32_t c = -1;
      for (int32_t p = 0; p < n; ++p) {
        if (!gone[static_cast<std::size_t>(p)] &&
            (c < 0 || adj[static_cast<std::size_t>(p)].size() > adj[static_cast<std::size_t>(c)].size())) {
          c = p;
        }
      }
      ++layers;
      gone[static_cast<std::size_t>(c)] = 1;
      --left;
      for (int32_t q : adj[static_cast<std::size_t>(c)]) {
        Drop(adj[static_cast<std::size_t>(q)], c);
        stack.push_back(q);
      }
      adj[static_cast<std::size_t>(c)].clear();
    }
    return layers;
  }
};

}  // namespace

bool Screen2(const std::vector<std::vector<int16_t>>& components) {
  const Variables& v = variables;
  std::vector<int64_t> families;
  ParentGraph graph;
  // In a one-sex sample both columns name one pool of parents.
  const int64_t side = v.numsex == 1 ? 0 : (int64_t{1} << 32);
  for (const auto& members : components) {
    graph.keys.clear();
    families.clear();
    for (int16_t j : members) {
      if (HaploidOffspring(j)) continue;  // a haploid offspring hangs from its mother alone
      const int64_t f = v.CrIndivLoc(j, 1) + side, m = v.CrIndivLoc(j, 2);
      if (f == m) continue;  // a selfed family weighs on its one parent only
      graph.keys.push_back(f);
      graph.keys.push_back(m);
      families.push_back(std::min(f, m) * (int64_t{1} << 33) + std::max(f, m));
    }
    for (auto* list : {&graph.keys, &families}) {
      std::sort(list->begin(), list->end());
      list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    // A tree or a single loop sums out without conditioning; so does any
    // cluster whose loops only run in parallel or in series.
    const int64_t cycles = static_cast<int64_t>(families.size()) - static_cast<int64_t>(graph.keys.size()) + 1;
    if (cycles <= 1) continue;
    graph.adj.assign(graph.keys.size(), {});
    for (int64_t fam : families) {
      const int32_t a = graph.Index(fam / (int64_t{1} << 33)), b = graph.Index(fam % (int64_t{1} << 33));
      graph.adj[static_cast<std::size_t>(a)].push_back(b);
      graph.adj[static_cast<std::size_t>(b)].push_back(a);
    }
    if (graph.Conditionings() > kMaxConditionedParents) return false;
  }
  return true;
}
