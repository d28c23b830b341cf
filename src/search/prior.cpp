// The prior of a configuration: its constants (set once before any search),
// the parentage part that weighs the assigned candidates against the
// proportions of parents sampled, the Ewens sibship-size part, and the
// sibship-size distribution that the Ewens part reads.
#include "search/prior.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "numeric/minimise.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// ln k! from the prepared table; a count beyond it (a table prepared for a
// smaller sample) is computed rather than read past the end.
double LnFact(int64_t k) {
  const std::vector<double>& table = variables.factorial;
  if (k <= 0) return 0.0;
  if (static_cast<std::size_t>(k) < table.size()) return table[static_cast<std::size_t>(k)];
  return std::lgamma(static_cast<double>(k) + 1.0);
}

// ln k from the prepared table, as LnFact; ln 0 is never wanted and reads 0.
double LnK(int64_t k) {
  const std::vector<double>& table = variables.logk;
  if (k <= 0) return 0.0;
  if (static_cast<std::size_t>(k) < table.size()) return table[static_cast<std::size_t>(k)];
  return std::log(static_cast<double>(k));
}

// count x ln q, with a count of zero weighing nothing even when q is 0
// (ln q = -inf would otherwise give NaN).
double Times(int64_t count, double logq) { return count == 0 ? 0.0 : static_cast<double>(count) * logq; }

// Offspring that have a father: in a haplodiploid sample only the diploid
// ones (haploid sons come from unfertilised eggs).
int32_t DiploidCount() {
  return variables.haplodiploid != 0 ? variables.smplsizedh(2) : variables.smplsize;
}

// Whether offspring i takes part in the families of sex k.
bool HasParentOfSex(int32_t i, int32_t k) {
  if (k != 1 || variables.haplodiploid == 0) return true;
  const Vec1<int8_t>& ploid = variables.offploid;
  return static_cast<std::size_t>(i) > ploid.size() || ploid(i) == 2;
}

// Whether the Ewens sibship-size term prices sex k with the scan bound.
bool EwensApplies(int32_t k, int32_t bound) {
  if (variables.priortype != 1 || bound < 1 || k > variables.numsex) return false;
  return !(k == 1 && DiploidCount() == 0);
}

// EwenPriorFac(k) x the Ewens log probability of the family sizes of sex k
// held in SibshipSizeDist, scanning sizes 1 .. bound.
double EwensTerm(int32_t k, int32_t bound) {
  const Variables& v = variables;
  const Mat1<int32_t>& dist = v.SibshipSizeDist;
  double sum = v.LogEwenConst(k);
  if (static_cast<std::size_t>(k) <= dist.cols()) {
    const int64_t last = std::min<int64_t>(bound, static_cast<int64_t>(dist.rows()));
    for (int64_t s = 1; s <= last; ++s) {
      const int32_t m = dist(s, k);
      if (m <= 0) continue;
      sum += static_cast<double>(m) * (v.LogEwenTheta(k) - LnK(s)) - LnFact(m);
    }
  }
  return v.EwenPriorFac(k) * sum;
}

// Proportion clamped to [0.001, 0.999]; a value that is not a number takes
// the lower end.
double ClampProportion(double p) {
  if (!(p >= 0.001)) return 0.001;
  return std::min(p, 0.999);
}

// Weight of the Ewens term under the Ne prior (type 4), by the mating
// system; a large sample from a small population drives it to zero or below.
double NePriorWeight(double n, double ne, double ratio) {
  // These coefficients are single-precision values.
  const double c02 = static_cast<double>(0.2f);
  const double c015 = static_cast<double>(0.15f);
  const double c06 = static_cast<double>(0.6f);
  const double c001 = static_cast<double>(0.01f);
  const double x = n / ne;
  const double r = std::max(ratio, 1.0 / ratio);
  const double tail = -c015 * std::log(x) - 10.0 * std::exp(-5.0 / x);
  if (variables.numsex == 1) return c02 * std::exp(-10.0 * x) + 0.65 + tail;
  const double sexratio = c001 * (1.0 - std::exp(-x)) * std::log(1.0 / r);
  if (variables.haplodiploid != 0) return sexratio + c06 * std::exp(-22.0 * x) + 0.7 + tail;
  return sexratio + c02 * std::exp(-10.0 * x) + 0.5 + tail;
}

// Expected number of parents of each sex under the Ne prior.
double NeExpectedParents(double n, double ne) {
  const double x = n / ne;
  double e = n - 70.0 * (1.003 - std::exp(-1.0 / ne)) + 0.2 * (1.0 - std::exp(-0.01 / x));
  if (variables.numsex == 1) {
    // ln(Ne) / e^(40/Ne), written with the exponent negated so that a tiny
    // Ne cannot overflow it.
    e = e - 0.05 * std::log(ne) * std::exp(-40.0 / ne) + 0.65 * std::exp(-7.5 * x);
  }
  return e;
}

}  // namespace

double EwenFunc(double theta, int32_t k) {
  const int32_t n = variables.smplsize;
  double expected = 0.0;
  if (theta > 0.0) {
    for (int32_t i = 0; i < n; ++i) expected += theta / (theta + static_cast<double>(i));
  } else if (n > 0) {
    expected = 1.0;  // the limit as theta falls to 0: all in one family
  }
  const double gap = expected - variables.ewenmeannumprnt(k);
  return gap * gap;
}

void SetEwenPrior() {
  Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const int32_t n = v.smplsize;

  // Informativeness of the markers: loci with at least two and at least
  // three observed alleles, and the allele counts of the codominant and
  // dominant ones. Without any polymorphic locus both ratios below are 0.
  int32_t l2 = 0, l3 = 0;
  double scod = 0.0, sdom = 0.0;
  const int32_t nloci = std::min<int32_t>(v.numloci, static_cast<int32_t>(lv.obsnumallele.size()));
  for (int32_t l = 1; l <= nloci; ++l) {
    const int32_t na = lv.obsnumallele(l);
    if (na < 2) continue;
    ++l2;
    if (na >= 3) ++l3;
    const bool dominant =
        static_cast<std::size_t>(l) <= v.dominantmarker.size() && v.dominantmarker(l) != 0;
    if (dominant) {
      sdom += na - 1;
    } else {
      scod += na;
    }
  }
  const double ratio3 = l2 > 0 ? static_cast<double>(l3) / l2 : 0.0;

  // Weight of the sampled-parent binomial term.
  const double rootn = n > 0 ? static_cast<double>(std::sqrt(static_cast<float>(n))) : 0.0;
  const double w0 = rootn > 0.0 ? (ratio3 * ratio3 * 0.5 + 0.02) / rootn : 0.0;
  Arr1<double, 2> p;
  for (int32_t k = 1; k <= 2; ++k) p(k) = ClampProportion(v.propprntsampled(k));
  if (v.numsex == 1) {
    // One pool of parents: the two proportions describe the same parents.
    const double pmean = 0.5 * (p(1) + p(2));
    const double umean = 0.5 * (v.propprntsampled(1) + v.propprntsampled(2));
    p.fill(pmean);
    v.PrntWeight.fill(w0 * umean * umean * umean);
  } else {
    for (int32_t k = 1; k <= 2; ++k) {
      const double u = v.propprntsampled(k);
      v.PrntWeight(k) = w0 * u * u * u;
    }
  }
  v.PrntLogPrb.assign(2, 2, 0.0);
  for (int32_t k = 1; k <= 2; ++k) {
    v.PrntLogPrb(1, k) = std::log(p(k));
    v.PrntLogPrb(2, k) = std::log(1.0 - p(k));
  }

  if (v.priortype == 0) return;

  const double dn = n;
  if (v.priortype <= 3) {
    const double r = (scod + sdom) > 0.0 ? sdom / (scod + sdom) : 0.0;
    const bool full = v.fulllikelihoodmethodq == 1;
    const double c = full ? 1.0 : 1.5;
    double fac = std::sqrt(dn) * std::pow(c * r + 2.0, v.priortype - 1) * 0.125 * 0.128 /
                 static_cast<double>(3 - v.numsex);
    if (!full) fac *= 1.5;
    v.EwenPriorFac.fill(fac);
    // The user gave mean sibship sizes; the prior wants numbers of parents.
    for (int32_t k = 1; k <= 2; ++k) {
      v.ewenmeannumprnt(k) = dn / std::max(1.0, v.ewenmeannumprnt(k));
    }
  } else {
    const double ne = v.ewenmeannumprnt(1);
    const double f = NePriorWeight(dn, ne, v.ewenmeannumprnt(2));
    if (!(f > 1e-300)) {
      // The sample says nothing the prior could sharpen: drop it, and with
      // it the scaling of full-sibship sizes.
      v.priortype = 0;
      v.fsscaleq = 0;
      return;
    }
    v.EwenPriorFac.fill(f);
    const double e = NeExpectedParents(dn, ne);
    for (int32_t k = 1; k <= 2; ++k) {
      double target = e;
      if (target >= dn) {
        target = dn - 0.05;
      } else if (target < 1.0) {
        target = 1.0;
      }
      v.ewenmeannumprnt(k) = target;
    }
  }
  v.priortype = 1;

  // The Ewens parameter of each sex makes the expected number of families
  // equal to the expected number of parents.
  const int64_t m = static_cast<int64_t>(3 - v.numsex) * n;
  for (int32_t k = 1; k <= 2; ++k) {
    double theta = 1.0;
    Brent(0.01, 1.0, 100000.0, [k](double t) { return EwenFunc(t, k); }, 0.001, theta);
    v.LogEwenTheta(k) = std::log(theta);
    double rising = 0.0;  // ln theta (theta + 1) ... (theta + m - 1)
    for (int64_t i = 0; i < m; ++i) rising += std::log(static_cast<double>(i) + theta);
    v.LogEwenConst(k) = LnFact(m) - rising;
  }
}

void SibshipSize(const Arr1<int32_t, 3>& numfamily, int32_t mode) {
  Variables& v = variables;
  const int32_t n = std::max(v.smplsize, 0);
  const std::size_t rows =
      std::max<std::size_t>(1, static_cast<std::size_t>(3 - v.numsex) * static_cast<std::size_t>(n));
  Mat1<int32_t>& dist = v.SibshipSizeDist;
  if (dist.rows() != rows || dist.cols() != 2) dist.assign(rows, 2, 0);
  for (int32_t k = 1; k <= 2; ++k) {
    if (mode != 0 && mode != k) continue;
    for (std::size_t s = 1; s <= rows; ++s) dist(static_cast<long>(s), k) = 0;
  }
  const Mat1<int32_t>* loc = v.IndivLocPrt;
  if (loc == nullptr || loc->empty() || loc->cols() < 2) return;
  const int32_t last = std::min<int32_t>(n, static_cast<int32_t>(loc->rows()));

  // Offspring of every family of the given columns, tallied by size into
  // column k of the distribution.
  auto tally = [&](int32_t k, int32_t col1, int32_t col2, int32_t hint) {
    int32_t top = std::max(hint, 0);
    for (int32_t i = 1; i <= last; ++i) {
      top = std::max(top, (*loc)(i, col1));
      top = std::max(top, (*loc)(i, col2));
    }
    std::vector<int32_t> members(static_cast<std::size_t>(top) + 1, 0);
    for (int32_t i = 1; i <= last; ++i) {
      if (!HasParentOfSex(i, k)) continue;
      const int32_t f1 = (*loc)(i, col1);
      if (f1 > 0) ++members[static_cast<std::size_t>(f1)];
      if (col2 != col1) {
        const int32_t f2 = (*loc)(i, col2);
        if (f2 > 0) ++members[static_cast<std::size_t>(f2)];
      }
    }
    for (std::size_t f = 1; f < members.size(); ++f) {
      const int32_t size = members[f];
      if (size > 0 && static_cast<std::size_t>(size) <= rows) ++dist(size, k);
    }
  };

  if (v.numsex == 1) {
    // One pool of parents: a parent's offspring are counted over both
    // columns (a selfed offspring twice), into column 1.
    if (mode == 0 || mode == 1) tally(1, 1, 2, std::max(numfamily(1), numfamily(2)));
    return;
  }
  for (int32_t k = 1; k <= 2; ++k) {
    if (mode != 0 && mode != k) continue;
    tally(k, k, k, numfamily(k));
  }
}

double PriorValue(int32_t k, int32_t a, int32_t b, int32_t f, int32_t maxsize, int32_t s) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  double prior = 0.0;
  const int32_t c = v.numchild(k);
  if (c > 0) {
    const int32_t nk = k == 1 ? DiploidCount() : n;
    const int32_t known = v.numknownprnt(k);
    // Ways of choosing the assigned candidates, and each family's parent
    // being sampled (assigned) or not; known parents are fixed.
    prior = LnFact(std::max(c - a, 0)) - LnFact(c) + Times(a, v.LogPrior(1, k)) +
            Times(static_cast<int64_t>(f) - known - a, v.LogPrior(2, k));
    // Offspring with a sampled parent against the proportion sampled.
    const int32_t d = std::clamp(v.numknownprnt(k + 2) + b, 0, std::max(nk, 0));
    prior += v.PrntWeight(k) * (LnFact(nk) - LnFact(nk - d) - LnFact(d) +
                                static_cast<double>(nk - d) * v.PrntLogPrb(2, k) +
                                static_cast<double>(d) * v.PrntLogPrb(1, k));
    if (b > 0) {
      const double e = v.fulllikelihoodmethodq == 1 ? 0.1 : 0.5;
      prior += e * (LnK(c) + LnK(n)) * v.PrntLogPrb(1, k) * LnK(static_cast<int64_t>(b) + 1);
    }
  }
  if (v.numsex == v.allowinbreeding) {
    // One sex with selfing: the two columns price the same parents, so each
    // carries half; the selfed offspring are priced once, with sex 1.
    prior *= 0.5;
    if (k == 1 && n > 0) {
      const int32_t selfed = std::clamp(s, 0, n);
      const double dn = n;
      prior += 0.125 * (static_cast<double>(selfed) * std::log(1.0 - 0.999999 / dn) + LnFact(n) -
                        LnFact(selfed) - LnFact(n - selfed) - static_cast<double>(n - selfed) * LnK(n));
    }
  }
  if (EwensApplies(k, maxsize)) prior += EwensTerm(k, maxsize);
  return prior;
}

double ConfigurationPrior(Arr1<int32_t, 4>& counts, double& prior, int32_t maxsize,
                          const Arr1<int32_t, 3>& numfamily) {
  Variables& v = variables;
  if (v.priortype == 1) SibshipSize(numfamily, 0);

  // Numbers of families (distinct indices of each column, or of both
  // columns with one pool of parents) and of selfed offspring. With dense
  // family numbers that is the largest index; a proposal is priced before
  // its families are renumbered, when the family it emptied still leaves a
  // gap below the new one it opened, and then only the count is right.
  Arr1<int32_t, 2> families;
  families.fill(0);
  int32_t selfed = 0;
  const Mat1<int32_t>* loc = v.IndivLocPrt;
  if (loc != nullptr && !loc->empty() && loc->cols() >= 2) {
    const int32_t last = std::min<int32_t>(v.smplsize, static_cast<int32_t>(loc->rows()));
    const bool selfing = v.numsex == 1 && v.allowinbreeding == 1;
    static std::vector<int32_t> seen;  // stamp of the column that last met each index
    int32_t largest = 0;
    for (int32_t i = 1; i <= last; ++i) largest = std::max({largest, (*loc)(i, 1), (*loc)(i, 2)});
    seen.assign(static_cast<std::size_t>(largest) + 1, 0);
    for (int32_t k = 1; k <= 2; ++k) {
      // One pool: the second column counts only indices the first lacks.
      const int32_t stamp = v.numsex == 1 ? 1 : k;
      for (int32_t i = 1; i <= last; ++i) {
        const int32_t f = (*loc)(i, k);
        if (f < 1 || seen[static_cast<std::size_t>(f)] == stamp) continue;
        seen[static_cast<std::size_t>(f)] = stamp;
        ++families(v.numsex == 1 ? 1 : k);
      }
    }
    for (int32_t i = 1; i <= last && selfing; ++i) {
      const int32_t f1 = (*loc)(i, 1);
      if (f1 > 0 && f1 == (*loc)(i, 2)) ++selfed;
    }
    if (v.numsex == 1) families(2) = families(1);
  }

  FindAssignment(counts);
  prior = PriorValue(1, counts(1), counts(3), families(1), maxsize, selfed) +
          PriorValue(2, counts(2), counts(4), families(2), maxsize, selfed);
  return prior;
}

double NewEwenPrior(const Arr1<int32_t, 2>& bounds) {
  double prior = 0.0;
  for (int32_t k = 1; k <= 2; ++k) {
    if (EwensApplies(k, bounds(k))) prior += EwensTerm(k, bounds(k));
  }
  return prior;
}

bool PriorMatters() {
  return variables.priortype == 1 || variables.numchild(1) + variables.numchild(2) > 0;
}

double CurrentLogPrior() {
  if (!PriorMatters()) return 0.0;
  Variables& v = variables;
  Mat1<int32_t>* loc = v.IndivLocPrt;
  Mat1<int32_t>* parents = v.InferParentPrt;
  v.IndivLocPrt = &v.CrIndivLoc;
  v.InferParentPrt = &v.InferParent;
  Arr1<int32_t, 4> counts;
  double prior = 0.0;
  // Any bound on the family sizes not below the largest family serves.
  ConfigurationPrior(counts, prior, 2 * v.smplsize, v.CrNumFamily);
  v.IndivLocPrt = loc;
  v.InferParentPrt = parents;
  return prior;
}
