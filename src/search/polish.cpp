// The climb to a local optimum that ends an annealing search.
#include "search/polish.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "pairwise/dyad_tables.h"
#include "search/check_result.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "search/pair_screen.h"
#include "search/parentage_moves.h"
#include "search/prior.h"
#include "search/reversal.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr double kMinGain = kClimbGain;
constexpr double kNone = -std::numeric_limits<double>::infinity();

// One alternative to the current configuration.
struct Alternative {
  enum Kind { kMove, kMerge, kCandidate, kParentMerge } kind = kMove;
  int32_t i = 0;      // the offspring it starts from
  int32_t mode = 1;   // kMove: 1 alone, 2 with its full sibs; kMerge, kCandidate: the side
  int32_t a = 0;      // kMove: father's family; kMerge: target family (b 2: an offspring of it); kCandidate:
                      // candidate; kParentMerge: the parent that the parent of side mode of i joins
  int32_t b = 0;      // kMove: mother's family; kMerge: the cluster reversed first (1 its own, 2 the target's)
  int32_t dest = 0;   // kMove: destination cluster slot
  bool operator==(const Alternative& o) const {
    return kind == o.kind && i == o.i && mode == o.mode && a == o.a && b == o.b && dest == o.dest;
  }
};

std::vector<Alternative> alternatives;
std::vector<double> gains;
PendingMove move;
SavedConfiguration saved;
std::vector<int32_t> group;
int64_t climbiterate = 0;  // the search's iterate count, for the checks

int32_t Label(int32_t i, int32_t k) {
  const Variables& v = variables;
  return v.knownsibship.empty() ? 0 : v.knownsibship(i, k);
}

// Gain of log likelihood plus log prior of the change now in the
// configuration; kNone unless it exceeds kMinGain. With keep, the values
// are computed whole, so that the change can be kept.
double ChangeGain(double prior, double parentterm, bool keep, double& newprior, double& parentafter) {
  const double old = ClustersLogL(move.affected) + parentterm;
  parentafter = parentterm;
  ComputeParentLogL(parentafter);
  newprior = CurrentLogPrior();
  const double bar = old + (prior - newprior) + kMinGain;
  const double fresh = ScoreMove(move, keep ? -1e300 : bar - parentafter);
  if (fresh <= -1e300 || fresh + parentafter <= bar) return kNone;
  return fresh + parentafter + newprior - old - prior;
}

// Scores alternative x; with keep, makes it part of the configuration
// (prior and parentterm follow) when it gains, and undoes it otherwise.
double Try(const Alternative& x, double& prior, double& parentterm, bool keep) {
  Variables& v = variables;
  AnnealVariables& an = annealvariables;
  double newprior = prior, parentafter = parentterm, gain = kNone;
  // A single move or a new candidate: scored, then kept or undone.
  auto score = [&] {
    gain = ChangeGain(prior, parentterm, keep, newprior, parentafter);
    if (keep && gain > kMinGain) {
      CommitMove(move);
    } else {
      UndoMove(move);
    }
  };
  // A merge rewrites families wholesale: kept, or the saved configuration
  // restored.
  auto scoreMerge = [&] {
    gain = ChangeGain(prior, parentterm, keep, newprior, parentafter);
    if (keep && gain > kMinGain) {
      KeepScoredClusters(move);
    } else {
      saved.Restore();
    }
  };
  switch (x.kind) {
    case Alternative::kMove: {
      MoveGroup(x.mode, x.i, move.group);
      an.HostFamily(1) = x.a;
      an.HostFamily(2) = x.b;
      an.HostFamily(3) = x.dest;
      if (!CheckConfiguration(move.group)) return kNone;
      move.indiv = x.i;
      move.opencandidate[0] = move.opencandidate[1] = 0;
      ApplyMove(move, x.dest);
      score();
      break;
    }
    case Alternative::kMerge: {
      const int32_t k = x.mode, slot = v.ClusterID(x.i);
      saved.Save();
      int32_t t = k, target = x.a;
      if (x.b == 1) {
        ReverseCluster(v.IndivCluster(slot));
        t = 3 - k;
      } else if (x.b == 2) {
        // The partner's cluster takes the other roles; its family joins on
        // side k under the number the reversal gave it.
        ReverseCluster(v.IndivCluster(v.ClusterID(x.a)));
        target = v.CrIndivLoc(x.a, k);
      }
      FamilyGroup(t, v.CrIndivLoc(x.i, t), slot, group);
      move.ClearChanges();  // a merge rewrites families wholesale
      if (!MergeInto(t, group, target, move.affected)) {
        saved.Restore();
        return kNone;
      }
      scoreMerge();
      break;
    }
    case Alternative::kParentMerge: {
      saved.Save();
      move.ClearChanges();
      if (!MergeParentInto(v.CrIndivLoc(x.i, x.mode), x.a, move.affected)) return kNone;
      scoreMerge();
      break;
    }
    case Alternative::kCandidate: {
      if (ProposeCandidate(x.i, x.mode, x.a, false, move) != 1) return kNone;
      score();
      break;
    }
  }
  if (keep && gain > kMinGain) {
    prior = newprior;
    parentterm = parentafter;
    CheckRunningLogL(climbiterate, "Anneal");
    if (v.checkmode > 0) CheckResult(climbiterate, prior, parentterm);
  }
  return gain;
}

// Scores the listed alternatives (each by all processes together) and
// keeps the best one that gains. Returns 1 when one was kept.
int32_t TakeBest(double& prior, double& parentterm) {
  if (alternatives.empty()) return 0;
  const std::size_t n = alternatives.size();
  gains.assign(n, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const double g = Try(alternatives[j], prior, parentterm, false);
    gains[j] = g == kNone ? -1.0 : g;
  }
  std::size_t best = n;
  for (std::size_t j = 0; j < n; ++j) {
    if (gains[j] > kMinGain && (best == n || gains[j] > gains[best])) best = j;
  }
  if (best == n) return 0;
  return Try(alternatives[best], prior, parentterm, true) > kMinGain ? 1 : 0;
}

// Pair ratios beyond this loss mark an alternative as hopeless: it is not
// scored. Set from the typical ratio of related partners.
double climbmargin = 1e300;

void Add(const Alternative& x) {
  if (std::find(alternatives.begin(), alternatives.end(), x) == alternatives.end()) alternatives.push_back(x);
}

// Sibship moves of offspring i (alone, and with its full sibs): to each
// partner's full-sib family, father or mother, or to new families. Moves
// the pair ratios give no chance are left out.
void ListMoves(int32_t i) {
  const Variables& v = variables;
  const AnnealVariables& an = annealvariables;
  const int32_t own[2] = {v.CrIndivLoc(i, 1), v.CrIndivLoc(i, 2)};
  const int32_t ownslot = v.ClusterID(i);
  // Sides that may change: not fixed by known data, and a father only for
  // a diploid offspring.
  bool free[2];
  for (int32_t k = 1; k <= 2; ++k) {
    free[k - 1] = an.SibshipDone(k) == 0 && Label(i, k) == 0 && !(k == 1 && HaploidOffspring(i));
  }
  if (!free[0] && !free[1]) return;
  // New families take the next numbers (one pool in a one-sex sample).
  const int32_t newf = v.CrNumFamily(1) + 1;
  const int32_t newm = v.numsex == 1 ? newf + 1 : v.CrNumFamily(2) + 1;
  const int32_t newslot = v.CrNumFamily(3) + 1;
  // Pairwise scores are as quick as the screen itself: nothing is left out.
  const bool screened = PairScreenAvailable() && !PairScoreMethod();
  for (int32_t mode = 1; mode <= 2; ++mode) {
    MoveGroup(mode, i, group);
    if (mode == 2 && group.size() < 2) break;  // the offspring moves alone anyway
    auto add = [&](int32_t f, int32_t m, int32_t slot) {
      if (!free[0]) f = own[0];
      if (!free[1]) m = own[1];
      if (f == own[0] && m == own[1]) return;
      if (screened) {
        const int32_t host[2] = {f, m};
        if (Screen(group, host, slot) < -climbmargin) return;
      }
      Add({Alternative::kMove, i, mode, f, m, slot});
    };
    add(newf, newm, newslot);
    add(own[0], newm, ownslot);
    add(newf, own[1], ownslot);
    // In a monoecious sample a parent may take either role, and with
    // selfing both: selfed by one of its own parents, and the partners'
    // parents in the other role too.
    const bool pool = v.numsex == 1, selfing = pool && v.allowinbreeding == 1;
    if (selfing) {
      add(own[0], own[0], ownslot);
      add(own[1], own[1], ownslot);
    }
    {
      for (int32_t m = 0; m < kNearPartners; ++m) {
        const int32_t j = Partners(i)[static_cast<std::size_t>(m)];
        if (j <= 0) break;
        const int32_t pf = HaploidOffspring(j) ? own[0] : v.CrIndivLoc(j, 1), pm = v.CrIndivLoc(j, 2);
        const int32_t slot = v.ClusterID(j);
        add(pf, pm, slot);
        add(pf, own[1], slot);
        add(own[0], pm, slot);
        add(pf, newm, slot);
        add(newf, pm, slot);
        if (pool) {
          add(own[0], pf, slot);
          add(pm, own[1], slot);
        }
        if (selfing) {
          add(pf, pf, slot);
          add(pm, pm, slot);
        }
      }
    }
  }
}

// Merges of family (side k) of offspring i, its first member, into the
// families of its members' partners: of the same side, or of the other
// side with the roles of fathers and mothers exchanged first in one of the
// two clusters (a cluster found with its roles exchanged, or part of a
// pedigree found so, can only join the rest that way).
void ListMerges(int32_t i, int32_t k) {
  const Variables& v = variables;
  if (v.numsex != 2 || !PartnersKnown()) return;
  if (annealvariables.SibshipDone(k) != 0) return;
  const int32_t slot = v.ClusterID(i);
  const bool reversible = v.haplodiploid == 0 && ReversibleCluster(v.IndivCluster(slot));
  static std::vector<int32_t> family;
  FamilyGroup(k, v.CrIndivLoc(i, k), slot, family);
  // The targets are not screened by their pair ratios: between two
  // families of half sibs these are many weak and closely dependent terms,
  // whose sum often points the wrong way where the likelihood does not.
  auto add = [&](const Alternative& alt, int32_t t, int32_t f) {
    for (const Alternative& x : alternatives) {
      if (x.b == alt.b && x.mode == alt.mode &&
          (alt.b == 2 ? v.CrIndivLoc(x.a, t) == f && v.ClusterID(x.a) == v.ClusterID(alt.a) : x.a == alt.a)) {
        return;
      }
    }
    alternatives.push_back(alt);
  };
  KinList kin;
  KinOf(family, kin);
  {
    for (int32_t j : kin) {
      if (j <= 0) break;
      const int32_t other = v.ClusterID(j);
      for (int32_t t = 1; t <= 2; ++t) {
        if (t == 1 && HaploidOffspring(j)) continue;
        const int32_t f = v.CrIndivLoc(j, t);
        if (t == k) {
          if (f != v.CrIndivLoc(i, k)) add({Alternative::kMerge, i, k, f, 0, 0}, t, f);
          continue;
        }
        if (other == slot) continue;
        if (reversible) add({Alternative::kMerge, i, k, f, 1, 0}, t, f);
        if (ReversibleCluster(v.IndivCluster(other))) add({Alternative::kMerge, i, k, j, 2, 0}, t, f);
      }
    }
  }
}

// In a monoecious sample, merges of the parent of side k of offspring i
// into another parent, in either role: each parent of its cluster and of
// its family's kin. A parent found as two (one half perhaps as the selfer
// of some of its offspring, the other as their second parent) can only
// become one this way.
void ListParentMerges(int32_t i, int32_t k) {
  const Variables& v = variables;
  if (v.numsex != 1 || annealvariables.SibshipDone(1) != 0 || annealvariables.SibshipDone(2) != 0) return;
  const int32_t g = v.CrIndivLoc(i, k), slot = v.ClusterID(i);
  auto add = [&](int32_t j) {
    for (int32_t t = 1; t <= 2; ++t) {
      const int32_t f = v.CrIndivLoc(j, t);
      if (f != g) Add({Alternative::kParentMerge, i, k, f, 0, 0});
    }
  };
  for (int16_t j : v.IndivCluster(slot)) add(j);
  static std::vector<int32_t> family;
  FamilyGroup(k, g, slot, family);
  KinList kin;
  KinOf(family, kin);
  for (int32_t j : kin) {
    if (j <= 0) break;
    add(j);
  }
}

// Candidates for family (side k) of offspring i, its first member: those
// on the short lists of its members, and none.
void ListCandidates(int32_t i, int32_t k) {
  const Variables& v = variables;
  if (!ParentageMovable(i, k)) return;
  const int32_t s = v.numsex == 1 ? 1 : k;
  Add({Alternative::kCandidate, i, k, 0, 0, 0});
  static std::vector<int32_t> family;
  FamilyGroup(k, v.CrIndivLoc(i, k), v.ClusterID(i), family);
  for (int32_t x : family) {
    const int32_t listed = v.NumBestCnd.empty() ? 0 : v.NumBestCnd(x, s);
    for (int32_t m = 1; m <= listed; ++m) Add({Alternative::kCandidate, i, k, v.BestCnd(s)(m, x), 0, 0});
  }
}

// Whether offspring i is the first member of its family of side k.
bool FirstOfFamily(int32_t i, int32_t k) {
  const Variables& v = variables;
  if (k == 1 && HaploidOffspring(i)) return false;
  for (int16_t j : v.IndivCluster(v.ClusterID(i))) {
    if (j >= i) break;  // members are listed in ascending order
    if (!(k == 1 && HaploidOffspring(j)) && v.CrIndivLoc(j, k) == v.CrIndivLoc(i, k)) return false;
  }
  return true;
}

}  // namespace

void SetClimbMargin(double typicalpairscore) {
  climbmargin = typicalpairscore > 0.0 ? std::max(2.0, 0.5 * typicalpairscore) : 1e300;
}

int32_t ClimbToLocalOptimum(double& prior, double& parentterm, int64_t iterate) {
  const Variables& v = variables;
  climbiterate = iterate;
  int32_t changes = 0;
  // Each pass offers every offspring and every family its alternatives; a
  // pass that changes nothing ends the climb. The bound only guards
  // against a cycle that rounding could make.
  for (int32_t pass = 0; pass < 100; ++pass) {
    int32_t changed = 0;
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      alternatives.clear();
      ListMoves(i);
      changed += TakeBest(prior, parentterm);
    }
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (!FirstOfFamily(i, k)) continue;
        alternatives.clear();
        ListMerges(i, k);
        ListParentMerges(i, k);
        changed += TakeBest(prior, parentterm);
        if (!FirstOfFamily(i, k)) continue;
        alternatives.clear();
        ListCandidates(i, k);
        changed += TakeBest(prior, parentterm);
      }
    }
    changes += changed;
    if (changed == 0) break;
  }
  return changes;
}
