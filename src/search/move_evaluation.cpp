// A proposed change of the current configuration while it is scored, and
// its bookkeeping once it is kept.
#include "search/move_evaluation.h"

#include <algorithm>
#include <numeric>

#include "likelihood/family_likelihood.h"
#include "search/cluster_cache.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/pair_score.h"
#include "search/parentage_moves.h"
#include "state/annealvariables.h"
#include "state/familyloglvar.h"
#include "state/variables.h"

namespace {

std::vector<int32_t> clusterkey;
std::vector<std::pair<int64_t, int32_t>> firstwith;
std::vector<int32_t> unionfind, componentindex;
std::vector<std::size_t> pending;  // clusters of a move still to compute
std::vector<char> familyused;

// The candidate assigned to family f of side k, 0 when none (all members
// of a family carry the same assignment). The family's members are in the
// cluster slots listed (a new family has none).
// In a monoecious sample family f is one parent in either role: its
// candidate may stand in either column.
int32_t FamilyCandidate(int32_t k, int32_t f, int32_t skip, const int32_t slots[2]) {
  const Variables& v = variables;
  if (v.numchild(k) < 1) return 0;  // no candidates of this sex to assign
  const bool pool = v.numsex == 1;
  for (int32_t s = 0; s < 2; ++s) {
    if (s == 1 && slots[1] == slots[0]) break;
    for (int16_t j : ClusterMembers(slots[s])) {
      if (j == skip) continue;
      if (v.CrIndivLoc(j, k) == f && v.InferParent(j, k) > 0) return v.InferParent(j, k);
      if (pool && v.CrIndivLoc(j, 3 - k) == f && v.InferParent(j, 3 - k) > 0) return v.InferParent(j, 3 - k);
    }
  }
  return 0;
}

}  // namespace

void PendingMove::SetParent(int32_t j, int32_t k, int32_t candidate) {
  int32_t& slot = variables.InferParent(j, k);
  if (slot == candidate) return;
  changedparent.push_back(j);
  side.push_back(k);
  oldcandidate.push_back(slot);
  newcandidate.push_back(candidate);
  slot = candidate;
}

const std::vector<int16_t>& ClusterMembers(int32_t slot) {
  static const std::vector<int16_t> none;
  if (slot < 1 || slot > variables.CrNumFamily(3)) return none;
  return variables.IndivCluster(slot);
}

void ApplyMove(PendingMove& move, int32_t dest) {
  Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t i = move.indiv;
  move.oldfamily[0] = v.CrIndivLoc(i, 1);
  move.oldfamily[1] = v.CrIndivLoc(i, 2);
  move.newfamily[0] = a.HostFamily(1);
  move.newfamily[1] = a.HostFamily(2);
  move.changedparent.clear();
  move.side.clear();
  move.oldcandidate.clear();
  move.newcandidate.clear();
  const int32_t slots[2] = {v.ClusterID(i), dest};
  // The offspring take the candidate of their new families; a known parent
  // one of them brings is given to its whole new family. Both candidates
  // are read before either is set: in a one-sex sample the new family of
  // one column may be the group's old family of the other.
  int32_t candidates[2] = {0, 0};
  for (int32_t k = 1; k <= 2; ++k) {
    if (k == 1 && HaploidOffspring(i)) continue;
    const int32_t host = a.HostFamily(k);
    const int32_t known = v.indivparent.empty() ? 0 : v.indivparent(i, k);
    candidates[k - 1] = known > 0 ? known : FamilyCandidate(k, host, i, slots);
    if (candidates[k - 1] == 0 && host > v.CrNumFamily(k)) candidates[k - 1] = move.opencandidate[k - 1];
  }
  for (int32_t k = 1; k <= 2; ++k) {
    if (k == 1 && HaploidOffspring(i)) continue;
    const int32_t host = a.HostFamily(k);
    const int32_t known = v.indivparent.empty() ? 0 : v.indivparent(i, k);
    for (int32_t j : move.group) move.SetParent(j, k, candidates[k - 1]);
    if (known > 0) {
      for (int32_t s = 0; s < 2; ++s) {
        if (s == 1 && slots[1] == slots[0]) break;
        for (int16_t j : ClusterMembers(slots[s])) {
          if (j != i && v.CrIndivLoc(j, k) == host && !(k == 1 && HaploidOffspring(j))) move.SetParent(j, k, known);
        }
      }
    }
  }
  // The offspring of the clusters concerned.
  const auto& own = ClusterMembers(v.ClusterID(i));
  move.affected.assign(own.begin(), own.end());
  if (dest != v.ClusterID(i)) {
    const auto& other = ClusterMembers(dest);
    move.affected.insert(move.affected.end(), other.begin(), other.end());
    std::sort(move.affected.begin(), move.affected.end());
  }
  for (int32_t j : move.group) {
    v.CrIndivLoc(j, 1) = move.newfamily[0];
    v.CrIndivLoc(j, 2) = move.newfamily[1];
  }
  move.recorded = true;
}

void UndoMove(const PendingMove& move) {
  Variables& v = variables;
  for (int32_t j : move.group) {
    v.CrIndivLoc(j, 1) = move.oldfamily[0];
    v.CrIndivLoc(j, 2) = move.oldfamily[1];
  }
  for (std::size_t c = move.changedparent.size(); c-- > 0;) {
    v.InferParent(move.changedparent[c], move.side[c]) = move.oldcandidate[c];
  }
}

void RedoMove(const PendingMove& move) {
  Variables& v = variables;
  for (std::size_t c = 0; c < move.changedparent.size(); ++c) {
    v.InferParent(move.changedparent[c], move.side[c]) = move.newcandidate[c];
  }
  for (int32_t j : move.group) {
    v.CrIndivLoc(j, 1) = move.newfamily[0];
    v.CrIndivLoc(j, 2) = move.newfamily[1];
  }
}

void FormComponents(PendingMove& move) {
  const Variables& v = variables;
  const std::size_t n = move.affected.size();
  std::vector<int32_t>& up = unionfind;
  up.resize(n);
  std::iota(up.begin(), up.end(), 0);
  auto find = [&](int32_t x) { return FindRoot(up, x); };
  // Offspring sharing a parent are joined through the first offspring met
  // with that parent (in a one-sex sample both columns name one pool).
  firstwith.clear();
  auto join = [&](int64_t parent, std::size_t p) {
    for (const auto& [key, first] : firstwith) {
      if (key == parent) {
        up[static_cast<std::size_t>(find(static_cast<int32_t>(p)))] = find(first);
        return;
      }
    }
    firstwith.emplace_back(parent, static_cast<int32_t>(p));
  };
  const int64_t side = v.numsex == 1 ? 0 : (1LL << 32);
  for (std::size_t p = 0; p < n; ++p) {
    const int32_t i = move.affected[p];
    if (!HaploidOffspring(i)) join(v.CrIndivLoc(i, 1) + side, p);
    join(v.CrIndivLoc(i, 2), p);
  }
  // Component slots keep their buffers from one move to the next.
  std::size_t count = 0;
  componentindex.assign(n, -1);
  for (std::size_t p = 0; p < n; ++p) {
    const int32_t root = find(static_cast<int32_t>(p));
    int32_t& index = componentindex[static_cast<std::size_t>(root)];
    if (index < 0) {
      index = static_cast<int32_t>(count++);
      if (move.components.size() < count) move.components.emplace_back();
      move.components[count - 1].clear();
    }
    move.components[static_cast<std::size_t>(index)].push_back(move.affected[p]);
  }
  move.components.resize(count);
}

double ClustersLogL(const std::vector<int16_t>& offspring) {
  const Variables& v = variables;
  static std::vector<int32_t> slots;
  slots.clear();
  double sum = 0.0;
  for (int16_t j : offspring) {
    const int32_t s = v.ClusterID(j);
    if (std::find(slots.begin(), slots.end(), s) == slots.end()) {
      slots.push_back(s);
      sum += v.CrFamilyLogL(s);
    }
  }
  return sum;
}

double ScoreMove(PendingMove& move, double threshold) {
  // Pairwise scores cost a few table reads per pair the move touches: no
  // cluster is too complex for them, and no bar is needed to stop early.
  if (PairScoreMethod()) return PairScoreMove(move);
  FormComponents(move);
  move.componentlogl.assign(move.components.size(), -1e300);
  if (!Screen2(move.components)) return -1e300;
  // Every cluster's log likelihood is at most 0, so once the running total
  // is below the threshold the move cannot be accepted. Clusters met
  // before cost nothing and come first: their values tighten the bar the
  // others are computed against.
  double total = 0.0;
  std::vector<int32_t>& key = clusterkey;
  pending.clear();
  for (std::size_t c = 0; c < move.components.size(); ++c) {
    double logl = -1e300;
    ClusterKey(move.components[c], key);
    if (!FindClusterLogL(key, logl)) {
      pending.push_back(c);
      continue;
    }
    move.componentlogl[c] = logl;
    if (logl <= -1e300) return -1e300;
    total += logl;
    if (total < threshold) return total;
  }
  // Several clusters still to compute are first scored together against
  // the bar: one sum over loci can then stop as soon as their total falls
  // below it, where one cluster after the other could stop only within the
  // last. Only a total that passes is computed again cluster by cluster,
  // for the values the configuration keeps.
  if (pending.size() > 1 && threshold > -1e300) {
    static std::vector<int16_t> together;
    together.clear();
    for (std::size_t c : pending) together.insert(together.end(), move.components[c].begin(), move.components[c].end());
    FamilyBuildMembers(together.data(), static_cast<int32_t>(together.size()));
    for (std::size_t c : pending) familyloglvar.parts.push_back(static_cast<int64_t>(move.components[c].size()));
    double logl = -1e300;
    FamilyLikelihood(logl, threshold - total, 1, 0, 0);
    if (logl <= -1e300) return -1e300;
    if (total + logl < threshold) return total + logl;
  }
  for (std::size_t c : pending) {
    double logl = -1e300;
    FamilyBuildMembers(move.components[c].data(), static_cast<int32_t>(move.components[c].size()));
    FamilyLikelihood(logl, threshold - total, 1, 0, 0);
    // A value below the threshold may be a partial sum; only whole values
    // are kept.
    if (logl >= threshold - total || logl <= -1e300) {
      ClusterKey(move.components[c], key);
      StoreClusterLogL(key, logl);
    }
    move.componentlogl[c] = logl;
    if (logl <= -1e300) return -1e300;
    total += logl;
    if (total < threshold) return total;
  }
  return total;
}

void RelabelClusters(const std::vector<std::pair<int32_t, double>>& fresh) {
  Variables& v = variables;
  // Cluster log likelihoods by first member: untouched clusters keep
  // theirs whatever slot they move to.
  static std::vector<double> byfirst;
  byfirst.assign(static_cast<std::size_t>(v.smplsize) + 1, 0.0);
  for (int32_t s = 1; s <= v.CrNumFamily(3); ++s) byfirst[static_cast<std::size_t>(v.IndivClusterIdx(s))] = v.CrFamilyLogL(s);
  for (const auto& [first, logl] : fresh) byfirst[static_cast<std::size_t>(first)] = logl;
  SetInitCluster();
  double total = 0.0;
  for (int32_t s = 1; s <= v.CrNumFamily(3); ++s) {
    v.CrFamilyLogL(s) = byfirst[static_cast<std::size_t>(v.IndivClusterIdx(s))];
    total += v.CrFamilyLogL(s);
  }
  double parents = 0.0;
  ComputeParentLogL(parents);
  v.CrLogLikelihood = total + parents;
}

void CommitMove(const PendingMove& move) {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  // A new family the move opened raises the count first; then a family
  // the move emptied takes the number of the last family, so that family
  // numbers stay dense.
  const bool pool = v.numsex == 1;
  for (int32_t k = 1; k <= 2; ++k) {
    int32_t largest = 0;
    for (int32_t j = 1; j <= n; ++j) largest = std::max(largest, v.CrIndivLoc(j, k));
    v.CrNumFamily(k) = std::max(v.CrNumFamily(k), largest);
  }
  if (pool) v.CrNumFamily(1) = v.CrNumFamily(2) = std::max(v.CrNumFamily(1), v.CrNumFamily(2));
  // Each side (or, in a monoecious sample, the one pool of both columns)
  // fills the holes the move left with its last numbers.
  for (int32_t k = 1; k <= (pool ? 1 : 2); ++k) {
    int32_t count = v.CrNumFamily(k);
    std::vector<char>& used = familyused;
    used.assign(static_cast<std::size_t>(count) + 1, 0);
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t s = 1; s <= 2; ++s) {
        if (s == k || pool) used[static_cast<std::size_t>(v.CrIndivLoc(j, s))] = 1;
      }
    }
    auto trim = [&] {
      while (count > 0 && !used[static_cast<std::size_t>(count)]) --count;
    };
    trim();
    const int32_t holes[2] = {move.oldfamily[k - 1], pool ? move.oldfamily[1] : 0};
    for (int32_t hole : holes) {
      if (hole < 1 || hole >= count || used[static_cast<std::size_t>(hole)]) continue;
      for (int32_t j = 1; j <= n; ++j) {
        for (int32_t s = 1; s <= 2; ++s) {
          if ((s == k || pool) && v.CrIndivLoc(j, s) == count) v.CrIndivLoc(j, s) = hole;
        }
      }
      used[static_cast<std::size_t>(hole)] = 1;
      used[static_cast<std::size_t>(count)] = 0;
      trim();
    }
    v.CrNumFamily(k) = count;
    if (pool) v.CrNumFamily(2) = count;
  }
  // In a one-sex sample a move can also empty a parent that was none of
  // the moved offspring's own (one standing in the other column too); the
  // numbers are then renumbered whole, so that they stay dense.
  if (pool) {
    std::vector<char>& used = familyused;
    used.assign(static_cast<std::size_t>(v.CrNumFamily(1)) + 1, 0);
    int32_t distinct = 0;
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t s = 1; s <= 2; ++s) {
        char& seen = used[static_cast<std::size_t>(v.CrIndivLoc(j, s))];
        distinct += seen == 0 ? 1 : 0;
        seen = 1;
      }
    }
    if (distinct != v.CrNumFamily(1)) CompactFamilies();
  }
  KeepScoredClusters(move);
}

void KeepScoredClusters(const PendingMove& move) {
  KeepPairShares(move);
  // The clusters the move formed take their new values.
  std::vector<std::pair<int32_t, double>> fresh;
  for (std::size_t c = 0; c < move.components.size(); ++c) {
    fresh.emplace_back(move.components[c].front(), move.componentlogl[c]);
  }
  RelabelClusters(fresh);
}

void CompactFamilies() {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  const bool pool = v.numsex == 1;
  static std::vector<int32_t> number;
  for (int32_t k = 1; k <= (pool ? 1 : 2); ++k) {
    // A haploid son's paternal family number is renumbered with the rest:
    // CommitMove, the prior and the first configuration count it too.
    auto counted = [&](int32_t, int32_t side) { return side == k || pool; };
    // The numbers in use, then their new numbers in the same order.
    int32_t largest = 0;
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t side = 1; side <= 2; ++side) {
        if (counted(j, side)) largest = std::max(largest, v.CrIndivLoc(j, side));
      }
    }
    number.assign(static_cast<std::size_t>(largest) + 1, 0);
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t side = 1; side <= 2; ++side) {
        if (counted(j, side)) number[static_cast<std::size_t>(v.CrIndivLoc(j, side))] = 1;
      }
    }
    int32_t count = 0;
    for (int32_t& x : number) x = x != 0 ? ++count : 0;
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t side = 1; side <= 2; ++side) {
        if (counted(j, side)) v.CrIndivLoc(j, side) = number[static_cast<std::size_t>(v.CrIndivLoc(j, side))];
      }
    }
    v.CrNumFamily(k) = count;
    if (pool) v.CrNumFamily(2) = count;
  }
}
