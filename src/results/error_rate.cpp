// Genotyping-error-rate estimation of the output step.
//
// The likelihood of one locus is maximised over its two error rates with
// every other locus left alone, so an evaluation only rebuilds that locus's
// tables. The families of the best configuration do not depend on the
// rates: they are laid out once for the whole step, and the clusters that
// show no data at a locus are left out of its sums.
#include "results/error_rate.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "genotype/genotype_codes.h"
#include "likelihood/peeling.h"
#include "results/estimate_files.h"
#include "results/fixed_fields.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "search/clusters.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Stream of the random starts: every locus draws its own, so a locus comes
// out the same on whichever process estimates it.
constexpr uint64_t kErrorRateStream = 3;
constexpr int32_t kMaxStarts = 20;
constexpr double kStartBelow = 5e-6;
constexpr double kStepBelow = 1e-4;
constexpr double kSameMinimum = 0.01;
// Powell's fractional tolerance: the negative log likelihoods are in the
// hundreds or thousands, so the minimum is found to about 1e-5 units.
constexpr double kPowellTolerance = 1e-8;
// Support limits: two units of log likelihood below the maximum.
constexpr double kSupportUnits = 2.0;
constexpr double kSkipLowerBelow = 1e-4;
// Above this many typed individuals at a locus a rate above one half would
// make most observations errors: the search is confined below it.
constexpr int32_t kLargeSample = 200;
constexpr int32_t kWidth = kErrorRateValues;

struct Single {
  int32_t ploidy = 2, o1 = 0, o2 = 0;
  double count = 0.0;
};

struct ErrorRateWork {
  std::vector<FamilyLoglVar> clusters;
  // Candidates assigned as a parent in some cluster, by sex (1-based).
  Arr1<std::vector<uint8_t>, 2> assigned;
  // For the locus being estimated: the clusters with data there, and the
  // distinct observations of the candidates no cluster holds.
  std::vector<int32_t> active;
  std::vector<Single> singles;
  int32_t typed = 0;
  double startD = 0.0, startE = 0.0;
  int64_t evaluations = 0;
};
ErrorRateWork work;

bool Typed(const std::pair<int32_t, int32_t>& g) { return g.first > 0; }

// Puts the rates D, E into locus l and rebuilds every table of that locus
// that depends on them.
void SetLocusRates(int32_t l, double D, double E) {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  v.droprate(l) = D;
  v.othererrorrate(l) = E;
  lv.locuserror(l) = (E >= 1e-10 || D >= 1e-10) ? 1 : 0;
  PhenotypeGivenGenotype(l, l);
  if (lv.markererror3.size() >= static_cast<std::size_t>(l) && lv.markererror3(l) > 0) FillErrorClassColumn(l);
  ComputeGtypeFre(l, l);
  if (lv.locus2logl.cols() >= static_cast<std::size_t>(l)) {
    for (int32_t g = 1; g <= 3; ++g) lv.locus2logl(g, l) = 0.0;
  }
  if (v.numsex == 1 && v.allowinbreeding == 1) CalculatePrbGtoPSelf(l, l);
  ClearLocusTableCache(l);
}

// Which rates of locus l are free (both unless set otherwise).
int32_t FreeRates(int32_t l) {
  const Vec1<int8_t>& update = likelihoodvar.locerrrateupdate;
  return update.size() >= static_cast<std::size_t>(l) ? update(l) : 3;
}

// The rates that the free rates x stand for at the locus being estimated.
std::pair<double, double> RatesOf(const Vec1<double>& x) {
  const int32_t update = FreeRates(likelihoodvar.errratelocus);
  double D = work.startD, E = work.startE;
  int32_t j = 1;
  if (update & 1) D = x(j++);
  if (update & 2) E = x(j);
  return {D, E};
}

// L-: the negative log likelihood of locus l under the rates D, E.
double NegLogL(int32_t l, double D, double E) {
  SetLocusRates(l, D, E);
  ++work.evaluations;
  double sum = 0.0;
  for (int32_t k : work.active) {
    std::swap(familyloglvar, work.clusters[static_cast<std::size_t>(k)]);
    double logl = 0.0;
    FamilyLocusLogL(l, logl);
    std::swap(familyloglvar, work.clusters[static_cast<std::size_t>(k)]);
    if (logl <= -1e300) return 1e300;
    sum += logl;
  }
  for (const Single& s : work.singles) {
    double P = 1.0;
    ProbSingleGtype(variables.inbreeding, s.ploidy, l, s.o1, s.o2, P);
    if (!(P > 1e-300)) return 1e300;
    sum += s.count * std::log(P);
  }
  if (!std::isfinite(sum)) {
    variables.errmsg(1) = "Error in likelihood calculation at locus " + std::to_string(l) + " during error-rate estimation";
    StopOnError(1, "LogLErrorRate Function");
  }
  return -sum;
}

// The locus's share of the work: the clusters with data there, and the
// candidates no cluster holds, pooled by observation.
void PrepareLocus(int32_t l) {
  const Variables& v = variables;
  work.active.clear();
  work.singles.clear();
  work.typed = 0;
  for (std::size_t k = 0; k < work.clusters.size(); ++k) {
    const FamilyLoglVar& c = work.clusters[k];
    bool data = false;
    for (const auto& f : c.families) {
      for (int32_t i : f.members) {
        if (Typed(ObservedGenotype(0, i, l))) {
          data = true;
          ++work.typed;
        }
      }
    }
    for (const auto& p : c.parents) {
      if (p.candidate > 0 && Typed(ObservedGenotype(p.sex, p.candidate, l))) {
        data = true;
        ++work.typed;
      }
    }
    if (data) work.active.push_back(static_cast<int32_t>(k));
  }
  std::map<std::pair<int32_t, std::pair<int32_t, int32_t>>, double> pooled;
  for (int32_t s = 1; s <= 2; ++s) {
    // A monoecious sample lists its candidates alike as fathers and mothers.
    if (v.numsex == 1 && s == 2) continue;
    for (int32_t k = 1; k <= v.numchild(s); ++k) {
      const auto& held = work.assigned(s);
      if (static_cast<std::size_t>(k) <= held.size() && held[static_cast<std::size_t>(k - 1)] != 0) continue;
      // A candidate that is also an offspring is counted as that offspring.
      if (v.cndinoffspring(s).size() >= static_cast<std::size_t>(k) && v.cndinoffspring(s)(k) != 0) continue;
      const auto g = ObservedGenotype(s, k, l);
      if (!Typed(g)) continue;
      ++work.typed;
      pooled[{v.ploidy(s), g}] += 1.0;
    }
  }
  for (const auto& [key, count] : pooled) work.singles.push_back({key.first, key.second.first, key.second.second, count});
}

// The value of |L- - c| at a limit search's point.
double LimitValue(double negLogL) { return std::fabs(negLogL - likelihoodvar.loglerrorrateconst); }

// L- at the free rates x, whatever the offset.
double NegLogLAt(const Vec1<double>& x) {
  const auto [D, E] = RatesOf(x);
  return NegLogL(likelihoodvar.errratelocus, D, E);
}

// With two free rates, the limits of rate j are those of its profile: L-
// at the best value of the other rate k for each value of rate j. Near the
// estimate L- is close to a quadratic, whose profile is a line: rate k
// moves by -H(k, j) / H(k, k) per unit of rate j, H being the curvature of
// L-. The curvature comes from differences at the estimate (forward in
// rate j, central in rate k). When rate k's estimate lies at its lower
// bound the profile keeps it there (slope 0), as it does when the
// curvature is not positive.
double ProfileSlope(int32_t j, const Vec1<double>& est, double fmin) {
  const LikelihoodVar& lv = likelihoodvar;
  const int32_t k = 3 - j;
  const double hj = std::max(1e-4, 0.05 * est(j)), hk = std::max(1e-4, 0.05 * est(k));
  if (est(k) - hk < lv.rangeerrorrate(1, k) || est(k) + hk > lv.rangeerrorrate(2, k) ||
      est(j) + hj > lv.rangeerrorrate(2, j)) {
    return 0.0;
  }
  Vec1<double> x = est;
  auto at = [&](double dj, double dk) {
    x(j) = est(j) + dj;
    x(k) = est(k) + dk;
    return NegLogLAt(x);
  };
  const double kp = at(0, hk), km = at(0, -hk), jkp = at(hj, hk), jkm = at(hj, -hk);
  const double hkk = (kp - 2 * fmin + km) / (hk * hk);
  const double hjk = (jkp - jkm - kp + km) / (2 * hj * hk);
  if (!(hkk > 0.0) || !std::isfinite(hjk)) return 0.0;
  return -hjk / hkk;
}

// A point lies on the support limit when L- is within this many units of
// the minimum plus 2.
constexpr double kOnLimit = 0.01;

// One support limit of free rate j (1-based) on the side of `bound`: a line
// search of the objective |L- - c| from 1% of the way from the line's end
// back towards the estimate. With one free rate the line runs from the
// estimate to the bound. With two it is the profile line (ProfileSlope),
// which may end where rate k meets its own bound; when the limit lies
// beyond that end, rate j alone goes on from there with rate k at its
// bound, where the profile keeps it.
double SupportLimit(int32_t j, double bound, const Vec1<double>& est, double slope) {
  LikelihoodVar& lv = likelihoodvar;
  const int32_t n = lv.numerrorrate;
  const int32_t k = 3 - j;
  Vec1<double> lower(static_cast<std::size_t>(n)), upper(static_cast<std::size_t>(n));
  for (int32_t m = 1; m <= n; ++m) {
    lower(m) = lv.rangeerrorrate(1, m);
    upper(m) = lv.rangeerrorrate(2, m);
  }
  auto search = [&](const Vec1<double>& from, const Vec1<double>& d, double tend, double& fret) {
    Vec1<double> lo = lower, hi = upper;
    lo(j) = std::min(from(j), from(j) + tend * d(j));
    hi(j) = std::max(from(j), from(j) + tend * d(j));
    Vec1<double> p = from, dir = d;
    for (int32_t m = 1; m <= n; ++m) p(m) = std::clamp(from(m) + 0.99 * tend * d(m), lo(m), hi(m));
    LinMin(p, dir, n, fret, LogLErrorRate, lo, hi);
    return p;
  };
  Vec1<double> d(static_cast<std::size_t>(n), 0.0);
  d(j) = bound - est(j);
  double tend = 1.0;
  if (n == 2) {
    d(k) = slope * d(j);
    if (d(k) < 0.0) tend = std::min(tend, (lower(k) - est(k)) / d(k));
    if (d(k) > 0.0) tend = std::min(tend, (upper(k) - est(k)) / d(k));
    tend = std::max(tend, 0.0);
  }
  double fret = 0.0;
  Vec1<double> p = search(est, d, tend, fret);
  if (n == 2 && tend < 1.0 && fret > kOnLimit) {
    // The limit is not on the line: from the line's end, rate j alone.
    Vec1<double> end = est;
    for (int32_t m = 1; m <= n; ++m) end(m) = std::clamp(est(m) + tend * d(m), lower(m), upper(m));
    Vec1<double> dj(static_cast<std::size_t>(n), 0.0);
    dj(j) = bound - end(j);
    double f2 = 0.0;
    const Vec1<double> q = search(end, dj, 1.0, f2);
    if (f2 < fret) p = q;
  }
  return p(j);
}

}  // namespace

double LogLErrorRate(const Vec1<double>& x) {
  const LikelihoodVar& lv = likelihoodvar;
  for (int32_t j = 1; j <= lv.numerrorrate; ++j) {
    if (x(j) < lv.rangeerrorrate(1, j) || x(j) > lv.rangeerrorrate(2, j)) return 1e100;
  }
  const auto [D, E] = RatesOf(x);
  return LimitValue(NegLogL(lv.errratelocus, D, E));
}

void SetMonoPrnt() {
  FamilyLoglVar& fv = familyloglvar;
  if (variables.numsex != 1) return;
  std::vector<int32_t> node(fv.parents.size());
  std::vector<FamilyLoglVar::Parent> kept;
  std::map<int32_t, int32_t> byCandidate;
  for (std::size_t p = 0; p < fv.parents.size(); ++p) {
    FamilyLoglVar::Parent par = fv.parents[p];
    if (par.candidate > 0) {
      par.sex = 1;
      const auto it = byCandidate.find(par.candidate);
      if (it != byCandidate.end()) {
        node[p] = it->second;
        continue;
      }
      byCandidate[par.candidate] = static_cast<int32_t>(kept.size());
    }
    node[p] = static_cast<int32_t>(kept.size());
    kept.push_back(par);
  }
  fv.parents = kept;
  for (auto& f : fv.families) {
    if (f.father >= 0) f.father = node[static_cast<std::size_t>(f.father)];
    if (f.mother >= 0) f.mother = node[static_cast<std::size_t>(f.mother)];
  }
}

void SetErrorRateClusters(std::vector<FamilyLoglVar> clusters) {
  work.clusters = std::move(clusters);
  for (int32_t s = 1; s <= 2; ++s) {
    work.assigned(s).assign(static_cast<std::size_t>(std::max(variables.numchild(s), 0)), 0);
  }
  for (const FamilyLoglVar& c : work.clusters) {
    for (const auto& p : c.parents) {
      if (p.candidate < 1) continue;
      // In a monoecious sample candidate k is one individual in both lists.
      for (int32_t s = 1; s <= 2; ++s) {
        if (variables.numsex == 2 && s != p.sex) continue;
        auto& held = work.assigned(s);
        if (static_cast<std::size_t>(p.candidate) <= held.size()) held[static_cast<std::size_t>(p.candidate - 1)] = 1;
      }
    }
  }
}

void MinimiseFromRandomStarts(const Objective& f, int32_t n, const Vec1<double>& lower, const Vec1<double>& upper,
                              ItemRandom& rng, Vec1<double>& best, double& fbest, bool& notconverged) {
  const std::size_t size = static_cast<std::size_t>(std::max(n, 0));
  fbest = 1e300;
  notconverged = false;
  best.assign(size, 0.0);
  for (int32_t start = 1; start <= kMaxStarts; ++start) {
    // Uniform deviates in (0, 1]: a start or a step of exactly 0 would not
    // move.
    Vec1<double> p(size);
    Mat1<double> xi(size, size, 0.0);
    for (int32_t j = 1; j <= n; ++j) p(j) = std::max(lower(j), 0.0) + kStartBelow * (1.0 - rng.Uniform());
    for (int32_t j = 1; j <= n; ++j) xi(j, j) = kStepBelow * (1.0 - rng.Uniform());
    int32_t iter = 0;
    double fret = 0.0;
    bool nc = false;
    Powell(p, xi, n, kPowellTolerance, iter, fret, f, lower, upper, &nc);
    const double change = std::fabs(fret - fbest);
    if (start == 1 || fret < fbest) {
      fbest = fret;
      best = p;
      notconverged = nc;
    }
    if (start > 1 && change < kSameMinimum) break;
  }
}

void EstimateLocusErrorRate(int32_t l, ErrorRateResult& out) {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  work.startD = v.droprate(l);
  work.startE = v.othererrorrate(l);
  work.evaluations = 0;
  PrepareLocus(l);
  lv.errratelocus = l;
  const int32_t update = FreeRates(l);
  const int32_t n = (update & 1 ? 1 : 0) + (update & 2 ? 1 : 0);
  lv.numerrorrate = n;
  const double ub = work.typed > kLargeSample ? 0.5 : 1.0;
  lv.rangeerrorrate.assign(2, static_cast<std::size_t>(std::max(n, 1)), 0.0);
  Vec1<double> lower(static_cast<std::size_t>(n), 0.0), upper(static_cast<std::size_t>(n), ub);
  for (int32_t j = 1; j <= n; ++j) lv.rangeerrorrate(2, j) = ub;

  out = ErrorRateResult{};
  out.drop.fill(work.startD);
  out.other.fill(work.startE);
  if (n > 0) {
    lv.loglerrorrateconst = 0.0;
    ItemRandom rng(static_cast<uint64_t>(static_cast<int64_t>(v.newseed != 0 ? v.newseed : v.i_seed)), kErrorRateStream,
                   static_cast<uint64_t>(l));
    Vec1<double> est;
    double fmin = 0.0;
    bool notconverged = false;
    MinimiseFromRandomStarts(LogLErrorRate, n, lower, upper, rng, est, fmin, notconverged);
    out.converged = !notconverged;
    Vec1<double> lo(static_cast<std::size_t>(n)), hi(static_cast<std::size_t>(n));
    if (fmin < 1e299) {
      for (int32_t j = 1; j <= n; ++j) {
        const double slope = n == 2 ? ProfileSlope(j, est, fmin) : 0.0;
        lv.loglerrorrateconst = fmin + kSupportUnits;
        lo(j) = est(j) < kSkipLowerBelow ? lower(j) : SupportLimit(j, lower(j), est, slope);
        hi(j) = SupportLimit(j, upper(j), est, slope);
      }
    } else {
      // Impossible under every rate tried: no interval to speak of.
      lo = est;
      hi = est;
    }
    int32_t j = 1;
    for (Arr1<double, 4>* r : {&out.drop, &out.other}) {
      if (!(update & (r == &out.drop ? 1 : 2))) continue;
      (*r)(2) = est(j);
      (*r)(3) = lo(j);
      (*r)(4) = hi(j);
      ++j;
    }
  }
  lv.loglerrorrateconst = 0.0;
  SetLocusRates(l, work.startD, work.startE);
  out.evaluations = work.evaluations;
}

void ErrorRateEstimation() {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t nl = std::max(v.numloci, 0);
  std::vector<double> table(static_cast<std::size_t>(nl) * kWidth, 0.0);
  // Without the genotypes (results written from a configuration alone)
  // there is nothing to estimate from.
  bool held = v.errestimate == 1 && v.indivgtype.size() >= static_cast<std::size_t>(nl) &&
              lv.obsnumallele.size() >= static_cast<std::size_t>(nl);
  for (int32_t l = 1; held && l <= nl; ++l) {
    held = v.indivgtype(l).size() >= ColumnWords(v.smplsize, lv.obsnumallele(l));
  }
  if (held) {
    // The clusters of the best configuration, which Output has made the
    // current one, in the order of their first members.
    std::vector<std::pair<int32_t, int32_t>> slots;
    for (int32_t k = 1; k <= static_cast<int32_t>(v.IndivCluster.size()); ++k) {
      if (v.IndivClusterIdx(k) != -1 && !v.IndivCluster(k).empty()) slots.push_back({v.IndivCluster(k).front(), k});
    }
    std::sort(slots.begin(), slots.end());
    std::vector<FamilyLoglVar> clusters;
    clusters.reserve(slots.size());
    for (const auto& s : slots) {
      FamilyBuild(s.second);
      SetMonoPrnt();
      clusters.push_back(familyloglvar);
    }
    SetErrorRateClusters(std::move(clusters));
    lv.locerrrateupdate.assign(static_cast<std::size_t>(nl), 3);
    // One precision level finer than the search's: genotypes pruned from
    // the sums would make the objective jump as the rates move.
    const double prec[3] = {lv.prec1, lv.prec2, lv.prec3};
    lv.prec1 *= 0.01;
    lv.prec2 *= 0.01;
    lv.prec3 *= 0.01;
    Arr1<int32_t, 2> range;
    SetThreadTask(nl, range);
    if (v.displayq != 0) std::cout << "Estimating genotyping error rates..." << std::endl;
    for (int32_t l = range(1); l <= range(2); ++l) {
      if (lv.obsnumallele(l) < 2) continue;
      if (v.displayq != 0) std::cout << "\r  Locus " << l << std::flush;
      ErrorRateResult r;
      EstimateLocusErrorRate(l, r);
      double* row = &table[static_cast<std::size_t>(l - 1) * kWidth];
      for (int32_t k = 1; k <= 4; ++k) {
        row[k - 1] = r.drop(k);
        row[k + 3] = r.other(k);
      }
      row[8] = r.converged ? 1.0 : 2.0;
    }
    if (v.displayq != 0) std::cout << "\r  Done for all loci." << std::endl;
    lv.prec1 = prec[0];
    lv.prec2 = prec[1];
    lv.prec3 = prec[2];
    work = ErrorRateWork{};
    GatherBlocks(table, nl, kWidth);
  }
  if (v.threadid != 0) return;
  WriteErrorRate(table);
  // A locus whose minimisation ran out of iterations keeps the best rates
  // reached; the run goes on, and the locus is named on the screen and in
  // the progress log.
  std::vector<std::string> warnings;
  for (int32_t l = 1; l <= nl; ++l) {
    if (table[static_cast<std::size_t>(l - 1) * kWidth + 8] == 2.0) {
      warnings.push_back("Error-rate estimation did not converge at marker " + fixed_fields::TrimRight(v.markerid(l)) +
                         "; the best rates reached are reported.");
    }
  }
  if (warnings.empty()) return;
  for (const std::string& w : warnings) {
    if (v.displayq != 0) std::cout << "Warning: " << w << std::endl;
  }
  const std::string name = v.fname + ".MidResult";
  if (!FileExists(name)) return;
  GuardWrite(name);
  std::ofstream log(name, std::ios::out | std::ios::app);
  for (const std::string& w : warnings) log << "Warning: " << w << '\n';
}
