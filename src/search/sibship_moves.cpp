// Sibship moves of the annealing search: the destination cluster and
// families of the offspring moved, the offspring that move with it, and
// the checks of the mating system and the known data.
#include "search/sibship_moves.h"

#include <algorithm>
#include <cmath>

#include "numeric/random.h"
#include "numeric/rounding.h"
#include "search/configuration.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "search/pair_screen.h"
#include "state/annealvariables.h"
#include "state/variables.h"

namespace {

std::vector<int32_t> candidates;
std::vector<int32_t> mates;
std::vector<int64_t> familykeys;
std::vector<int32_t> hostfamilies[2];
std::vector<uint32_t> familymark[2];  // == familystamp: family listed
uint32_t familystamp = 0;
std::vector<uint32_t> movingmark;  // == markstamp: offspring moving now
uint32_t markstamp = 0;

bool AllMonogamous() { return variables.monogamy(1) == 1 && variables.monogamy(2) == 1; }

const std::vector<int16_t>& Members(int32_t slot) { return ClusterMembers(slot); }

}  // namespace

int32_t ChooseDestinationCluster(int32_t i, int32_t& partner) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t C = v.CrNumFamily(3);
  const int32_t N = v.smplsize;
  const int32_t own = v.ClusterID(i);
  // Half the time the offspring goes where one of its likely kin is: most
  // clusters drawn at random would only be refused.
  partner = 0;
  const PartnerList& kin = Partners(i);
  if (kin[0] > 0 && ran1() < kPartnerShare) {
    int32_t count = 0;
    while (count < kNearPartners && kin[static_cast<std::size_t>(count)] > 0) ++count;
    partner = kin[static_cast<std::size_t>(std::min(count - 1, static_cast<int32_t>(ran1() * count)))];
    return v.ClusterID(partner);
  }
  double q = 0.8 * std::exp(-6.0 * C / N);
  if (v.numsex == 1 && v.allowinbreeding == 1) q += std::max(1.0 / N, 0.01);
  // Full-sib families of the neighbourhood, and the size of the offspring's
  // own full-sib family.
  const bool polygamous = !AllMonogamous() && !HaploidOffspring(i);
  int32_t fullsibs = 0, families = 0;
  if (polygamous) {
    familykeys.clear();
    for (int16_t j : Members(own)) {
      if (v.CrIndivLoc(j, 1) == v.CrIndivLoc(i, 1) && v.CrIndivLoc(j, 2) == v.CrIndivLoc(i, 2)) ++fullsibs;
      familykeys.push_back(static_cast<int64_t>(v.CrIndivLoc(j, 1)) * (int64_t{1} << 32) + v.CrIndivLoc(j, 2));
    }
    std::sort(familykeys.begin(), familykeys.end());
    families = static_cast<int32_t>(std::unique(familykeys.begin(), familykeys.end()) - familykeys.begin());
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    int32_t dest = own;
    if (polygamous) {
      const double u = ran1();
      if (u >= (1.0 - 0.95 / std::sqrt(static_cast<double>(std::max(families, 1)))) * q) {
        const int32_t slots = C + NearestInt(std::max(0.1 * C, 2.0) / std::max(fullsibs, 1)) + 1;
        dest = std::min(static_cast<int32_t>(std::floor(ran1() * slots)) + 1, C + 1);
      }
    } else if (PairScoreMethod()) {
      dest = static_cast<int32_t>(std::min<int64_t>(C, NearestInt((1.0 + a.Rate) * ran1() * C))) + 1;
      if (AllMonogamous() && dest == own && !(v.numsex == 1 && v.allowinbreeding == 1)) continue;
    } else {
      const int32_t ploidy = HaploidOffspring(i) ? 1 : 2;
      dest = std::min(C + 1, static_cast<int32_t>(std::floor(((3 - ploidy + a.Rate) * C + 1) * ran1())) + 1);
      if (AllMonogamous() && dest == own && !(v.numsex == 1 && v.allowinbreeding == 1)) continue;
    }
    // A move into a much smaller cluster is drawn again.
    if (dest != own && dest <= C && v.ClusterSizeT(own) > 100 * v.ClusterSizeT(dest)) continue;
    return dest;
  }
  return own;
}

bool FindHostFamilyID(const std::vector<int32_t>& group, int32_t dest, int32_t partner) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  const int32_t i = group.front();
  const int32_t current[2] = {v.CrIndivLoc(i, 1), v.CrIndivLoc(i, 2)};
  // A new family of one side takes the next number (in a monoecious
  // sample both sides number one pool of parents).
  const int32_t fresh[2] = {v.CrNumFamily(1) + 1, v.numsex == 1 ? v.CrNumFamily(1) + 1 : v.CrNumFamily(2) + 1};
  // Sides free to change: not fixed by known data, and a father only for a
  // diploid offspring. An offspring whose known sibship of a side is its
  // whole full-sib family stays with it.
  bool free[2];
  for (int32_t k = 0; k < 2; ++k) {
    const int32_t label = v.knownsibship.empty() ? 0 : v.knownsibship(i, k + 1);
    free[k] = a.SibshipDone(k + 1) == 0 && !(k == 0 && HaploidOffspring(i)) && label == 0;
  }
  // Sides on which the moving offspring are the whole family: a new family
  // there only renames their parent, which changes nothing.
  bool whole[2] = {true, true};
  for (int16_t j : Members(v.ClusterID(i))) {
    if (std::find(group.begin(), group.end(), j) != group.end()) continue;
    for (int32_t k = 0; k < 2; ++k) {
      if (!(k == 0 && HaploidOffspring(j)) && v.CrIndivLoc(j, k + 1) == current[k]) whole[k] = false;
    }
  }
  auto unchanged = [&](int32_t f, int32_t m) {
    return (f == current[0] || (whole[0] && f > v.CrNumFamily(1) && v.numsex == 2)) &&
           (m == current[1] || (whole[1] && m > v.CrNumFamily(2) && v.numsex == 2));
  };
  // Towards a partner, half the time the families are the partner's own:
  // its full-sib family, its father or its mother (keeping the other parent
  // or with a new one).
  // In a monoecious sample a parent may take either role, and with selfing
  // both: the partner's parents are also offered in the other role, and as
  // the one parent of a selfed offspring.
  if (partner > 0 && ran1() < 0.5) {
    const int32_t pf = HaploidOffspring(partner) ? current[0] : v.CrIndivLoc(partner, 1), pm = v.CrIndivLoc(partner, 2);
    const int32_t options[9][2] = {{pf, pm},          {pf, current[1]}, {current[0], pm},
                                   {pf, fresh[1]},    {fresh[0], pm},   {current[0], pf},
                                   {pm, current[1]},  {pf, pf},         {pm, pm}};
    const int32_t noptions = v.numsex == 1 ? (v.allowinbreeding == 1 ? 9 : 7) : 5;
    int32_t hosts[9][2];
    int32_t count = 0;
    for (int32_t o = 0; o < noptions; ++o) {
      const int32_t* option = options[o];
      const int32_t f = free[0] ? option[0] : current[0], m = free[1] ? option[1] : current[1];
      if (unchanged(f, m)) continue;
      bool seen = false;
      for (int32_t q = 0; q < count; ++q) seen = seen || (hosts[q][0] == f && hosts[q][1] == m);
      if (seen) continue;
      hosts[count][0] = f;
      hosts[count][1] = m;
      ++count;
    }
    if (count > 0) {
      const int32_t pick = std::min(count - 1, static_cast<int32_t>(ran1() * count));
      a.HostFamily(1) = hosts[pick][0];
      a.HostFamily(2) = hosts[pick][1];
      a.HostFamily(3) = dest;
      return true;
    }
  }
  // Families of each side in the neighbourhood of the move: those of the
  // destination cluster and of the offspring's own cluster, so that an
  // offspring (or a full-sib family) can join a parent of another cluster
  // while keeping its other parent, which is how clusters grow together.
  // In a monoecious sample both sides draw from every parent of the
  // neighbourhood, whichever role it has there.
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
  const bool pool = v.numsex == 1;
  const int32_t slots[2] = {dest, v.ClusterID(i)};
  for (int32_t s = 0; s < (dest == v.ClusterID(i) ? 1 : 2); ++s) {
    for (int16_t j : Members(slots[s])) {
      for (int32_t k = 0; k < 2; ++k) {
        if (k == 0 && HaploidOffspring(j)) continue;
        const int32_t f = v.CrIndivLoc(j, k + 1);
        uint32_t& mark = familymark[pool ? 0 : k][static_cast<std::size_t>(f)];
        if (mark == familystamp) continue;
        mark = familystamp;
        fam[k].push_back(f);
        if (pool) fam[1 - k].push_back(f);
      }
    }
  }
  a.NParent1(1) = static_cast<int32_t>(fam[0].size());
  a.NParent1(2) = static_cast<int32_t>(fam[1].size());
  const int32_t P = a.NParent1(1) + a.NParent1(2);
  for (int attempt = 0; attempt < 99; ++attempt) {
    int32_t host[2] = {current[0], current[1]};
    for (int32_t k = 0; k < 2; ++k) {
      if (!free[k]) continue;
      const double u = ran1();
      const int32_t Pk = static_cast<int32_t>(fam[k].size());
      if (Pk == 0 || u < 0.1 * Pk / std::max(P, 1)) {
        host[k] = -1;  // a new family, numbered below
      } else {
        host[k] = fam[k][static_cast<std::size_t>(std::min(Pk - 1, static_cast<int32_t>(std::floor(Pk * static_cast<double>(ran1())))))];
      }
    }
    int32_t next[2] = {v.CrNumFamily(1), v.CrNumFamily(2)};
    for (int32_t k = 0; k < 2; ++k) {
      if (host[k] != -1) continue;
      host[k] = v.numsex == 1 ? ++next[0] : ++next[k];
    }
    if (!unchanged(host[0], host[1])) {
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
    if (HaploidOffspring(j) != HaploidOffspring(i) || constrained(j)) {
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
  // the destination cluster (or are new): their members are found there,
  // listed only when some check needs them.
  bool listed = false;
  auto list = [&] {
    if (listed) return;
    listed = true;
    candidates.clear();
    for (int32_t slot : {v.ClusterID(i), a.HostFamily(3)}) {
      if (slot < 1 || slot > v.CrNumFamily(3) || (slot == a.HostFamily(3) && slot == v.ClusterID(i) && !candidates.empty())) continue;
      candidates.insert(candidates.end(), v.IndivCluster(slot).begin(), v.IndivCluster(slot).end());
    }
  };
  for (int32_t k = 1; k <= 2; ++k) {
    if (k == 1 && HaploidOffspring(i)) continue;
    const int32_t other = 3 - k;
    // Mates of the destination parent after the move, where their number
    // is limited.
    const bool limited = v.monogamy(k) == 1 || v.maxmatings(k) < n;
    const int32_t known = v.indivparent.empty() ? 0 : v.indivparent(i, k);
    const bool excluded = !v.excludedparent(k).empty() && !v.excludedparent(k)(i).empty();
    // The candidate of the destination family matters only against a known
    // or an excluded parent of the offspring.
    const bool needcandidate = (known > 0 || excluded) && v.numchild(v.numsex == 1 ? 1 : k) > 0;
    int32_t candidate = 0;
    mates.clear();
    if (limited || needcandidate) {
      list();
      for (int32_t j : candidates) {
        // The family's present members carry its candidate.
        if (candidate == 0 && j != i && v.CrIndivLoc(j, k) == host[k] && v.InferParent(j, k) > 0) {
          candidate = v.InferParent(j, k);
        }
        if (!limited || family(j, k) != host[k] || (k == 1 && HaploidOffspring(j))) continue;
        const int32_t m = family(j, other);
        if (std::find(mates.begin(), mates.end(), m) == mates.end()) mates.push_back(m);
      }
    }
    if (v.monogamy(k) == 1 && mates.size() > 1) return false;
    if (v.monogamy(k) == 0 && v.maxmatings(k) < n && static_cast<int32_t>(mates.size()) > v.maxmatings(k)) return false;
    // Known and excluded parents: the destination family's candidate (its
    // members are all in the clusters listed) must be one the offspring
    // may have. (A group moves only offspring without known relationships,
    // so its first member speaks for all.)
    if (known > 0 && candidate > 0 && candidate != known) return false;
    if (candidate > 0 && !v.excludedparent(k).empty()) {
      const auto& ex = v.excludedparent(k)(i);
      if (std::find(ex.begin(), ex.end(), candidate) != ex.end()) return false;
    }
    // Excluded sibships, both ways.
    if (!v.excludedsib(k).empty()) {
      list();
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
    if (label > 0) {
      list();
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
