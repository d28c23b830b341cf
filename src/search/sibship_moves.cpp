// Sibship moves of the annealing search.
#include "search/sibship_moves.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "likelihood/family_likelihood.h"
#include "numeric/random.h"
#include "search/cluster_cache.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/parentage_moves.h"
#include "state/annealvariables.h"
#include "state/variables.h"

namespace {

std::vector<int32_t> clusterkey;
std::vector<std::pair<int64_t, int32_t>> firstwith;
std::vector<int32_t> candidates;
std::vector<std::size_t> pending;  // clusters of a move still to compute
std::vector<int32_t> mates;
std::vector<int64_t> familykeys;
std::vector<int32_t> hostfamilies[2];
std::vector<uint32_t> familymark[2];  // == familystamp: family listed
uint32_t familystamp = 0;
std::vector<uint32_t> movingmark;  // == markstamp: offspring moving now
uint32_t markstamp = 0;

bool Haploid(int32_t i) { return HaploidOffspring(i); }

bool AllMonogamous() { return variables.monogamy(1) == 1 && variables.monogamy(2) == 1; }

int32_t NearestInt(double x) { return static_cast<int32_t>(std::floor(x + 0.5)); }

// Members of a cluster slot (empty for the new-cluster slot).
const std::vector<int16_t>& Members(int32_t slot) {
  static const std::vector<int16_t> none;
  if (slot < 1 || slot > variables.CrNumFamily(3)) return none;
  return variables.IndivCluster(slot);
}

// The candidate assigned to family f of side k, 0 when none (all members
// of a family carry the same assignment).
int32_t FamilyCandidate(int32_t k, int32_t f, int32_t skip) {
  const Variables& v = variables;
  if (v.numchild(k) < 1) return 0;  // no candidates of this sex to assign
  for (int32_t j = 1; j <= v.smplsize; ++j) {
    if (j != skip && v.CrIndivLoc(j, k) == f && v.InferParent(j, k) > 0) return v.InferParent(j, k);
  }
  return 0;
}

}  // namespace

bool Screen2(const std::vector<std::vector<int16_t>>& components) {
  const Variables& v = variables;
  std::vector<int64_t> parents, families;
  for (const auto& members : components) {
    parents.clear();
    families.clear();
    for (int16_t j : members) {
      const int32_t f = Haploid(j) ? -j : v.CrIndivLoc(j, 1), m = v.CrIndivLoc(j, 2);
      // In a one-sex sample both columns name one pool of parents.
      const int64_t side = v.numsex == 1 ? 0 : 1;
      parents.push_back(-(static_cast<int64_t>(f) + side * (1LL << 32)));
      parents.push_back(m);
      families.push_back(static_cast<int64_t>(f) * (1LL << 32) + m);
    }
    for (auto* list : {&parents, &families}) {
      std::sort(list->begin(), list->end());
      list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    const int64_t cycles = static_cast<int64_t>(families.size()) - static_cast<int64_t>(parents.size()) + 1;
    if (cycles > kMaxClusterCycles) return false;
  }
  return true;
}

int32_t ChooseDestinationCluster(int32_t i) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t C = v.CrNumFamily(3);
  const int32_t N = v.smplsize;
  const int32_t own = v.ClusterID(i);
  double q = 0.8 * std::exp(-6.0 * C / N);
  if (v.numsex == 1 && v.allowinbreeding == 1) q += std::max(1.0 / N, 0.01);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int32_t dest = own;
    if (!AllMonogamous() && !Haploid(i)) {
      // Families of the neighbourhood, and the size of the offspring's own
      // full-sib family.
      int32_t fullsibs = 0;
      const auto& members = Members(own);
      familykeys.clear();
      for (int16_t j : members) {
        if (v.CrIndivLoc(j, 1) == v.CrIndivLoc(i, 1) && v.CrIndivLoc(j, 2) == v.CrIndivLoc(i, 2)) ++fullsibs;
        familykeys.push_back(static_cast<int64_t>(v.CrIndivLoc(j, 1)) * (int64_t{1} << 32) + v.CrIndivLoc(j, 2));
      }
      std::sort(familykeys.begin(), familykeys.end());
      const int32_t families =
          static_cast<int32_t>(std::unique(familykeys.begin(), familykeys.end()) - familykeys.begin());
      const double u = ran1();
      if (u >= (1.0 - 0.95 / std::sqrt(static_cast<double>(std::max(families, 1)))) * q) {
        const int32_t slots = C + NearestInt(std::max(0.1 * C, 2.0) / std::max(fullsibs, 1)) + 1;
        dest = std::min(static_cast<int32_t>(std::floor(ran1() * slots)) + 1, C + 1);
      }
    } else {
      const int32_t ploidy = Haploid(i) ? 1 : 2;
      dest = std::min(C + 1, static_cast<int32_t>(std::floor(((3 - ploidy + a.Rate) * C + 1) * ran1())) + 1);
      if (AllMonogamous() && dest == own && !(v.numsex == 1 && v.allowinbreeding == 1)) continue;
    }
    // A move into a much smaller cluster is drawn again.
    if (dest != own && dest <= C && v.ClusterSizeT(own) > 100 * v.ClusterSizeT(dest)) continue;
    return dest;
  }
  return own;
}

bool FindHostFamilyID(int32_t /*mode*/, int32_t i, int32_t dest) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  // Families of each side in the neighbourhood of the move: those of the
  // destination cluster and of the offspring's own cluster, so that an
  // offspring (or a full-sib family) can join a parent of another cluster
  // while keeping its other parent, which is how clusters grow together.
  std::vector<int32_t>* fam = hostfamilies;
  fam[0].clear();
  fam[1].clear();
  // Families already listed are marked (per side), so that listing them
  // costs one look-up per member.
  const std::size_t limit = 2 * static_cast<std::size_t>(std::max(v.CrNumFamily(1), v.CrNumFamily(2))) + 2;
  for (auto& mark : familymark) {
    if (mark.size() < limit) mark.assign(limit, 0);
  }
  if (++familystamp == 0) {
    for (auto& mark : familymark) std::fill(mark.begin(), mark.end(), 0);
    familystamp = 1;
  }
  const int32_t slots[2] = {dest, v.ClusterID(i)};
  for (int32_t s = 0; s < (dest == v.ClusterID(i) ? 1 : 2); ++s) {
    for (int16_t j : Members(slots[s])) {
      for (int32_t k = 0; k < 2; ++k) {
        if (k == 0 && Haploid(j)) continue;
        const int32_t f = v.CrIndivLoc(j, k + 1);
        uint32_t& mark = familymark[k][static_cast<std::size_t>(f)];
        if (mark == familystamp) continue;
        mark = familystamp;
        fam[k].push_back(f);
      }
    }
  }
  a.NParent1(1) = static_cast<int32_t>(fam[0].size());
  a.NParent1(2) = static_cast<int32_t>(fam[1].size());
  const int32_t P = a.NParent1(1) + a.NParent1(2);
  const int32_t current[2] = {v.CrIndivLoc(i, 1), v.CrIndivLoc(i, 2)};
  for (int attempt = 0; attempt < 99; ++attempt) {
    int32_t host[2] = {current[0], current[1]};
    for (int32_t k = 0; k < 2; ++k) {
      if (a.SibshipDone(k + 1) != 0) continue;
      if (k == 0 && Haploid(i)) continue;  // no father to move to
      // An offspring whose known sibship of this side is its whole
      // full-sib family stays with it.
      const int32_t label = v.knownsibship.empty() ? 0 : v.knownsibship(i, k + 1);
      if (label > 0) continue;
      const double u = ran1();
      const int32_t Pk = static_cast<int32_t>(fam[k].size());
      if (Pk == 0 || u < 0.1 * Pk / std::max(P, 1)) {
        host[k] = -1;  // a new family, numbered below
      } else {
        host[k] = fam[k][static_cast<std::size_t>(std::min(Pk - 1, static_cast<int32_t>(std::floor(Pk * static_cast<double>(ran1())))))];
      }
    }
    // New families take the next numbers; in a monoecious sample both
    // sides number one pool of parents.
    int32_t next[2] = {v.CrNumFamily(1), v.CrNumFamily(2)};
    for (int32_t k = 0; k < 2; ++k) {
      if (host[k] != -1) continue;
      host[k] = v.numsex == 1 ? ++next[0] : ++next[k];
    }
    if (host[0] != current[0] || host[1] != current[1]) {
      a.HostFamily(1) = host[0];
      a.HostFamily(2) = host[1];
      a.HostFamily(3) = dest;
      return true;
    }
  }
  return false;
}

void MoveGroup(int32_t mode, int32_t i, std::vector<int32_t>& group) {
  const Variables& v = variables;
  group.assign(1, i);
  if (mode == 1) return;
  auto constrained = [&](int32_t j) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (!v.knownsibship.empty() && v.knownsibship(j, k) > 0) return true;
      if (!v.indivparent.empty() && v.indivparent(j, k) > 0) return true;
      if (!v.excludedsib(k).empty() && !v.excludedsib(k)(j).empty()) return true;
      if (!v.excludedparent(k).empty() && !v.excludedparent(k)(j).empty()) return true;
    }
    return false;
  };
  if (constrained(i)) return;
  for (int16_t j : v.IndivCluster(v.ClusterID(i))) {
    if (j == i || v.CrIndivLoc(j, 1) != v.CrIndivLoc(i, 1) || v.CrIndivLoc(j, 2) != v.CrIndivLoc(i, 2)) continue;
    if (Haploid(j) != Haploid(i) || constrained(j)) {
      group.assign(1, i);
      return;
    }
    group.push_back(j);
  }
}

bool CheckConfiguration(const std::vector<int32_t>& group) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t n = v.smplsize;
  const int32_t i = group.front();
  const int32_t host[3] = {0, a.HostFamily(1), a.HostFamily(2)};
  // The moving offspring are marked once, so that each look-up below is
  // one comparison.
  if (movingmark.size() != static_cast<std::size_t>(n) + 1) {
    movingmark.assign(static_cast<std::size_t>(n) + 1, 0);
    markstamp = 0;
  }
  if (++markstamp == 0) {
    std::fill(movingmark.begin(), movingmark.end(), 0);
    markstamp = 1;
  }
  for (int32_t j : group) movingmark[static_cast<std::size_t>(j)] = markstamp;
  auto isMoving = [&](int32_t j) { return movingmark[static_cast<std::size_t>(j)] == markstamp; };
  auto family = [&](int32_t j, int32_t k) { return isMoving(j) ? host[k] : v.CrIndivLoc(j, k); };
  // The destination families belong to the offspring's own cluster or to
  // the destination cluster (or are new): their members are found there.
  candidates.clear();
  for (int32_t slot : {v.ClusterID(i), a.HostFamily(3)}) {
    if (slot < 1 || slot > v.CrNumFamily(3) || (slot == a.HostFamily(3) && slot == v.ClusterID(i) && !candidates.empty())) continue;
    candidates.insert(candidates.end(), v.IndivCluster(slot).begin(), v.IndivCluster(slot).end());
  }
  for (int32_t k = 1; k <= 2; ++k) {
    if (k == 1 && Haploid(i)) continue;
    const int32_t other = 3 - k;
    // Mates of the destination parent after the move, where their number
    // is limited.
    const bool limited = v.monogamy(k) == 1 || v.maxmatings(k) < n;
    int32_t candidate = 0;
    mates.clear();
    for (int32_t j : candidates) {
      // The family's present members carry its candidate.
      if (candidate == 0 && j != i && v.CrIndivLoc(j, k) == host[k] && v.InferParent(j, k) > 0) {
        candidate = v.InferParent(j, k);
      }
      if (!limited || family(j, k) != host[k] || (k == 1 && Haploid(j))) continue;
      const int32_t m = family(j, other);
      if (std::find(mates.begin(), mates.end(), m) == mates.end()) mates.push_back(m);
    }
    if (v.monogamy(k) == 1 && mates.size() > 1) return false;
    if (v.monogamy(k) == 0 && v.maxmatings(k) < n && static_cast<int32_t>(mates.size()) > v.maxmatings(k)) return false;
    // Known and excluded parents: the destination family's candidate (its
    // members are all in the clusters listed) must be one the offspring
    // may have. (A group moves only offspring without known relationships,
    // so its first member speaks for all.)
    const int32_t known = v.indivparent.empty() ? 0 : v.indivparent(i, k);
    if (known > 0 && candidate > 0 && candidate != known) return false;
    if (candidate > 0 && !v.excludedparent(k).empty()) {
      const auto& ex = v.excludedparent(k)(i);
      if (std::find(ex.begin(), ex.end(), candidate) != ex.end()) return false;
    }
    // Excluded sibships, both ways.
    if (!v.excludedsib(k).empty()) {
      for (int32_t j : candidates) {
        if (isMoving(j) || family(j, k) != host[k]) continue;
        const auto& exi = v.excludedsib(k)(i);
        const auto& exj = v.excludedsib(k)(j);
        if (std::find(exi.begin(), exi.end(), j) != exi.end() || std::find(exj.begin(), exj.end(), i) != exj.end()) {
          return false;
        }
      }
    }
    // Offspring with another known sibship label cannot be joined.
    const int32_t label = v.knownsibship.empty() ? 0 : v.knownsibship(i, k);
    if (!v.knownsibship.empty()) {
      for (int32_t j : candidates) {
        if (isMoving(j) || family(j, k) != host[k]) continue;
        const int32_t lj = v.knownsibship(j, k);
        if (lj > 0 && label > 0 && lj != label) return false;
      }
    }
  }
  // Selfing needs inbreeding to be allowed.
  if (v.numsex == 1 && v.allowinbreeding == 0 && host[1] == host[2]) return false;
  return true;
}

void ApplyMove(PendingMove& move, int32_t dest) {
  Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t i = move.indiv;
  move.oldfamily[0] = v.CrIndivLoc(i, 1);
  move.oldfamily[1] = v.CrIndivLoc(i, 2);
  move.changedparent.clear();
  move.side.clear();
  move.oldcandidate.clear();
  // The offspring takes the candidate of its new families; a known parent
  // it brings is given to its new family.
  for (int32_t k = 1; k <= 2; ++k) {
    if (k == 1 && Haploid(i)) continue;
    const int32_t host = a.HostFamily(k);
    const int32_t known = v.indivparent.empty() ? 0 : v.indivparent(i, k);
    int32_t candidate = known > 0 ? known : FamilyCandidate(k, host, i);
    if (candidate == 0 && host > v.CrNumFamily(k)) candidate = move.newcandidate[k - 1];
    auto set = [&](int32_t j, int32_t c) {
      if (v.InferParent(j, k) == c) return;
      move.changedparent.push_back(j);
      move.side.push_back(k);
      move.oldcandidate.push_back(v.InferParent(j, k));
      v.InferParent(j, k) = c;
    };
    for (int32_t j : move.group) set(j, candidate);
    if (known > 0) {
      for (int32_t j = 1; j <= v.smplsize; ++j) {
        if (j != i && v.CrIndivLoc(j, k) == host && !(k == 1 && Haploid(j))) set(j, known);
      }
    }
  }
  // The offspring of the clusters concerned.
  move.affected.assign(Members(v.ClusterID(i)).begin(), Members(v.ClusterID(i)).end());
  if (dest != v.ClusterID(i)) {
    const auto& other = Members(dest);
    move.affected.insert(move.affected.end(), other.begin(), other.end());
    std::sort(move.affected.begin(), move.affected.end());
  }
  for (int32_t j : move.group) {
    v.CrIndivLoc(j, 1) = a.HostFamily(1);
    v.CrIndivLoc(j, 2) = a.HostFamily(2);
  }
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

double ScoreMove(PendingMove& move, double threshold) {
  Variables& v = variables;
  // Clusters among the affected offspring after the move.
  const std::size_t n = move.affected.size();
  std::vector<int32_t> up(n);
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
    if (!Haploid(i)) join(v.CrIndivLoc(i, 1) + side, p);
    join(v.CrIndivLoc(i, 2), p);
  }
  move.components.clear();
  std::vector<int32_t> index(n, -1);
  for (std::size_t p = 0; p < n; ++p) {
    const int32_t root = find(static_cast<int32_t>(p));
    if (index[static_cast<std::size_t>(root)] < 0) {
      index[static_cast<std::size_t>(root)] = static_cast<int32_t>(move.components.size());
      move.components.emplace_back();
    }
    move.components[static_cast<std::size_t>(index[static_cast<std::size_t>(root)])].push_back(move.affected[p]);
  }
  if (!Screen2(move.components)) return -1e300;
  // Every cluster's log likelihood is at most 0, so once the running total
  // is below the threshold the move cannot be accepted. Clusters met
  // before cost nothing and come first: their values tighten the bar the
  // others are computed against.
  move.componentlogl.assign(move.components.size(), -1e300);
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
  std::vector<double> byfirst(static_cast<std::size_t>(v.smplsize) + 1, 0.0);
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
    auto used = [&](int32_t f) {
      for (int32_t j = 1; j <= n; ++j) {
        if (v.CrIndivLoc(j, k) == f || (pool && v.CrIndivLoc(j, 2) == f)) return true;
      }
      return false;
    };
    int32_t count = v.CrNumFamily(k);
    auto trim = [&] {
      while (count > 0 && !used(count)) --count;
    };
    trim();
    const int32_t holes[2] = {move.oldfamily[k - 1], pool ? move.oldfamily[1] : 0};
    for (int32_t hole : holes) {
      if (hole < 1 || hole >= count || used(hole)) continue;
      for (int32_t j = 1; j <= n; ++j) {
        for (int32_t side = 1; side <= 2; ++side) {
          if ((side == k || pool) && v.CrIndivLoc(j, side) == count) v.CrIndivLoc(j, side) = hole;
        }
      }
      --count;
      trim();
    }
    v.CrNumFamily(k) = count;
    if (pool) v.CrNumFamily(2) = count;
  }
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
  for (int32_t k = 1; k <= (pool ? 1 : 2); ++k) {
    std::vector<int32_t> used;
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t side = 1; side <= 2; ++side) {
        if ((side == k || pool) && !(side == 1 && Haploid(j))) used.push_back(v.CrIndivLoc(j, side));
      }
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t side = 1; side <= 2; ++side) {
        if (!(side == k || pool) || (side == 1 && Haploid(j))) continue;
        int32_t& f = v.CrIndivLoc(j, side);
        f = static_cast<int32_t>(std::lower_bound(used.begin(), used.end(), f) - used.begin()) + 1;
      }
    }
    v.CrNumFamily(k) = static_cast<int32_t>(used.size());
    if (pool) v.CrNumFamily(2) = v.CrNumFamily(1);
  }
}


bool ReversibleCluster(const std::vector<int16_t>& members) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || members.size() < 2) return false;
  std::vector<int32_t> fathers, mothers;
  for (int16_t j : members) {
    // Offspring tied to their parents by assignments or known data keep
    // the roles those give; haploid sons have no father to exchange.
    if (Haploid(j)) return false;
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

void Reversal(double T, double rate, int32_t& changed) {
  Variables& v = variables;
  changed = 0;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || v.CrNumFamily(3) < 2) return;
  const int32_t pick = std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1);
  const int32_t slot = v.ClusterID(pick);
  const std::vector<int16_t> members = v.IndivCluster(slot);
  if (!ReversibleCluster(members)) return;
  const Mat1<int32_t> saved = v.CrIndivLoc;
  const auto savednumbers = v.CrNumFamily;
  ReverseCluster(members);
  // In a diploid sample the two arrangements have the same likelihood; in
  // a haplodiploid one the fathers' ploidy makes them differ.
  const double old = v.CrFamilyLogL(slot);
  double fresh = old;
  if (v.haplodiploid == 1) {
    std::vector<int16_t> group(members.begin(), members.end());
    FamilyBuildMembers(group.data(), static_cast<int32_t>(group.size()));
    FamilyLikelihood(fresh, -1e300, 1, 0, 0);
  }
  bool accept;
  if (std::fabs(fresh - old) < 1e-20) {
    accept = ran1() <= rate;
  } else {
    accept = fresh >= old || fresh - old >= T * std::log(static_cast<double>(ran1()));
  }
  if (!accept || fresh <= -1e300) {
    v.CrIndivLoc = saved;
    v.CrNumFamily = savednumbers;
    return;
  }
  CompactFamilies();
  RelabelClusters({{v.IndivClusterIdx(slot), fresh}});
  changed = 1;
}

void SwapDadID(double T, double rate, double (*prior)(), int32_t& changed) {
  Variables& v = variables;
  changed = 0;
  const int32_t n = v.smplsize;
  if (v.numsex != 2 || v.CrNumFamily(1) < 2 || n < 2) return;
  auto pick = [&] { return std::min(n, static_cast<int32_t>(std::floor(static_cast<double>(ran1()) * n)) + 1); };
  const int32_t i = pick(), j = pick();
  if (Haploid(i) || Haploid(j)) return;
  const int32_t f1 = v.CrIndivLoc(i, 1), m1 = v.CrIndivLoc(i, 2);
  const int32_t f2 = v.CrIndivLoc(j, 1), m2 = v.CrIndivLoc(j, 2);
  if (f1 == f2 || m1 == m2) return;
  // The daughters of the two full-sib families exchange fathers; each
  // family keeps its mother. Offspring tied by known or excluded
  // relationships keep theirs.
  std::vector<int32_t> a, b;
  for (int32_t x = 1; x <= n; ++x) {
    if (Haploid(x)) continue;
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
  const int32_t c1 = FamilyCandidate(1, f1, 0), c2 = FamilyCandidate(1, f2, 0);
  const double priorbefore = prior != nullptr ? prior() : 0.0;
  PendingMove swap;
  const int32_t slots[2] = {v.ClusterID(i), v.ClusterID(j)};
  double old = 0.0;
  for (int32_t s = 0; s < (slots[0] == slots[1] ? 1 : 2); ++s) {
    const auto& members = Members(slots[s]);
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
        if (!Haploid(x) && v.CrIndivLoc(x, 1) == f) mates.push_back(v.CrIndivLoc(x, 2));
      }
      std::sort(mates.begin(), mates.end());
      if (std::unique(mates.begin(), mates.end()) - mates.begin() > v.maxmatings(1)) allowed = false;
    }
  }
  if (allowed) {
    const double priorafter = prior != nullptr ? prior() : 0.0;
    const double u = static_cast<double>(ran1());
    const double threshold = old + (priorbefore - priorafter) + std::log(std::max(u, 1e-300)) * T;
    const double fresh = ScoreMove(swap, threshold);
    bool accept = fresh > threshold && fresh > -1e300;
    if (accept && std::fabs(fresh - old) < 0.000001) accept = ran1() <= rate;
    if (accept) {
      std::vector<std::pair<int32_t, double>> values;
      for (std::size_t c = 0; c < swap.components.size(); ++c) {
        values.emplace_back(swap.components[c].front(), swap.componentlogl[c]);
      }
      RelabelClusters(values);
      changed = 1;
      return;
    }
  }
  exchange(f1, c1, f2, c2);
}
