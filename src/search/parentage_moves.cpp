// Parentage moves: candidates proposed for families from the short lists
// of plausible parents made before the search, the parent term of the
// likelihood, and the mix of move types.
#include "search/parentage_moves.h"

#include <algorithm>
#include <cmath>

#include "likelihood/family_likelihood.h"
#include "numeric/random.h"
#include "search/configuration.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Above this many candidates of a sex, proposals come from the short
// lists; with fewer, every candidate is proposed alike.
constexpr int32_t kListedAbove = 9;

// The candidates of a one-sex sample are one pool, listed under sex 1.
int32_t PoolSex(int32_t k) { return variables.numsex == 1 ? 1 : k; }

int32_t Candidates(int32_t k) { return std::max(variables.numchild(PoolSex(k)), 0); }

int32_t KnownParent(int32_t j, int32_t k) {
  const Variables& v = variables;
  return v.indivparent.empty() ? 0 : std::max(v.indivparent(j, k), 0);
}

bool HasSide(int32_t j, int32_t k) { return !(k == 1 && HaploidOffspring(j)); }

// Whether candidate c may be the parent of side k of offspring j: not
// excluded, not j itself, and (without selfing) not j's other parent in a
// one-sex sample.
bool Allowed(int32_t j, int32_t k, int32_t c) {
  const Variables& v = variables;
  if (c <= 0) return true;
  if (!v.excludedparent(k).empty()) {
    const auto& ex = v.excludedparent(k)(j);
    if (std::find(ex.begin(), ex.end(), c) != ex.end()) return false;
  }
  if (!v.offspringincnd.empty() && v.offspringincnd(j, PoolSex(k)) == c) return false;
  if (v.numsex == 1 && v.allowinbreeding == 0 && v.InferParent(j, 3 - k) == c) return false;
  return true;
}

// Draws a candidate from offspring j's short list of sex k (0 when the
// list is empty).
int32_t DrawListed(int32_t j, int32_t k) {
  const Variables& v = variables;
  const int32_t s = PoolSex(k);
  const int32_t n = v.NumBestCnd.empty() ? 0 : v.NumBestCnd(j, s);
  if (n <= 0) return 0;
  const double u = ran1();
  int32_t m = 1;
  while (m < n && u > v.PrbBestCnd(s)(m, j)) ++m;
  return v.BestCnd(s)(m, j);
}

// The members (side k) of family f, found among the offspring of the
// given cluster slot, or of the whole sample when slot is 0.
void FamilyMembers(int32_t k, int32_t f, int32_t slot, std::vector<int32_t>& out) {
  const Variables& v = variables;
  out.clear();
  auto take = [&](int32_t j) {
    if (v.CrIndivLoc(j, k) == f && HasSide(j, k)) out.push_back(j);
  };
  if (slot > 0) {
    for (int16_t j : v.IndivCluster(slot)) take(j);
  } else {
    for (int32_t j = 1; j <= v.smplsize; ++j) take(j);
  }
}

// The family of side k that candidate c is assigned to, 0 when c is free;
// offspring listed in skip do not count.
int32_t AssignedFamily(int32_t k, int32_t c, const std::vector<int32_t>& skip) {
  const Variables& v = variables;
  for (int32_t j = 1; j <= v.smplsize; ++j) {
    if (v.InferParent(j, k) == c && HasSide(j, k) && std::find(skip.begin(), skip.end(), j) == skip.end()) {
      return v.CrIndivLoc(j, k);
    }
  }
  return 0;
}

// In a one-sex sample a parent may stand in both columns (and a selfer's
// in both at once). A parentage move reassigns the offspring of one column
// only, so it keeps off a parent, or a candidate, that the other column
// also holds: moving one column alone would split one parent between two
// identities.
bool HeldInOtherColumn(int32_t k, int32_t f, int32_t c) {
  const Variables& v = variables;
  if (v.numsex != 1) return false;
  for (int32_t j = 1; j <= v.smplsize; ++j) {
    if ((f > 0 && v.CrIndivLoc(j, 3 - k) == f) || (c > 0 && v.InferParent(j, 3 - k) == c)) return true;
  }
  return false;
}

void Assign(PendingMove& move, const std::vector<int32_t>& members, int32_t k, int32_t c) {
  for (int32_t j : members) move.SetParent(j, k, c);
}

// Whether the members of family (side k) of offspring i can move together
// to another family of that side: one full-sib family, of one ploidy, free
// of known and excluded relationships.
bool JoinableFamily(int32_t i, int32_t k, const std::vector<int32_t>& members) {
  const Variables& v = variables;
  for (int32_t j : members) {
    if (v.CrIndivLoc(j, 3 - k) != v.CrIndivLoc(i, 3 - k) || HaploidOffspring(j) != HaploidOffspring(i)) return false;
    for (int32_t s = 1; s <= 2; ++s) {
      if (!v.knownsibship.empty() && v.knownsibship(j, s) > 0) return false;
      if (KnownParent(j, s) > 0) return false;
      if (!v.excludedsib(s).empty() && !v.excludedsib(s)(j).empty()) return false;
    }
  }
  return true;
}

void AddCluster(std::vector<int16_t>& affected, int32_t slot) {
  const auto& members = variables.IndivCluster(slot);
  affected.insert(affected.end(), members.begin(), members.end());
}

}  // namespace

void ComputeParentLogL(double& out) {
  const Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  out = 0.0;
  // Pairwise scores count every candidate with every offspring within the
  // clusters' values already.
  if (PairScoreMethod()) return;
  const Mat1<int32_t>& assigned = v.InferParentPrt != nullptr ? *v.InferParentPrt : v.InferParent;
  for (int32_t s = 1; s <= v.numsex && s <= 2; ++s) {
    const int32_t C = std::max(v.numchild(s), 0);
    if (C < 1) continue;
    if (lv.candidatelogl(s).size() != static_cast<std::size_t>(C)) SingleParentLikelihood(0.0);
    std::vector<uint8_t> used(static_cast<std::size_t>(C) + 1, 0);
    for (int32_t j = 1; j <= v.smplsize; ++j) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (PoolSex(k) != s) continue;
        const int32_t c = assigned.empty() ? 0 : assigned(j, k);
        if (c > 0 && c <= C) used[static_cast<std::size_t>(c)] = 1;
        const int32_t known = KnownParent(j, k);
        if (known > 0 && known <= C) used[static_cast<std::size_t>(known)] = 1;
      }
    }
    for (int32_t c = 1; c <= C; ++c) {
      if (used[static_cast<std::size_t>(c)] == 0) out += lv.candidatelogl(s)(c);
    }
  }
}

void InferPrntList(int32_t cluster, int32_t& count, int32_t sex, std::vector<int32_t>& out) {
  const Variables& v = variables;
  const std::size_t start = out.size();
  auto take = [&](int32_t j) {
    const int32_t c = v.InferParent(j, sex);
    if (c > 0 && std::find(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), c) == out.end()) {
      out.push_back(c);
    }
  };
  if (cluster > 0) {
    for (int16_t j : v.IndivCluster(cluster)) take(j);
  } else {
    for (int32_t j = 1; j <= v.smplsize; ++j) take(j);
  }
  count = static_cast<int32_t>(out.size() - start);
}

bool ParentageMovable(int32_t i, int32_t k) {
  const Variables& v = variables;
  if (Candidates(k) < 1 || !HasSide(i, k) || KnownParent(i, k) > 0) return false;
  const int32_t f = v.CrIndivLoc(i, k);
  for (int16_t j : v.IndivCluster(v.ClusterID(i))) {
    if (v.CrIndivLoc(j, k) == f && HasSide(j, k) && KnownParent(j, k) > 0) return false;
  }
  return true;
}

int32_t ParentageAssign(int32_t i, int32_t k, PendingMove& move) {
  const Variables& v = variables;
  if (!ParentageMovable(i, k)) return 0;
  const int32_t f = v.CrIndivLoc(i, k);
  std::vector<int32_t> members;
  FamilyMembers(k, f, v.ClusterID(i), members);
  const int32_t current = v.InferParent(i, k);
  const int32_t C = Candidates(k);
  int32_t proposed = 0;
  if (C > kListedAbove) {
    // Offspring of the family with something on their lists.
    std::vector<int32_t> listed;
    for (int32_t j : members) {
      if (!v.NumBestCnd.empty() && v.NumBestCnd(j, PoolSex(k)) > 0) listed.push_back(j);
    }
    // Now and then the family is left without a sampled parent, more often
    // when it has one, so that a wrong assignment can be undone.
    const double u = ran1();
    if (!listed.empty() && u >= (current > 0 ? 0.11 : 0.01)) {
      const std::size_t pick = std::min(listed.size() - 1, static_cast<std::size_t>(ran1() * listed.size()));
      proposed = DrawListed(listed[pick], k);
    }
  } else {
    proposed = std::min(C, static_cast<int32_t>(std::floor(ran1() * (C + 1))));
  }
  if (proposed == current) return 0;
  // The candidate's family and this one may be the same parent's offspring
  // found apart: half the time they are joined instead.
  return ProposeCandidate(i, k, proposed, ran1() < 0.5, move);
}

int32_t ProposeCandidate(int32_t i, int32_t k, int32_t proposed, bool join, PendingMove& move) {
  const Variables& v = variables;
  AnnealVariables& a = annealvariables;
  if (!ParentageMovable(i, k)) return 0;
  const int32_t f = v.CrIndivLoc(i, k);
  std::vector<int32_t> members;
  FamilyMembers(k, f, v.ClusterID(i), members);
  const int32_t current = v.InferParent(i, k);
  if (proposed == current || HeldInOtherColumn(k, f, proposed)) return 0;
  for (int32_t j : members) {
    if (!Allowed(j, k, proposed)) return 0;
  }
  // A candidate holds one family of its sex: taking it from another family
  // gives that family the present candidate of this one (or none, where it
  // may not have it).
  int32_t other = 0, otherslot = 0;
  std::vector<int32_t> othermembers;
  if (proposed > 0) {
    other = AssignedFamily(k, proposed, members);
    if (other > 0) {
      if (HeldInOtherColumn(k, other, 0)) return 0;
      FamilyMembers(k, other, 0, othermembers);
      otherslot = v.ClusterID(othermembers.front());
      if (join && JoinableFamily(i, k, members)) {
        move.group = members;
        std::swap(*std::find(move.group.begin(), move.group.end(), i), move.group.front());
        a.HostFamily(k) = other;
        a.HostFamily(3 - k) = v.CrIndivLoc(i, 3 - k);
        a.HostFamily(3) = otherslot;
        return 2;
      }
      for (int32_t j : othermembers) {
        if (KnownParent(j, k) > 0) return 0;
      }
    }
  }
  int32_t swapped = current;
  for (int32_t j : othermembers) {
    if (!Allowed(j, k, swapped)) swapped = 0;
  }
  move.ClearChanges();
  Assign(move, members, k, proposed);
  if (other > 0) Assign(move, othermembers, k, swapped);
  move.recorded = true;
  move.affected.clear();
  const int32_t own = v.ClusterID(i);
  AddCluster(move.affected, own);
  if (otherslot > 0 && otherslot != own) {
    AddCluster(move.affected, otherslot);
    std::sort(move.affected.begin(), move.affected.end());
  }
  return 1;
}

int32_t DrawNewFamilyCandidate(int32_t i, int32_t k, const std::vector<int32_t>& group) {
  if (Candidates(k) < 1 || !HasSide(i, k) || KnownParent(i, k) > 0) return 0;
  const int32_t C = Candidates(k);
  const int32_t c = C > kListedAbove ? DrawListed(i, k) : std::min(C, static_cast<int32_t>(std::floor(ran1() * C)) + 1);
  if (c <= 0 || AssignedFamily(k, c, group) > 0 || HeldInOtherColumn(k, 0, c)) return 0;
  for (int32_t j : group) {
    if (!Allowed(j, k, c) || KnownParent(j, k) > 0) return 0;
  }
  return c;
}

void ParentageSchedule(double& psib, double& pfather) {
  const Variables& v = variables;
  const int32_t N = v.smplsize;
  double options[2] = {0.0, 0.0};
  for (int32_t k = 1; k <= 2; ++k) {
    if (Candidates(k) < 1 || N < 1) continue;
    // Offspring free to take a parent of this side, times the candidates
    // each may have on average.
    int32_t free = 0;
    double excluded = 0.0;
    for (int32_t j = 1; j <= N; ++j) {
      if (!HasSide(j, k) || KnownParent(j, k) > 0) continue;
      ++free;
      if (!v.excludedparent(k).empty()) excluded += static_cast<double>(v.excludedparent(k)(j).size());
    }
    const double mean = free > 0 ? std::max(0.0, Candidates(k) - excluded / free) : 0.0;
    options[k - 1] = free * mean;
  }
  const double Nf = options[0], Nm = options[1];
  if (Nf + Nm <= 0.0 || Nf <= 0.0) {
    pfather = -1.0;
  } else if (Nm <= 0.0) {
    pfather = 2.0;
  } else {
    pfather = (Nf / (Nf + Nm)) / (1 + v.haplodiploid);
  }
  psib = N / (N + std::floor((Nf + Nm) / std::max(N, 1))) + 0.000001;
  if (psib > 0.95 && psib < 1.0) {
    psib = 0.95;
  } else if (v.allmonogamy != 1 && psib < 0.85) {
    psib = 0.85;
  }
}
