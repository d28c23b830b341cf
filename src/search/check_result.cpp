// Consistency checks of the search state: every quantity the search keeps
// up to date, recomputed from scratch and compared.
//
// Tolerances. Integer quantities (tables, counts) must agree exactly. The
// log prior is a function of counts evaluated by the same routine, and the
// cluster log likelihoods are recomputed by the same engine over the same
// families in the same order, so the values agree to the last bits; only
// the order of summation may differ (the pairwise-score total is summed
// pair by pair in the recomputation, share by share in the search), which
// leaves a relative difference of at most about 1e-12 even over millions
// of terms. They are compared with the relative tolerance 1e-8 (absolute
// below magnitude 1): far above any rounding, far below the smallest change
// a wrong family or candidate makes.
#include "search/check_result.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "runctl/error_stop.h"
#include "runctl/parallel.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/pair_score.h"
#include "search/parentage_moves.h"
#include "search/prior.h"
#include "state/annealvariables.h"
#include "state/variables.h"

namespace {

constexpr double kRelativeTolerance = 1e-8;
// A cluster at or below this (-1e38 in single precision) is impossible.
constexpr double kImpossible = -9.999999680285692e37;

bool Differ(double truth, double kept) {
  return !(std::fabs(truth - kept) <= kRelativeTolerance * std::max(1.0, std::fabs(truth)));
}

std::string Int(int64_t x, int width) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%*lld", width, static_cast<long long>(x));
  return buf;
}

// A text right-adjusted in a field (a shorter text gets leading blanks).
std::string Text(const std::string& s, int width) {
  return s.size() >= static_cast<std::size_t>(width) ? s : std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

std::string Sci(double x, int width) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.5E", width, x);
  return buf;
}

std::string Fixed(double x, int width) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%*.5f", width, x);
  return buf;
}

// The diagnosis: the output name, then the message and detail lines, then
// the stop code; the error stop shows it after an empty line.
[[noreturn]] void Fail(const char* code, const std::vector<std::string>& lines) {
  Variables& v = variables;
  for (auto& line : v.errmsg) line.clear();
  v.errmsg(1) = "Error in running dataset: " + v.fname;
  std::string body;
  for (std::size_t j = 0; j < lines.size(); ++j) body += (j ? "\n" : "") + lines[j];
  v.errmsg(2) = body;
  v.errmsg(3) = std::string("Stop code ") + code;
  StopOnError(CheckStopCode(code), "CheckResult");
}


// Column k of offspring i names a parent (a haploid son has no father).
bool HasColumn(int32_t i, int32_t k) { return !(k == 1 && HaploidOffspring(i)); }

// The parents of one side as a set of family numbers: in a one-sex sample
// both columns name one pool of parents, so side 1 covers both columns.
bool InSide(int32_t k, int32_t side) { return variables.numsex == 1 || k == side; }

// Distinct family numbers of a side in use, and the largest. A haploid
// son's paternal family number counts as the search numbers it, though no
// father stands behind it.
void FamiliesInUse(int32_t side, int32_t& distinct, int32_t& largest) {
  const Variables& v = variables;
  std::vector<char> seen;
  distinct = largest = 0;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (!InSide(k, side)) continue;
      const int32_t f = v.CrIndivLoc(i, k);
      if (f < 1) continue;
      if (static_cast<std::size_t>(f) >= seen.size()) seen.resize(static_cast<std::size_t>(f) + 1, 0);
      if (!seen[static_cast<std::size_t>(f)]) {
        seen[static_cast<std::size_t>(f)] = 1;
        ++distinct;
        largest = std::max(largest, f);
      }
    }
  }
}

int32_t Sides() { return variables.numsex == 1 ? 1 : 2; }

void CheckFamilyIndices(int64_t iterate) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  bool bad = v.CrIndivLoc.rows() != static_cast<std::size_t>(n) || v.CrIndivLoc.cols() < 3 ||
             (v.numsex == 1 && v.CrNumFamily(1) != v.CrNumFamily(2));
  for (int32_t i = 1; i <= n && !bad; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (v.CrIndivLoc(i, k) < 1 || v.CrIndivLoc(i, k) > v.CrNumFamily(k)) bad = true;
    }
  }
  if (bad) Fail("#1", {"Config parental index error, iterate" + Int(iterate, 10)});
}

// A parent of a monogamous sex has offspring with one mate only.
void CheckMonogamy(int64_t iterate) {
  const Variables& v = variables;
  for (int32_t k = 1; k <= 2; ++k) {
    if (v.monogamy(k) != 1) continue;
    std::vector<int32_t> mate(static_cast<std::size_t>(v.CrNumFamily(k)) + 1, 0);
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      if (HaploidOffspring(i)) continue;  // a son from an unfertilised egg is no mating
      int32_t& m = mate[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
      const int32_t other = v.CrIndivLoc(i, 3 - k);
      if (m == 0) m = other;
      if (m != other) Fail("#2", {"MonoGamous indiv has multiple mating, iterate" + Int(iterate, 10)});
    }
  }
}

void CheckHaploids(int64_t iterate) {
  const Variables& v = variables;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (HaploidOffspring(i) && v.InferParent(i, 1) != 0) Fail("#3", {"Haploid sib config error, iterate" + Int(iterate, 10)});
  }
}

// In a one-sex sample an offspring whose two parents are one individual
// is selfed: only when selfing is allowed, and then with one candidate.
void CheckSelfers(int64_t iterate) {
  const Variables& v = variables;
  if (v.numsex != 1) return;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (v.CrIndivLoc(i, 1) != v.CrIndivLoc(i, 2)) continue;
    if (v.allowinbreeding == 0 || v.InferParent(i, 1) != v.InferParent(i, 2)) {
      Fail("#4", {"Error in selfer at iterate" + Int(iterate, 10)});
    }
  }
}

// The expected sum of family sizes of a side: every offspring that has a
// parent of it (twice over in a one-sex sample, one pool for both columns).
int32_t OffspringWithSide(int32_t side) {
  const Variables& v = variables;
  int32_t total = 0;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    for (int32_t k = 1; k <= 2; ++k) total += InSide(k, side) && HasColumn(i, k) ? 1 : 0;
  }
  return total;
}

void CheckSizeDistribution(int64_t iterate) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const int32_t rows = std::max(1, (3 - v.numsex) * n);
  const Mat1<int32_t>& kept = v.SibshipSizeDist;
  const bool shaped = kept.rows() == static_cast<std::size_t>(rows) && kept.cols() == 2;
  for (int32_t side = 1; side <= Sides(); ++side) {
    std::vector<int32_t> members(static_cast<std::size_t>(std::max(v.CrNumFamily(side), 0)) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (InSide(k, side) && HasColumn(i, k)) ++members[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
      }
    }
    std::vector<int32_t> truth(static_cast<std::size_t>(rows) + 1, 0);
    int64_t sum = 0;
    for (std::size_t f = 1; f < members.size(); ++f) {
      const int32_t s = members[f];
      if (s > 0 && s <= rows) ++truth[static_cast<std::size_t>(s)];
      sum += s;
    }
    auto keptcount = [&](int32_t s) { return shaped ? kept(s, side) : 0; };
    bool differ = !shaped;
    for (int32_t s = 1; s <= rows; ++s) differ = differ || truth[static_cast<std::size_t>(s)] != keptcount(s);
    if (differ) {
      std::vector<std::string> lines{"Error in sib size distribution at iterate" + Int(iterate, 10),
                                     Text("Sex", 15) + Text("SibSize", 15) + Text("Count(True)", 15) +
                                         Text("Count(Crrt)", 15)};
      for (int32_t s = 1; s <= rows; ++s) {
        if (truth[static_cast<std::size_t>(s)] == 0 && keptcount(s) == 0) continue;
        lines.push_back(Int(side, 15) + Int(s, 15) + Int(truth[static_cast<std::size_t>(s)], 15) + Int(keptcount(s), 15));
      }
      Fail("#5", lines);
    }
    const int32_t expected = OffspringWithSide(side);
    if (sum != expected) {
      std::vector<std::string> lines{"Error in sib size distribution at iterate" + Int(iterate, 10),
                                     Text("Sex", 15) + Text("SumSibSize", 15) + Text("SmplSize", 15),
                                     Int(side, 15) + Int(sum, 15) + Int(expected, 15), "Sibsize distribution (1~)"};
      int32_t last = 1;
      for (int32_t s = 1; s <= rows; ++s) {
        if (truth[static_cast<std::size_t>(s)] != 0) last = s;
      }
      std::string line;
      for (int32_t s = 1; s <= last; ++s) {
        line += Int(truth[static_cast<std::size_t>(s)], 6);
        if (s % 20 == 0 || s == last) {
          lines.push_back(line);
          line.clear();
        }
      }
      Fail("#6", lines);
    }
  }
}

// The cluster tables describe the connected sets of offspring linked by
// shared parents.
void CheckClusters() {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  // #7: offspring that share a parent sit in one cluster.
  std::vector<int32_t> firstof;
  std::vector<int32_t> up(static_cast<std::size_t>(n) + 1);
  std::iota(up.begin(), up.end(), 0);
  const bool sized = v.ClusterID.size() == static_cast<std::size_t>(n);
  for (int32_t side = 1; side <= Sides(); ++side) {
    firstof.assign(static_cast<std::size_t>(std::max(v.CrNumFamily(side), 0)) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (!InSide(k, side) || !HasColumn(i, k)) continue;
        int32_t& first = firstof[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
        if (first == 0) {
          first = i;
          continue;
        }
        if (!sized || v.ClusterID(i) != v.ClusterID(first) || v.CrIndivLoc(i, 3) != v.CrIndivLoc(first, 3)) {
          Fail("#7", {"SibShip split error!"});
        }
        up[static_cast<std::size_t>(FindRoot(up, i))] = FindRoot(up, first);
      }
    }
  }
  // #8: each cluster slot lists its members in order, with its size and
  // first member, and holds exactly one connected set.
  const int32_t count = v.CrNumFamily(3);
  bool bad = count < 1 || count > n || v.IndivCluster.size() < static_cast<std::size_t>(count) ||
             v.ClusterSizeT.size() < static_cast<std::size_t>(count) ||
             v.IndivClusterIdx.size() < static_cast<std::size_t>(count) ||
             v.IndivClusterIndex.size() < static_cast<std::size_t>(n);
  int64_t total = 0;
  for (int32_t s = 1; s <= count && !bad; ++s) {
    const auto& members = v.IndivCluster(s);
    bad = members.empty() || static_cast<int32_t>(members.size()) != v.ClusterSizeT(s) ||
          v.IndivClusterIdx(s) != members.front() || !std::is_sorted(members.begin(), members.end());
    for (int16_t j : members) {
      bad = bad || j < 1 || j > n || v.ClusterID(j) != s || FindRoot(up, j) != FindRoot(up, members.front());
    }
    total += static_cast<int64_t>(members.size());
  }
  for (int32_t i = 1; i <= n && !bad; ++i) {
    const int32_t label = v.CrIndivLoc(i, 3);
    bad = label < 1 || label > n || v.IndivClusterIndex(label) != v.ClusterID(i);
  }
  int32_t components = 0;
  for (int32_t i = 1; i <= n; ++i) components += FindRoot(up, i) == i ? 1 : 0;
  if (bad || total != n || components != count) Fail("#8", {"SibShip split error!"});
}

// Parent assignments: every offspring of a family carries the family's
// candidate, a candidate of its sex's list, never an excluded one, a known
// parent is kept, and no candidate is the parent of two families.
void CheckAssignments(int64_t iterate) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const std::string at = Int(iterate, 10);
  bool shaped = v.InferParent.rows() == static_cast<std::size_t>(n) && v.InferParent.cols() == 2;
  if (!shaped) Fail("#9", {"Parentage assigned error at iterate" + at});
  for (int32_t side = 1; side <= Sides(); ++side) {
    std::vector<int32_t> candidateof(static_cast<std::size_t>(std::max(v.CrNumFamily(side), 0)) + 1, -1);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (!InSide(k, side) || !HasColumn(i, k)) continue;
        const int32_t c = v.InferParent(i, k);
        int32_t& held = candidateof[static_cast<std::size_t>(v.CrIndivLoc(i, k))];
        if (held < 0) held = c;
        const auto& excluded = v.excludedparent(k);
        const bool barred = c > 0 && !excluded.empty() &&
                            std::find(excluded(i).begin(), excluded(i).end(), c) != excluded(i).end();
        if (c < 0 || c > v.numchild(k) || held != c || barred) {
          Fail("#9", {"Parentage assigned error at iterate" + at});
        }
      }
    }
  }
  for (int32_t i = 1; i <= n && !v.indivparent.empty(); ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      const int32_t known = v.indivparent(i, k);
      if (known > 0 && v.InferParent(i, k) != known) {
        Fail("#11", {"Known parent is reassigned at iterate" + at,
                     "Error in assignment Parent" + Int(known, 6) + " of Sex" + Int(k, 6)});
      }
    }
  }
  for (int32_t side = 1; side <= Sides(); ++side) {
    std::vector<int32_t> familyof(static_cast<std::size_t>(std::max(v.numchild(side), 0)) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        if (!InSide(k, side) || !HasColumn(i, k)) continue;
        const int32_t c = v.InferParent(i, k);
        if (c < 1) continue;
        int32_t& f = familyof[static_cast<std::size_t>(c)];
        if (f == 0) f = v.CrIndivLoc(i, k);
        if (f != v.CrIndivLoc(i, k)) {
          Fail("#12", {"Error in #assigned parents at iterate" + at,
                       "Error in assignment Parent" + Int(c, 6) + " of Sex" + Int(side, 6)});
        }
      }
    }
  }
}

// The numbers of assigned candidates of the best configuration, kept with
// it, against a count of its assignments.
void CheckAssignedCounts(int64_t iterate) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const Mat1<int32_t>& best = v.BtInferParent;
  if (best.rows() != static_cast<std::size_t>(n) || best.cols() != 2) return;
  Arr1<int32_t, 4> truth;
  truth.fill(0);
  for (int32_t k = 1; k <= 2; ++k) {
    std::vector<char> seen(static_cast<std::size_t>(std::max(v.numchild(k), 0)) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      const int32_t c = best(i, k);
      if (c < 1 || c > v.numchild(k)) continue;
      ++truth(k + 2);
      if (!seen[static_cast<std::size_t>(c)]) {
        seen[static_cast<std::size_t>(c)] = 1;
        ++truth(k);
      }
    }
  }
  if (std::equal(truth.begin(), truth.end(), v.BtNumAssign.begin())) return;
  std::vector<std::string> lines{"Error in #assigned parents at iterate" + Int(iterate, 10),
                                 Text("Sex", 20) + Text("#AssignedPrnt(True)", 20) + Text("#AssignedPrnt(Crrt)", 20) +
                                     Text("#AssignedOff(True)", 20) + Text("#AssignedOff(Crrt)", 20)};
  for (int32_t k = 1; k <= 2; ++k) {
    lines.push_back(Int(k, 20) + Int(truth(k), 20) + Int(v.BtNumAssign(k), 20) + Int(truth(k + 2), 20) +
                    Int(v.BtNumAssign(k + 2), 20));
  }
  Fail("#13", lines);
}

void CheckFamilyCounts(int64_t iterate) {
  const Variables& v = variables;
  Arr1<int32_t, 2> distinct, largest;
  for (int32_t side = 1; side <= Sides(); ++side) FamiliesInUse(side, distinct(side), largest(side));
  if (v.numsex == 1) {
    distinct(2) = distinct(1);
    largest(2) = largest(1);
  }
  if (distinct(1) != v.CrNumFamily(1) || distinct(2) != v.CrNumFamily(2)) {
    std::vector<std::string> lines{"Error in #NewNumFamily at iterate" + Int(iterate, 10),
                                   Text("Sex", 20) + Text("NewNumFamily(True)", 20) + Text("NewNumFamily(Crrt)", 20)};
    for (int32_t k = 1; k <= 2; ++k) lines.push_back(Int(k, 20) + Int(distinct(k), 20) + Int(v.CrNumFamily(k), 20));
    Fail("#14", lines);
  }
  // Family numbers are dense: 1 .. the number of families, none unused.
  if (largest(1) != distinct(1) || largest(2) != distinct(2)) {
    Fail("#15", {"Error in familyID at iterate" + Int(iterate, 10)});
  }
}

void CheckPrior(int64_t iterate, double prior) {
  UseCurrentConfig();
  const double truth = CurrentLogPrior();
  if (!Differ(truth, prior)) return;
  Fail("#16", {"Error in Prior at iterate" + Int(iterate, 10), Text("Prior(True)", 15) + Text("Prior(Crrt)", 15),
               Sci(truth, 15) + Sci(prior, 15)});
}

// Log likelihood of cluster slot k from scratch, as the initial
// configuration computes it (a cluster impossible at the chosen precision
// is tried again at higher ones).
double FreshClusterLogL(int32_t k) {
  Variables& v = variables;
  const int32_t precision = v.likelihoodprecision;
  double logl = -1e300;
  for (int32_t attempt = 0; attempt < 4; ++attempt) {
    FamilyBuild(k);
    FamilyLikelihood(logl, -1e300, 1, 0, 0);
    if (logl > kImpossible) break;
    v.likelihoodprecision += 2;
  }
  v.likelihoodprecision = precision;
  return logl;
}

// In a diploid sample the search reverses a cluster without candidates
// (fathers and mothers exchange roles) keeping its log likelihood, since
// both arrangements are equally likely. The likelihood engine drops
// improbable genotypes by the precision chosen, and what it drops depends
// on the arrangement, so the two values may differ in the last decimals:
// a kept value that is the engine's value of the mirror arrangement is
// right. Cluster slot k's value with its columns exchanged (-1e300 when
// that does not apply).
double MirrorClusterLogL(int32_t k) {
  Variables& v = variables;
  if (v.numsex != 2 || v.haplodiploid != 0 || PairScoreMethod()) return -1e300;
  const std::vector<int16_t> members = v.IndivCluster(k);
  for (int16_t j : members) {
    if (v.InferParent(j, 1) != 0 || v.InferParent(j, 2) != 0) return -1e300;
  }
  for (int16_t j : members) std::swap(v.CrIndivLoc(j, 1), v.CrIndivLoc(j, 2));
  std::vector<int16_t> group(members);
  FamilyBuildMembers(group.data(), static_cast<int32_t>(group.size()));
  double logl = -1e300;
  FamilyLikelihood(logl, -1e300, 1, 0, 0);
  for (int16_t j : members) std::swap(v.CrIndivLoc(j, 1), v.CrIndivLoc(j, 2));
  return logl;
}

void CheckLogL(int64_t iterate, double parentterm) {
  Variables& v = variables;
  UseCurrentConfig();
  const int32_t count = v.CrNumFamily(3);
  std::vector<double> fresh(static_cast<std::size_t>(count) + 1, 0.0);
  double truth = 0.0;
  if (PairScoreMethod()) {
    // The shares and cluster values of the search, made afresh, then put
    // back as they were; the total is summed independently, pair by pair.
    AnnealVariables& a = annealvariables;
    const Vec1<double> shares = a.PairShare;
    const Vec1<double> clusters = v.CrFamilyLogL;
    const double running = v.CrLogLikelihood;
    SetPairScores();
    for (int32_t s = 1; s <= count; ++s) fresh[static_cast<std::size_t>(s)] = v.CrFamilyLogL(s);
    a.PairShare = shares;
    v.CrFamilyLogL = clusters;
    v.CrLogLikelihood = running;
    CalculateCrrtPairLogL(truth);
  } else {
    for (int32_t s = 1; s <= count; ++s) {
      double& value = fresh[static_cast<std::size_t>(s)];
      value = FreshClusterLogL(s);
      if (Differ(value, v.CrFamilyLogL(s))) {
        const double mirror = MirrorClusterLogL(s);
        if (!Differ(mirror, v.CrFamilyLogL(s))) value = mirror;
      }
      truth += value;
    }
  }
  double parents = 0.0;
  ComputeParentLogL(parents);
  truth += parents;
  bool differ = Differ(truth, v.CrLogLikelihood) || Differ(parents, parentterm);
  for (int32_t s = 1; s <= count; ++s) {
    differ = differ || Differ(fresh[static_cast<std::size_t>(s)], v.CrFamilyLogL(s));
  }
  if (!differ) return;
  std::vector<std::string> lines{"Error in LogL at iterate" + Int(iterate, 10),
                                 Text("CrLogLikelihood(True)", 25) + Text("CrLogLikelihood(Crrt)", 25),
                                 Sci(truth, 25) + Sci(v.CrLogLikelihood, 25)};
  for (int32_t s = 1; s <= count; ++s) {
    lines.push_back(Int(s, 4) + Fixed(fresh[static_cast<std::size_t>(s)], 15) + Fixed(v.CrFamilyLogL(s), 15));
  }
  lines.push_back("ParentLogL(Old/New):" + Fixed(parentterm, 25) + Fixed(parents, 25));
  Fail("#17", lines);
}

void CheckState(int64_t iterate, double prior, double parentterm, bool accepted) {
  const Variables& v = variables;
  // The counting-index routines leave their work table all zero.
  for (int32_t x : v.selectedprntidxq1) {
    if (x != 0) Fail("#00", {"SelectedPrntIdxQ1(:) <> 0"});
  }
  if (v.smplsize < 1) return;
  CheckFamilyIndices(iterate);
  CheckMonogamy(iterate);
  if (v.InferParent.rows() == static_cast<std::size_t>(v.smplsize)) {
    CheckHaploids(iterate);
    CheckSelfers(iterate);
  }
  if (accepted && v.priortype == 1) CheckSizeDistribution(iterate);
  CheckClusters();
  CheckAssignments(iterate);
  CheckAssignedCounts(iterate);
  CheckFamilyCounts(iterate);
  CheckPrior(iterate, prior);
  CheckLogL(iterate, parentterm);
}

}  // namespace

int32_t CheckStopCode(const char* code) {
  const std::string c = code;
  const int32_t number = std::atoi(c.c_str() + 1);
  return c.size() > 2 && c[1] == '0' ? 100 + number : number;
}

void CheckResult(int64_t iterate, double prior, double parentterm, bool accepted) {
  Barrier();
  CheckState(iterate, prior, parentterm, accepted);
  Barrier();
}

void CheckRunningLogL(int64_t iterate, const char* routine) {
  Variables& v = variables;
  const double running = v.CrLogLikelihood;
  if (running <= 1.0 && running > -1e300) return;  // false for NaN
  char text[64];
  std::snprintf(text, sizeof text, "%.15G", running);
  for (auto& line : v.errmsg) line.clear();
  v.errmsg(1) = "Error in likelihood calculation at iterate = " + std::to_string(iterate);
  v.errmsg(2) = std::string("CrLogLikelihood(Crrt) = ") + text;
  StopOnError(1, routine);
}
