// Effective population size from the sibship frequencies of the result.
//
// The sibling pairs of a configuration estimate 1/(2 Ne) directly; the
// archive of good configurations supplies the uncertainty of the counts
// (a configuration drawn by its posterior weight, then Poisson counts around
// it), and a simulation of family sizes turns the spread into an interval.
// A second estimate comes from the excess of heterozygotes among the
// offspring, which a small parental population leaves behind.
#include "results/ne.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "genotype/genotype_codes.h"
#include "numeric/random.h"
#include "numeric/sorting.h"
#include "results/fixed_fields.h"
#include "runctl/file_io.h"
#include "search/archive.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/nevariables.h"
#include "state/variables.h"

namespace {

constexpr int32_t kReplicates = 1000;

int64_t Pairs(int64_t k) { return k * (k - 1) / 2; }

// A count or bound as a 32-bit value: anything beyond stands for infinity,
// and sizes below 1 mean nothing.
int32_t ClampSize(double x, int32_t floor) {
  if (std::isnan(x) || x >= static_cast<double>(kNeInfinite)) return kNeInfinite;
  if (x <= static_cast<double>(floor)) return floor;
  return static_cast<int32_t>(x);
}

int32_t ClampCount(int64_t x) {
  return static_cast<int32_t>(std::clamp<int64_t>(x, 0, kNeInfinite));
}

// The uniform, normal and Poisson streams restarted from the project seed
// for the estimation and given back afterwards: the intervals then depend
// on the seed and the result only, not on how far the search (or a resumed
// search, or any number of processes) took the streams.
class SeededStreams {
 public:
  SeededStreams() : saved_(variables) {
    Variables& v = variables;
    const int32_t seed = v.newseed != 0 ? v.newseed : v.i_seed;
    v.idum = seed == 0 ? -1 : -std::abs(seed == INT32_MIN ? INT32_MAX : seed);
    v.gasdeviset = 0;
    v.poidevoldm = -1.0f;
  }
  ~SeededStreams() {
    Variables& v = variables;
    v.idum = saved_.idum;
    v.ran1ix = saved_.ran1ix;
    v.ran1iy = saved_.ran1iy;
    v.gasdeviset = saved_.gasdeviset;
    v.gasdevgset = saved_.gasdevgset;
    v.poidevoldm = saved_.poidevoldm;
    v.poidevsq = saved_.poidevsq;
    v.poidevalxm = saved_.poidevalxm;
    v.poidevg = saved_.poidevg;
  }
  SeededStreams(const SeededStreams&) = delete;
  SeededStreams& operator=(const SeededStreams&) = delete;

 private:
  struct State {
    explicit State(const Variables& v)
        : idum(v.idum), ran1ix(v.ran1ix), ran1iy(v.ran1iy), gasdeviset(v.gasdeviset), gasdevgset(v.gasdevgset),
          poidevoldm(v.poidevoldm), poidevsq(v.poidevsq), poidevalxm(v.poidevalxm), poidevg(v.poidevg) {}
    int32_t idum, ran1ix, ran1iy, gasdeviset;
    float gasdevgset, poidevoldm, poidevsq, poidevalxm, poidevg;
  } saved_;
};

// Family sizes of the simulation: Poisson(2) cut at 12, cumulative
// probabilities of sizes 0..12 (size 0 is drawn again).
constexpr double kSizeCum[13] = {0.13533528, 0.40600585, 0.67667642, 0.85712346, 0.94734698, 0.98343639, 0.99546619,
                                 0.99890328, 0.99976255, 0.9999535,  0.99999169, 0.99999863, 1.01};

int32_t DrawFamilySize() {
  for (;;) {
    const double u = ran1();
    int32_t k = 0;
    while (k < 12 && u >= kSizeCum[k]) ++k;
    if (k > 0) return k;
  }
}

// Moments of one family's size k and pairs k(k-1)/2 under the draw above.
struct SizeMoments {
  double ms = 0, mq = 0, sds = 0, sdq = 0, rho = 0;
  SizeMoments() {
    const double kept = 1.0 - kSizeCum[0];
    double es = 0, eq = 0, ess = 0, eqq = 0, esq = 0;
    for (int32_t k = 1; k <= 12; ++k) {
      const double p = ((k == 12 ? 1.0 : kSizeCum[k]) - kSizeCum[k - 1]) / kept;
      const double q = k * (k - 1) / 2.0;
      es += p * k;
      eq += p * q;
      ess += p * k * k;
      eqq += p * q * q;
      esq += p * k * q;
    }
    ms = es;
    mq = eq;
    sds = std::sqrt(ess - es * es);
    sdq = std::sqrt(eqq - eq * eq);
    rho = (esq - es * eq) / (sds * sdq);
  }
};

// The simulated Ne of one sample of m individuals: families are added until
// the individuals reach m. While at least kBatch families still fit whole,
// a batch of them is added at once with the normal limit of its summed
// sizes and pairs (thousands of families: the sums are as good as normal),
// so that samples of tens of millions cost no more than small ones; the
// last families are drawn one by one.
double SimulatedNe(int64_t m) {
  static const SizeMoments mom;
  constexpr int64_t kBatch = 4096;
  int64_t n = 0, p = 0;
  while ((m - n) / 12 >= kBatch) {
    const double b = static_cast<double>((m - n) / 12);
    const double z1 = GasDev(), z2 = GasDev();
    const double s = b * mom.ms + std::sqrt(b) * mom.sds * z1;
    const double q = b * mom.mq + std::sqrt(b) * mom.sdq * (mom.rho * z1 + std::sqrt(1.0 - mom.rho * mom.rho) * z2);
    n += std::max<int64_t>(std::llround(s), 1);
    p += std::max<int64_t>(std::llround(q), 0);
  }
  while (n < m) {
    const int64_t k = DrawFamilySize();
    n += k;
    p += Pairs(k);
  }
  if (p == 0) return static_cast<double>(kNeInfinite);
  return static_cast<double>(n) * static_cast<double>(n - 1) / static_cast<double>(p);
}

// Size of a label table covering every label of column col.
std::size_t LabelSpan(const Mat1<int32_t>& loc, int32_t col, int32_t n) {
  int32_t top = 0;
  for (int32_t i = 1; i <= n; ++i) top = std::max(top, loc(i, col));
  return static_cast<std::size_t>(top) + 1;
}

// Σ k(k-1)/2 over the families of column col, of the offspring that pass.
template <class Keep>
int64_t FamilyPairs(const Mat1<int32_t>& loc, int32_t col, int32_t n, Keep keep) {
  std::vector<int64_t> size(LabelSpan(loc, col, n), 0);
  for (int32_t i = 1; i <= n; ++i) {
    if (keep(i) && loc(i, col) >= 1) ++size[static_cast<std::size_t>(loc(i, col))];
  }
  int64_t total = 0;
  for (const int64_t k : size) total += Pairs(k);
  return total;
}

bool Diploid(int32_t i) { return !HaploidOffspring(i); }

// The 95% two-sided Student t quantiles for 1..50 degrees of freedom.
constexpr double kT95[50] = {12.71, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                             2.201, 2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086,
                             2.080, 2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042,
                             2.040, 2.037, 2.035, 2.032, 2.030, 2.028, 2.026, 2.024, 2.023, 2.021,
                             2.020, 2.018, 2.017, 2.015, 2.014, 2.013, 2.012, 2.011, 2.010, 2.009};

std::string Rule() { return std::string(100, '-'); }

std::string Heading(const std::string& text) {
  return text.size() >= 100 ? text : text + std::string(100 - text.size(), ' ');
}

}  // namespace

Arr1<int32_t, 3> SibPairCounts(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  Arr1<int32_t, 3> out;
  out.fill(0);
  if (n < 1 || loc.rows() < static_cast<std::size_t>(n) || loc.cols() < 2) return out;

  // Offspring that are themselves the assigned parents of others.
  int64_t e = 0;
  if (parents.rows() >= static_cast<std::size_t>(n) && parents.cols() >= 2) {
    for (int32_t k = 1; k <= 2; ++k) {
      const Vec1<int32_t>& isOffspring = v.cndinoffspring(k);
      if (std::none_of(isOffspring.begin(), isOffspring.end(), [](int32_t x) { return x != 0; })) continue;
      std::vector<char> seen(isOffspring.size() + 1, 0);
      for (int32_t i = 1; i <= n; ++i) {
        if (k == 1 && HaploidOffspring(i)) continue;
        const int32_t c = parents(i, k);
        if (c < 1 || static_cast<std::size_t>(c) > isOffspring.size() || isOffspring(c) == 0) continue;
        if (seen[static_cast<std::size_t>(c)] == 0) ++e;
        seen[static_cast<std::size_t>(c)] = 1;
      }
    }
  }
  out(3) = ClampCount(e);

  int64_t nh = 0;
  for (int32_t i = 1; i <= n; ++i) nh += HaploidOffspring(i) ? 1 : 0;
  const auto all = [](int32_t) { return true; };

  if (nh == 0) {
    if (v.numsex == 1) {
      // One pool of parents: a pair counts once for each of the four ways
      // its two parents can coincide. Over unordered pairs, the two crossed
      // comparisons add up to the ordered pairs whose mother of one is the
      // father of the other, that is Σ a_x b_x less the selfed offspring.
      const std::size_t span = std::max(LabelSpan(loc, 1, n), LabelSpan(loc, 2, n));
      std::vector<int64_t> a(span, 0), b(span, 0);
      int64_t selfed = 0;
      for (int32_t i = 1; i <= n; ++i) {
        const int32_t f = loc(i, 1), m = loc(i, 2);
        if (f >= 1) ++a[static_cast<std::size_t>(f)];
        if (m >= 1) ++b[static_cast<std::size_t>(m)];
        if (f >= 1 && f == m) ++selfed;
      }
      int64_t c1 = -selfed;
      for (std::size_t x = 0; x < span; ++x) c1 += Pairs(a[x]) + Pairs(b[x]) + a[x] * b[x];
      out(1) = ClampCount(c1);
      return out;
    }
    const int64_t c1 = FamilyPairs(loc, 1, n, all);
    if (v.allmonogamy != 0 && v.haplodiploid == 0) {
      out(1) = out(2) = ClampCount(c1);
      return out;
    }
    int64_t c2 = FamilyPairs(loc, 2, n, all);
    if (v.haplodiploid == 1) c2 *= 4;
    out(1) = ClampCount(c1);
    out(2) = ClampCount(c2);
    return out;
  }

  // Haploid sons share only their mother: the pairs of each kind are scaled
  // up to all pairs of the sample, the maternal kinds pooled with weights
  // by their numbers of pairs.
  const int64_t nd = n - nh;
  const int64_t d1 = FamilyPairs(loc, 1, n, Diploid);
  const int64_t d2 = FamilyPairs(loc, 2, n, Diploid);
  std::vector<int64_t> sd(LabelSpan(loc, 2, n), 0), sh(sd.size(), 0);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t m = loc(i, 2);
    if (m < 1) continue;
    ++(HaploidOffspring(i) ? sh : sd)[static_cast<std::size_t>(m)];
  }
  int64_t h = 0, mixed = 0;
  for (std::size_t x = 0; x < sd.size(); ++x) {
    h += Pairs(sh[x]);
    mixed += sd[x] * sh[x];
  }
  const double P = static_cast<double>(Pairs(n));
  const int64_t pd = Pairs(nd), ph = Pairs(nh);
  // Without two diploid offspring no paternal pair can be seen.
  const double c1 = pd > 0 ? std::round(static_cast<double>(d1) * P / static_cast<double>(pd)) : 0.0;
  const double wd = static_cast<double>(pd) + 0.01, wh = static_cast<double>(ph) + 0.01;
  const double wm = static_cast<double>(nd * nh) + 0.01;
  const double factor = nh == 1 ? 4.0 / 3.0 : 4.0;
  const double c2 = std::round(P * factor * (static_cast<double>(d2) * wd + static_cast<double>(h) * wh +
                                             static_cast<double>(mixed) * wm) /
                               (wd * wd + wh * wh + wm * wm));
  out(1) = ClampSize(c1, 0);
  out(2) = ClampSize(c2, 0);
  return out;
}

int32_t NeValue(const Arr1<int32_t, 2>& c, double alfa, int32_t e) {
  const Variables& v = variables;
  if (c(1) == 0 && c(2) == 0) return kNeInfinite;
  const double N = static_cast<double>(v.smplsize) - static_cast<double>(e);
  const double P = N * (N - 1.0) / 2.0;
  // Fewer than two offspring left: no pair to learn from.
  if (!(P > 0.0)) return kNeInfinite;
  const double c1 = c(1), c2 = c(2);
  double x = 0.0;
  if (v.numsex == 1) {
    const double s = 2.0 * alfa / (alfa + 1.0);
    const double t = c1 + c2;
    if (s <= 0.5) {
      x = t * 0.25 * (alfa + 1.0) / P;
    } else {
      const double b = t * 0.25 / P;
      if (s <= 0.9) {
        const double d = s - 0.5;
        x = b * (6.0 * d * d + 1.05 - 2.0 * d - 5.0 * d * d * d - 15.0 * d * d * d * d);
      } else {
        const double d = s - 0.9;
        x = b * (0.5 - d - 35.0 * d * d + 300.0 * d * d * d - 200.0 * d * d * d * d);
      }
    }
  } else if (v.haplodiploid == 1) {
    x = (2.0 * c1 + (3.0 * alfa + 1.0) * c2) / (9.0 * P);
  } else {
    x = (3.0 * alfa + 1.0) * 0.25 * (c1 + c2) / P;
  }
  if (!(x > 4.656612875245797e-10)) return kNeInfinite;
  return ClampSize(std::round(1.0 / x), 1);
}

double AlfaProb(double alfa) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const NeVariables& nv = nevariables;
  const auto logx = [](double y) { return y <= 1e-300 ? -1e300 : std::log(y); };
  double sum = 0.0;
  for (int32_t l = 1; l <= static_cast<int32_t>(nv.alfacount.size()); ++l) {
    const std::vector<int64_t>& count = nv.alfacount(l);
    if (count.empty()) continue;
    const std::vector<double>& p = lv.obsallelefre(l);
    if (v.dominantmarker(l) != 0) {
      // Phenotype 2 shows a recessive homozygote, of probability
      // q (q (1 - alfa) + alfa); phenotype 1 all the rest.
      const double q = p.size() >= 2 ? p[1] : 0.0;
      const double hom = q * (1.0 - alfa) + alfa;
      if (count[0] > 0) sum += static_cast<double>(count[0]) * logx(1.0 - q * hom);
      if (count[1] > 0) sum += static_cast<double>(count[1]) * logx(hom);
    } else {
      const std::size_t na = count.size() - 1;
      for (std::size_t k = 0; k < na; ++k) {
        if (count[k] > 0) sum += static_cast<double>(count[k]) * logx(p[k] * (1.0 - alfa) + alfa);
        if (sum <= -1e300) return 1e300;
      }
      if (count[na] > 0) sum += static_cast<double>(count[na]) * logx(1.0 - alfa);
    }
    if (sum <= -1e300) return 1e300;
  }
  return -sum;
}

double AlfaEstimate() {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  NeVariables& nv = nevariables;
  const int32_t nloci = std::min<int32_t>(v.numloci, static_cast<int32_t>(lv.obsnumallele.size()));
  nv.alfacount.assign(static_cast<std::size_t>(std::max(nloci, 0)));
  for (int32_t l = 1; l <= nloci; ++l) {
    const int32_t na = lv.obsnumallele(l);
    if (na < 2 || static_cast<std::size_t>(l) > v.indivgtype.size() || lv.obsallelefre(l).size() < 2) continue;
    const bool dominant = v.dominantmarker(l) != 0;
    std::vector<int64_t>& count = nv.alfacount(l);
    count.assign(dominant ? 2 : static_cast<std::size_t>(na) + 1, 0);
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      if (HaploidOffspring(i)) continue;
      const auto [a, b] = ObservedGenotype(0, i, l);
      if (a < 1) continue;
      if (dominant) {
        if (a <= 2) ++count[static_cast<std::size_t>(a - 1)];
      } else if (a == b) {
        ++count[static_cast<std::size_t>(a - 1)];
      } else if (b >= 1) {
        ++count[static_cast<std::size_t>(na)];
      }
    }
  }
  double best = std::numeric_limits<double>::infinity();
  double alfa = 0.0;
  for (int32_t g = 0; g <= 100; ++g) {
    const double a = g * 0.01;
    const double value = AlfaProb(a);
    if (value < best) {
      best = value;
      alfa = a;
    }
    if (g > 0 && value > 1e250) break;
  }
  return alfa;
}

void GeneticSampling(int32_t ne, float sd, int32_t& lower, int32_t& upper) {
  if (ne > 2147483600) {
    lower = 1;
    upper = kNeInfinite;
    return;
  }
  const double centre = 0.5 / std::max(ne, 1);
  Vec1<double> value(kReplicates, 0.0);
  for (int32_t r = 1; r <= kReplicates; ++r) {
    const double x = centre + static_cast<double>(sd) * static_cast<double>(GasDev());
    if (x <= 1e-8) {
      value(r) = static_cast<double>(kNeInfinite);
      continue;
    }
    value(r) = SimulatedNe(std::llround(0.5 / x));
  }
  Vec1<int32_t> index;
  Indexx(kReplicates, value, index);
  lower = ClampSize(std::round(value(index(25))), 1);
  upper = ClampSize(std::round(value(index(975))), 1);
}

void HeterozygoteExcess(int32_t& ne, int32_t& lower, int32_t& upper) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  ne = kNeInfinite;
  lower = 0;
  upper = kNeInfinite;
  const int32_t n = v.smplsize;
  if (n < 1) return;
  const double dn = n;
  const int32_t nloci = std::min<int32_t>(v.numloci, static_cast<int32_t>(lv.obsnumallele.size()));
  std::vector<double> dl, invl;  // per contributing locus: D_l and 1/Ne_l
  for (int32_t l = 1; l <= nloci; ++l) {
    const int32_t na = lv.obsnumallele(l);
    if (na < 2 || v.dominantmarker(l) != 0 || static_cast<std::size_t>(l) > v.indivgtype.size()) continue;
    std::vector<int64_t> copies(static_cast<std::size_t>(na) + 1, 0), het(copies.size(), 0);
    int64_t total = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const auto [a, b] = ObservedGenotype(0, i, l);
      if (a < 1 || b < 1 || a > na || b > na) continue;
      ++copies[static_cast<std::size_t>(a)];
      ++copies[static_cast<std::size_t>(b)];
      total += 2;
      if (a != b) {
        ++het[static_cast<std::size_t>(a)];
        ++het[static_cast<std::size_t>(b)];
      }
    }
    if (total == 0) continue;
    double sum = 0.0;
    int32_t used = 0;
    for (int32_t k = 1; k <= na; ++k) {
      const double h = static_cast<double>(het[static_cast<std::size_t>(k)]) / dn;
      if (h < 1e-10) continue;
      const double p = static_cast<double>(copies[static_cast<std::size_t>(k)]) / static_cast<double>(total);
      sum += h / (p * (1.0 - p) * 4.0 * dn / (2.0 * dn - 1.0)) - 1.0;
      ++used;
    }
    if (used == 0) continue;
    const double d = sum / used;
    // 1/Ne_l is undefined where D_l is 0 or -1.
    if (std::fabs(d) < 1e-12 || std::fabs(d + 1.0) < 1e-12) continue;
    dl.push_back(d);
    invl.push_back(2.0 / (1.0 / d + 1.0 / (d + 1.0)));
  }
  const auto L = static_cast<int32_t>(dl.size());
  if (L == 0) return;
  double d = 0.0;
  for (const double x : dl) d += x;
  d /= L;
  // A deficit of heterozygotes (or none in excess) says nothing of a small
  // parental population.
  if (!(d > 0.0)) return;
  ne = ClampSize(std::round(0.5 / d + 0.5 / (d + 1.0)), 1);
  if (ne == kNeInfinite) return;
  const double m = 1.0 / ne;
  double sq = 0.0;
  for (const double x : invl) sq += x * x;
  const double var = std::fabs(sq / L - m * m);
  const double t = L < 52 ? kT95[std::max(L - 1, 1) - 1] : 1.96;
  const double h = t * std::sqrt(var) / std::sqrt(static_cast<double>(L));
  upper = m - h > 0.0 ? ClampSize(std::round(1.0 / (m - h)), 1) : kNeInfinite;
  lower = ClampSize(std::round(1.0 / (m + h)), 0);
}

void SibNe() {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  if (v.displayq != 0) std::cout << "Estimating Ne by sibship frequencies..." << std::endl;

  const std::string method = v.fulllikelihoodmethodq != 0 ? "Estimates by Pedkin full likelihood method"
                                                          : "Estimates by Pedkin pair-likelihood score method";
  const std::string heading[2] = {method + " : Assuming random mating", method + " : Assuming nonrandom mating"};
  double alfa[2] = {0.0, 0.0};
  if (v.smplsizedh(2) > 0) alfa[1] = AlfaEstimate();

  SeededStreams streams;

  // The classes of distinct counts with their summed weights, and the
  // counts of the first (the best) configuration.
  std::vector<Arr1<int32_t, 3>> classes;
  std::vector<double> weight;
  std::map<std::tuple<int32_t, int32_t, int32_t>, std::size_t> classOf;
  Arr1<int32_t, 3> first;
  first.fill(0);
  const auto add = [&](const Arr1<int32_t, 3>& c, double w) {
    if (classes.empty()) first = c;
    const auto [at, added] = classOf.emplace(std::make_tuple(c(1), c(2), c(3)), classes.size());
    if (added) {
      classes.push_back(c);
      weight.push_back(0.0);
    }
    weight[at->second] += w;
  };

  // Any common reference gives the same shares; the largest log likelihood
  // keeps every weight finite.
  std::vector<const ConfigRecord*> records;
  double ref = -1e300;
  for (const ConfigRecord& r : v.ConfigArchive) {
    if (r.paternal.size() != static_cast<std::size_t>(std::max(n, 0)) || std::isnan(r.logl)) continue;
    records.push_back(&r);
    ref = std::max(ref, r.logl);
  }
  if (records.empty()) {
    // Nothing archived: the best configuration stands alone.
    if (v.BtIndivLoc.rows() >= static_cast<std::size_t>(std::max(n, 0)) && v.BtIndivLoc.cols() >= 2) {
      add(SibPairCounts(v.BtIndivLoc, v.BtInferParent), 1.0);
    }
  } else {
    Mat1<int32_t> parents;
    for (const ConfigRecord* r : records) {
      double logl = 0.0;
      ConvertConfig(*r, logl);
      const Mat1<int32_t>& loc = variables.OffTgt;
      const Mat1<int32_t>& prnt = variables.PrntTgt;
      parents.assign(static_cast<std::size_t>(n), 2, 0);
      for (int32_t i = 1; i <= n; ++i) {
        for (int32_t k = 1; k <= 2; ++k) {
          const int32_t f = loc(i, k);
          if (f >= 1 && static_cast<std::size_t>(f) <= prnt.rows() && prnt.cols() >= 2) parents(i, k) = prnt(f, k);
        }
      }
      add(SibPairCounts(loc, parents), std::exp(r->logl - ref));
    }
  }
  if (classes.empty()) add(first, 1.0);

  int32_t ne[2], lower[2], upper[2];
  for (int32_t k = 0; k < 2; ++k) ne[k] = NeValue({{first(1), first(2)}}, alfa[k], first(3));

  // Cumulative shares of the classes.
  const auto nclass = static_cast<int32_t>(classes.size());
  double total = 0.0;
  for (const double w : weight) total += w;
  Vec1<float> cum(static_cast<std::size_t>(nclass), 0.0f);
  double run = 0.0;
  for (int32_t j = 1; j <= nclass; ++j) {
    run += weight[static_cast<std::size_t>(j - 1)] / total;
    cum(j) = static_cast<float>(run);
  }
  cum(nclass) = 1.0001f;

  double sx[2] = {0, 0}, sxx[2] = {0, 0};
  for (int32_t r = 0; r < kReplicates; ++r) {
    int32_t j = 1;
    if (nclass > 1) j = std::min(Locate(cum, nclass, ran1()) + 1, nclass);
    const Arr1<int32_t, 3>& c = classes[static_cast<std::size_t>(j - 1)];
    const Arr1<int32_t, 2> draw{{ClampSize(std::round(PoiDev(static_cast<float>(c(1)))), 0),
                                 ClampSize(std::round(PoiDev(static_cast<float>(c(2)))), 0)}};
    for (int32_t k = 0; k < 2; ++k) {
      const float x = 0.5f / static_cast<float>(NeValue(draw, alfa[k], c(3)));
      sx[k] += x;
      sxx[k] += static_cast<double>(x) * x;
    }
  }
  for (int32_t k = 0; k < 2; ++k) {
    const double mean = sx[k] * 0.001, mean2 = sxx[k] * 0.001;
    const auto sd = static_cast<float>(std::sqrt(std::fabs(mean2 - mean * mean)));
    GeneticSampling(ne[k], sd, lower[k], upper[k]);
  }

  int32_t hne = kNeInfinite, hlower = 0, hupper = kNeInfinite;
  HeterozygoteExcess(hne, hlower, hupper);

  using fixed_fields::Fixed;
  using fixed_fields::Int;
  AtomicTextFile out(v.fname + ".Ne");
  for (int32_t k = 0; k < 2; ++k) {
    out << Rule() << '\n' << Heading(heading[k]) << '\n' << Rule() << '\n';
    out << "Alpha   =" << Fixed(alfa[k], 14, 2) << '\n';
    out << "Ne      =" << Int(ne[k], 14) << '\n';
    out << "CI95(L) =" << Int(lower[k], 14) << '\n';
    out << "CI95(U) =" << Int(upper[k], 14) << '\n';
  }
  out << '\n' << Rule() << '\n' << Heading("Estimates by heterozygote excess method") << '\n' << Rule() << '\n';
  out << "Ne(Het) =" << Int(hne, 14) << '\n';
  out << "CI95(L) =" << Int(hlower, 14) << '\n';
  out << "CI95(U) =" << Int(hupper, 14) << '\n';
  out.Commit();
}
