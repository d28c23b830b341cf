// The pairwise-score likelihood of a configuration and its change by one
// move of the search.
#include "search/pair_score.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "pairwise/dyad_tables.h"
#include "runctl/error_stop.h"
#include "search/check_result.h"
#include "search/configuration.h"
#include "search/move_evaluation.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// A move's pair loop runs on two threads only when it has more pairs than
// this: below it, waking the second thread costs more than it saves.
constexpr int64_t kThreadedPairWork = 100;

bool Haploid(int32_t i) { return HaploidOffspring(i); }

bool Selfed(const Mat1<int32_t>& loc, int32_t i) { return SelfingSample() && loc(i, 1) == loc(i, 2); }

// The known parent that stands for the assignment of every offspring of a
// family: that of the family's first offspring (in sample order) with a
// known parent of the family's side. Per side and family number, for the
// offspring looked at by the last Build.
class KnownFamilyParents {
 public:
  template <class Index>
  void Build(const Mat1<int32_t>& loc, const Index* members, std::size_t n) {
    const Variables& v = variables;
    any_ = !v.indivparent.empty() && v.numknownprnt(3) + v.numknownprnt(4) > 0;
    if (!any_) return;
    if (++current_ == 0) {
      for (auto& s : stamp_) std::fill(s.begin(), s.end(), 0u);
      current_ = 1;
    }
    for (std::size_t p = 0; p < n; ++p) {
      const int32_t i = members[p];
      for (int32_t k = 1; k <= 2; ++k) {
        if (k == 1 && Haploid(i)) continue;
        const int32_t c = v.indivparent(i, k);
        if (c <= 0) continue;
        const auto f = static_cast<std::size_t>(loc(i, k));
        std::vector<uint32_t>& stamp = stamp_[k - 1];
        if (stamp.size() <= f) {
          stamp.resize(2 * f + 2, 0u);
          known_[k - 1].resize(2 * f + 2, 0);
        }
        if (stamp[f] == current_) continue;
        stamp[f] = current_;
        known_[k - 1][f] = c;
      }
    }
  }

  // The candidate of side k that counts as offspring i's parent.
  int32_t Parent(const Mat1<int32_t>& loc, const Mat1<int32_t>& par, int32_t i, int32_t k) const {
    if (k == 1 && Haploid(i)) return 0;
    if (any_) {
      const auto f = static_cast<std::size_t>(loc(i, k));
      if (f < stamp_[k - 1].size() && stamp_[k - 1][f] == current_) return known_[k - 1][f];
    }
    return par.empty() ? 0 : par(i, k);
  }

 private:
  bool any_ = false;
  std::vector<int32_t> known_[2];
  std::vector<uint32_t> stamp_[2];
  uint32_t current_ = 0;
};

KnownFamilyParents knownparents;

// The smallest parent two offspring share (sides apart in a two-sex
// sample), or the largest value when they share none.
int64_t SharedParent(const Mat1<int32_t>& loc, int32_t i, int32_t j) {
  int64_t key = std::numeric_limits<int64_t>::max();
  if (variables.numsex == 1) {
    for (int32_t a = 1; a <= 2; ++a) {
      for (int32_t b = 1; b <= 2; ++b) {
        if (loc(i, a) == loc(j, b)) key = std::min<int64_t>(key, loc(i, a));
      }
    }
    return key;
  }
  if (!Haploid(i) && !Haploid(j) && loc(i, 1) == loc(j, 1)) key = 2 * static_cast<int64_t>(loc(i, 1));
  if (loc(i, 2) == loc(j, 2)) key = std::min(key, 2 * static_cast<int64_t>(loc(i, 2)) + 1);
  return key;
}

// Shares of the listed offspring (ascending, every relative of each among
// them) in the configuration loc / par, into out.
template <class Index>
void ComputeShares(const Mat1<int32_t>& loc, const Mat1<int32_t>& par, const Index* members, std::size_t n,
                   std::vector<double>& out) {
  const Variables& v = variables;
  static std::vector<std::pair<int64_t, int32_t>> keyed;
  static std::vector<double> single;
  out.assign(n, 0.0);
  single.assign(n, 0.0);
  keyed.clear();
  knownparents.Build(loc, members, n);
  const double others = static_cast<double>(v.smplsize - 1);
  for (std::size_t p = 0; p < n; ++p) {
    const int32_t i = members[p];
    const bool selfed = Selfed(loc, i);
    single[p] = SingleOffspringLogL(i, selfed);
    out[p] = others * single[p] + CalculatePOPairLogL(i, selfed, knownparents.Parent(loc, par, i, 1),
                                                      knownparents.Parent(loc, par, i, 2));
    // The parents of each offspring, as keys that put its relatives next
    // to it once sorted.
    const auto q = static_cast<int32_t>(p);
    if (v.numsex == 1) {
      keyed.emplace_back(loc(i, 1), q);
      if (loc(i, 2) != loc(i, 1)) keyed.emplace_back(loc(i, 2), q);
    } else {
      if (!Haploid(i)) keyed.emplace_back(2 * static_cast<int64_t>(loc(i, 1)), q);
      keyed.emplace_back(2 * static_cast<int64_t>(loc(i, 2)) + 1, q);
    }
  }
  std::sort(keyed.begin(), keyed.end());
  // Each pair that shares a parent, once: with the smallest parent shared.
  for (std::size_t g = 0; g < keyed.size();) {
    std::size_t end = g;
    while (end < keyed.size() && keyed[end].first == keyed[g].first) ++end;
    for (std::size_t a = g; a < end; ++a) {
      const auto p = static_cast<std::size_t>(keyed[a].second);
      const int32_t i = members[p];
      for (std::size_t b = a + 1; b < end; ++b) {
        const auto q = static_cast<std::size_t>(keyed[b].second);
        const int32_t j = members[q];
        if (SharedParent(loc, i, j) != keyed[g].first) continue;
        const SibType t = FindSibType(i, j, loc(i, 1), loc(i, 2), loc(j, 1), loc(j, 2));
        if (t == SibType::kUnrelated) continue;
        const double r = CalculateOffPairLogL(t, i, j) - single[p] - single[q];
        out[p] += 0.5 * r;
        out[q] += 0.5 * r;
      }
    }
    g = end;
  }
}

// The offspring whose shares a recorded move changes, with a mark per
// offspring for finding them, and their values before and after the move.
struct Touched {
  std::vector<int32_t> indiv;
  std::vector<char> moved;  // one of the offspring moved
  std::vector<double> before, after;
  std::vector<uint32_t> mark;  // == stamp: listed, at position pos
  std::vector<int32_t> pos;
  uint32_t stamp = 0;

  void Begin() {
    const auto n = static_cast<std::size_t>(std::max(variables.smplsize, 0)) + 1;
    if (mark.size() < n) {
      mark.assign(n, 0u);
      pos.assign(n, 0);
    }
    if (++stamp == 0) {
      std::fill(mark.begin(), mark.end(), 0u);
      stamp = 1;
    }
    indiv.clear();
    moved.clear();
  }
  bool Has(int32_t i) const { return mark[static_cast<std::size_t>(i)] == stamp; }
  void Add(int32_t i, bool m) {
    if (Has(i)) return;
    mark[static_cast<std::size_t>(i)] = stamp;
    pos[static_cast<std::size_t>(i)] = static_cast<int32_t>(indiv.size());
    indiv.push_back(i);
    moved.push_back(m ? 1 : 0);
  }
};

Touched touched;

// Each touched offspring's single and parent terms plus half of its pairs
// that the move may change (a moved offspring with every touched one, any
// other with the moved ones), in the configuration as it stands. Every
// item is computed on its own and kept apart, so the result is the same
// whatever the number of threads.
void ItemValues(const std::vector<int32_t>& group, std::vector<double>& out) {
  const Variables& v = variables;
  const Mat1<int32_t>& loc = v.CrIndivLoc;
  const Mat1<int32_t>& par = v.InferParent;
  const std::vector<int32_t>& items = touched.indiv;
  const std::vector<char>& moved = touched.moved;
  const auto n = static_cast<int32_t>(items.size());
  out.assign(items.size(), 0.0);
  const double others = static_cast<double>(v.smplsize - 1);
  const int64_t pairwork = static_cast<int64_t>(group.size()) * n;
  auto item = [&](int32_t p) {
    const int32_t i = items[static_cast<std::size_t>(p)];
    const bool selfed = Selfed(loc, i);
    const double ui = SingleOffspringLogL(i, selfed);
    const double value = others * ui + CalculatePOPairLogL(i, selfed, knownparents.Parent(loc, par, i, 1),
                                                           knownparents.Parent(loc, par, i, 2));
    double pairs = 0.0;
    auto pair = [&](int32_t j) {
      const SibType t = FindSibType(i, j, loc(i, 1), loc(i, 2), loc(j, 1), loc(j, 2));
      if (t == SibType::kUnrelated) return;
      pairs += CalculateOffPairLogL(t, i, j) - ui - SingleOffspringLogL(j, Selfed(loc, j));
    };
    if (moved[static_cast<std::size_t>(p)] != 0) {
      for (int32_t q = 0; q < n; ++q) {
        if (q != p) pair(items[static_cast<std::size_t>(q)]);
      }
    } else {
      for (int32_t g : group) pair(g);
    }
    out[static_cast<std::size_t>(p)] = value + 0.5 * pairs;
  };
  // A second thread helps only a lone process: several processes already
  // keep the cores busy, and threads waiting for a core slow every move.
  const bool threaded = pairwork > kThreadedPairWork && v.numthreads == 1;
#pragma omp parallel for num_threads(2) schedule(dynamic, 1) if (threaded)
  for (int32_t p = 0; p < n; ++p) item(p);
}

// The change of the total by a recorded move whose touched offspring are
// listed: their values after the move (as it stands) and before it (undone
// for the while); the shares they lead to go into the move.
double TouchedChange(PendingMove& move) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  knownparents.Build(v.CrIndivLoc, move.affected.data(), move.affected.size());
  ItemValues(move.group, touched.after);
  UndoMove(move);
  knownparents.Build(v.CrIndivLoc, move.affected.data(), move.affected.size());
  ItemValues(move.group, touched.before);
  RedoMove(move);
  double change = 0.0;
  move.shareindiv = touched.indiv;
  move.sharevalue.assign(touched.indiv.size(), 0.0);
  for (std::size_t p = 0; p < touched.indiv.size(); ++p) {
    const double d = touched.after[p] - touched.before[p];
    move.sharevalue[p] = a.PairShare(touched.indiv[p]) + d;
    change += d;
  }
  return change;
}

// The moved offspring, and the offspring whose parent assignments the move
// changed, listed first.
void ListMovedAndReassigned(const PendingMove& move) {
  touched.Begin();
  for (int32_t g : move.group) touched.Add(g, true);
  for (int32_t j : move.changedparent) touched.Add(j, false);
}

// The pair tables and single log likelihoods a total is made of.
void EnsurePairInputs() {
  const Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t n = v.smplsize;
  if (n >= 2 && (!OffspringDyadReady() || (SelfingSample() && !SelfingDyadReady()))) CalculatePairProb(true);
  bool parents = false;
  for (int32_t s = 1; s <= 2; ++s) parents = parents || (v.numchild(s) > 0 && !ParentDyadReady(s));
  if (SelfingSample() && v.numchild(1) > 0 && !ParentSelfedDyadReady()) parents = true;
  if (n >= 1 && parents) CalculateParentPairProb(true);
  if (lv.indivlogl.size() != static_cast<std::size_t>(n)) SingleIndivLikelihood(0.0, n, 0, lv.indivlogl);
  if (SelfingSample() && lv.indivloglself.size() != static_cast<std::size_t>(n)) {
    SingleIndivLikelihood(0.5, n, 0, lv.indivloglself);
  }
  for (int32_t s = 1; s <= 2; ++s) {
    if (v.numchild(s) > 0 && lv.candidatelogl(s).size() != static_cast<std::size_t>(v.numchild(s))) {
      SingleParentLikelihood(0.0);
    }
  }
}

}  // namespace

bool PairScoreMethod() { return variables.fulllikelihoodmethodq == 0; }

SibType FindSibType(int32_t i, int32_t j, int32_t fi, int32_t mi, int32_t fj, int32_t mj) {
  if (variables.numsex == 1) {
    const bool selfing = SelfingSample();
    const bool si = selfing && fi == mi, sj = selfing && fj == mj;
    if (si && sj) return fi == fj ? SibType::kSelfedSibs : SibType::kUnrelated;
    if (si) return fi == fj || fi == mj ? SibType::kSelfedOutbred : SibType::kUnrelated;
    if (sj) return fj == fi || fj == mi ? SibType::kOutbredSelfed : SibType::kUnrelated;
    const int32_t a1 = std::min(fi, mi), a2 = std::max(fi, mi);
    const int32_t b1 = std::min(fj, mj), b2 = std::max(fj, mj);
    if (a1 == b1 && a2 == b2) return SibType::kFullSibs;
    if (a1 == b1 || a1 == b2 || a2 == b1 || a2 == b2) return SibType::kPaternalHalfSibs;
    return SibType::kUnrelated;
  }
  const bool hi = Haploid(i), hj = Haploid(j);
  const bool mother = mi == mj;
  if (!hi && !hj) {
    const bool father = fi == fj;
    if (father && mother) return SibType::kFullSibs;
    if (father) return SibType::kPaternalHalfSibs;
    return mother ? SibType::kMaternalHalfSibs : SibType::kUnrelated;
  }
  // A haploid son has a mother only: with another son of hers he shares
  // the gene each got from her with chance 1/2 (the full-sib table of two
  // sons), with a daughter of hers as a maternal half sib.
  if (!mother) return SibType::kUnrelated;
  return hi && hj ? SibType::kFullSibs : SibType::kMaternalHalfSibs;
}

double CalculateOffPairLogL(SibType type, int32_t i, int32_t j) {
  switch (type) {
    case SibType::kFullSibs: return OffspringDyadLogL(kFullSibDyad, i, j);
    case SibType::kPaternalHalfSibs: return OffspringDyadLogL(kPaternalHalfSibDyad, i, j);
    case SibType::kMaternalHalfSibs: return OffspringDyadLogL(kMaternalHalfSibDyad, i, j);
    case SibType::kSelfedSibs: return SelfSelfDyadLogL(i, j);
    case SibType::kSelfedOutbred: return SelfOutDyadLogL(i, j);
    case SibType::kOutbredSelfed: return SelfOutDyadLogL(j, i);
    case SibType::kUnrelated: break;
  }
  return SingleOffspringLogL(i, false) + SingleOffspringLogL(j, false);
}

double SingleOffspringLogL(int32_t i, bool selfed) {
  const LikelihoodVar& lv = likelihoodvar;
  return selfed ? lv.indivloglself(i) : lv.indivlogl(i);
}

double CalculatePOPairLogL(int32_t i, bool selfed, int32_t c1, int32_t c2) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const double u = SingleOffspringLogL(i, selfed);
  // Every candidate of the sex counts as unrelated (S + M u); an assigned
  // one trades that pair for its parent-offspring log likelihood.
  auto side = [&](int32_t s, int32_t c) {
    const double M = v.numchild(s);
    double sum = lv.sumcndlogl(s) + M * u;
    if (c > 0) sum += static_cast<double>(ParentDyadLogL(s, i, c)) - lv.candidatelogl(s)(c) - u;
    return sum;
  };
  if (v.numsex == 1) {
    // One pool of candidates: each distinct parent of the offspring once,
    // the parent of a selfed offspring from the table of selfed offspring.
    const int32_t M = v.numchild(1);
    if (M < 1) return 0.0;
    double sum = lv.sumcndlogl(1) + static_cast<double>(M) * u;
    const int32_t parents[2] = {c1, c2 != c1 ? c2 : 0};
    for (int32_t c : parents) {
      if (c <= 0) continue;
      const double po = selfed && ParentSelfedDyadReady() ? ParentSelfedDyadLogL(c, i) : ParentDyadLogL(1, i, c);
      sum += po - lv.candidatelogl(1)(c) - u;
    }
    return sum;
  }
  double sum = 0.0;
  if (v.numchild(1) > 0 && !Haploid(i)) sum += side(1, c1);
  if (v.numchild(2) > 0) sum += side(2, c2);
  return sum;
}

void CalculateCrrtPairLogL(double& logl) {
  const Variables& v = variables;
  const Mat1<int32_t>& loc = v.IndivLocPrt != nullptr ? *v.IndivLocPrt : v.CrIndivLoc;
  const Mat1<int32_t>& par = v.InferParentPrt != nullptr ? *v.InferParentPrt : v.InferParent;
  const int32_t N = v.smplsize;
  logl = 0.0;
  if (N < 1) return;
  // The members of every cluster in increasing offspring order: a counting
  // sort by cluster label.
  int32_t labels = 0;
  for (int32_t i = 1; i <= N; ++i) labels = std::max(labels, loc(i, 3));
  static std::vector<int32_t> start, members;
  start.assign(static_cast<std::size_t>(labels) + 2, 0);
  for (int32_t i = 1; i <= N; ++i) ++start[static_cast<std::size_t>(loc(i, 3)) + 1];
  for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  members.assign(static_cast<std::size_t>(N), 0);
  {
    std::vector<int32_t> next(start.begin(), start.end() - 1);
    for (int32_t i = 1; i <= N; ++i) members[static_cast<std::size_t>(next[static_cast<std::size_t>(loc(i, 3))]++)] = i;
  }
  // Sibship part: the pairs of each cluster under their relationship,
  // unrelated ones as the sum of their single log likelihoods; every pair
  // of offspring of different clusters likewise, (N - k) S_c per cluster.
  double sib = 0.0;
  for (int32_t c = 0; c <= labels; ++c) {
    const int32_t first = start[static_cast<std::size_t>(c)], last = start[static_cast<std::size_t>(c) + 1];
    if (first == last) continue;
    double S = 0.0;
    for (int32_t b = first; b < last; ++b) {
      const int32_t j = members[static_cast<std::size_t>(b)];
      const double uj = SingleOffspringLogL(j, Selfed(loc, j));
      S += uj;
      int32_t unrelated = 0;
      for (int32_t a = first; a < b; ++a) {
        const int32_t i = members[static_cast<std::size_t>(a)];
        const SibType t = FindSibType(i, j, loc(i, 1), loc(i, 2), loc(j, 1), loc(j, 2));
        if (t == SibType::kUnrelated) {
          sib += SingleOffspringLogL(i, Selfed(loc, i));
          ++unrelated;
        } else {
          sib += CalculateOffPairLogL(t, i, j);
        }
      }
      sib += unrelated * uj;
    }
    sib += static_cast<double>(N - (last - first)) * S;
  }
  // Parentage part: every offspring with every candidate.
  double parentage = 0.0;
  static std::vector<int32_t> all;
  all.resize(static_cast<std::size_t>(N));
  for (int32_t i = 1; i <= N; ++i) all[static_cast<std::size_t>(i - 1)] = i;
  knownparents.Build(loc, all.data(), all.size());
  for (int32_t i = 1; i <= N; ++i) {
    parentage += CalculatePOPairLogL(i, Selfed(loc, i), knownparents.Parent(loc, par, i, 1),
                                     knownparents.Parent(loc, par, i, 2));
  }
  logl = sib + parentage;
}

double CalculatePairLogL2(PendingMove& move) {
  const Variables& v = variables;
  ListMovedAndReassigned(move);
  if (!move.group.empty()) {
    // Offspring of the families the moved ones leave or join, either side
    // (in a one-sex sample both columns name one pool of parents).
    const int32_t fam[4] = {move.oldfamily[0], move.newfamily[0], move.oldfamily[1], move.newfamily[1]};
    for (int16_t x : move.affected) {
      if (touched.Has(x)) continue;
      const int32_t fx = v.CrIndivLoc(x, 1), mx = v.CrIndivLoc(x, 2);
      bool shares = false;
      if (v.numsex == 1) {
        for (int32_t f : fam) shares = shares || f == fx || f == mx;
      } else {
        shares = (!Haploid(x) && (fx == fam[0] || fx == fam[1])) || mx == fam[2] || mx == fam[3];
      }
      if (shares) touched.Add(x, false);
    }
  }
  return TouchedChange(move);
}

double CalculatePairLogLMonogamy(PendingMove& move) {
  const Variables& v = variables;
  ListMovedAndReassigned(move);
  if (!move.group.empty()) {
    // Every mother has one mate: a full-sib family is the offspring of one
    // mother, so the offspring of the mothers left and joined are all the
    // relatives the move can change.
    for (int16_t x : move.affected) {
      const int32_t mx = v.CrIndivLoc(x, 2);
      if (!touched.Has(x) && (mx == move.oldfamily[1] || mx == move.newfamily[1])) touched.Add(x, false);
    }
  }
  return TouchedChange(move);
}

double PairScoreMove(PendingMove& move) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  FormComponents(move);
  double change = 0.0;
  if (move.recorded) {
    const bool monogamous = v.numsex == 2 && v.monogamy(1) == 1 && v.monogamy(2) == 1;
    change = monogamous ? CalculatePairLogLMonogamy(move) : CalculatePairLogL2(move);
  } else {
    // Families rewritten wholesale: every offspring of the clusters
    // concerned afresh.
    touched.Begin();
    for (int16_t x : move.affected) touched.Add(x, false);
    ComputeShares(v.CrIndivLoc, v.InferParent, move.affected.data(), move.affected.size(), move.sharevalue);
    move.shareindiv = touched.indiv;
    for (std::size_t p = 0; p < move.shareindiv.size(); ++p) {
      change += move.sharevalue[p] - a.PairShare(move.shareindiv[p]);
    }
  }
  move.componentlogl.assign(move.components.size(), 0.0);
  for (std::size_t c = 0; c < move.components.size(); ++c) {
    double value = 0.0;
    for (int16_t x : move.components[c]) {
      value += touched.Has(x) ? move.sharevalue[static_cast<std::size_t>(touched.pos[static_cast<std::size_t>(x)])]
                              : a.PairShare(x);
    }
    move.componentlogl[c] = value;
  }
  return ClustersLogL(move.affected) + change;
}

void KeepPairShares(const PendingMove& move) {
  AnnealVariables& a = annealvariables;
  for (std::size_t p = 0; p < move.shareindiv.size(); ++p) a.PairShare(move.shareindiv[p]) = move.sharevalue[p];
}

void SetPairScores() {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  EnsurePairInputs();
  const int32_t N = std::max(v.smplsize, 0);
  static std::vector<int32_t> all;
  all.resize(static_cast<std::size_t>(N));
  for (int32_t i = 1; i <= N; ++i) all[static_cast<std::size_t>(i - 1)] = i;
  ComputeShares(v.CrIndivLoc, v.InferParent, all.data(), all.size(), a.PairShare.raw());
  v.CrFamilyLogL.assign(static_cast<std::size_t>(N), 0.0);
  double total = 0.0;
  for (int32_t s = 1; s <= v.CrNumFamily(3); ++s) {
    double value = 0.0;
    for (int16_t j : v.IndivCluster(s)) value += a.PairShare(j);
    v.CrFamilyLogL(s) = value;
    total += value;
  }
  v.CrLogLikelihood = total;
}

void ReduceErrAcct(int64_t iterate) {
  if (!PairScoreMethod()) return;
  Variables& v = variables;
  const double running = v.CrLogLikelihood;
  CheckRunningLogL(iterate, "ReduceErrAcct");
  SetPairScores();
  if (v.checkmode > 0) {
    UseCurrentConfig();
    double total = 0.0;
    CalculateCrrtPairLogL(total);
    if (std::fabs(total - running) > 1e-6 * std::max(1.0, std::fabs(total))) {
      char text[128];
      std::snprintf(text, sizeof text, "CrLogLikelihood(True) = %.5E, CrLogLikelihood(Crrt) = %.5E", total, running);
      for (auto& line : v.errmsg) line.clear();
      v.errmsg(1) = "Error in likelihood calculation at iterate = " + std::to_string(iterate);
      v.errmsg(2) = text;
      StopOnError(1, "ReduceErrAcct");
    }
  }
}
