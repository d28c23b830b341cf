// The configuration prior: the Ewens sibship-size term against the Ewens
// sampling formula (over every partition of small samples, and from the
// family sizes of small configurations of every mating system), the Ewens
// parameter against its target number of parents, the set-up constants and
// their edge cases (no polymorphic locus, proportions 0 and 1, weak Ne
// priors, targets out of range), the parentage term against hand-worked
// values, selfing, the counts and size distribution of small hand-made
// configurations, and the largest sample.
#include "search/prior.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "input/data_preparation.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using PriorTestSetUp = PedkinTest;
using PriorTestEwens = PedkinTest;
using PriorTestValue = PedkinTest;
using PriorTestConfig = PedkinTest;
using PriorTestLarge = PedkinTest;

// A sample of n offspring (all diploid) with the given candidates, and the
// working tables that data preparation makes for it.
void Sample(int32_t n, int32_t numsex, int32_t fathers = 0, int32_t mothers = 0) {
  Variables& v = variables;
  v.smplsize = n;
  v.numsex = numsex;
  v.numchild(1) = fathers;
  v.numchild(2) = mothers;
  v.smplsizedh(1) = 0;
  v.smplsizedh(2) = n;
  v.offploid.assign(static_cast<std::size_t>(n), 2);
  Initialize();
}

// Loci with the given numbers of observed alleles; dominant(l) marks the
// dominant ones.
void Loci(const std::vector<int32_t>& alleles, const std::vector<int8_t>& dominant) {
  variables.numloci = static_cast<int32_t>(alleles.size());
  likelihoodvar.obsnumallele.assign(alleles.size(), 0);
  variables.dominantmarker.assign(alleles.size(), 0);
  for (std::size_t l = 0; l < alleles.size(); ++l) {
    likelihoodvar.obsnumallele(static_cast<long>(l + 1)) = alleles[l];
    variables.dominantmarker(static_cast<long>(l + 1)) = dominant[l];
  }
}

double LnFactorial(double k) { return std::lgamma(k + 1.0); }

// Expected number of distinct families among n offspring under the Ewens
// formula with parameter theta.
double ExpectedFamilies(double theta, int32_t n) {
  double e = 0.0;
  for (int32_t i = 0; i < n; ++i) e += theta / (theta + i);
  return e;
}

// Calls visit(m) for every partition of n, m[s] being the number of parts
// of size s (s = 1 .. n).
void Partitions(int32_t n, const std::function<void(const std::vector<int32_t>&)>& visit) {
  std::vector<int32_t> m(static_cast<std::size_t>(n) + 1, 0);
  std::function<void(int32_t, int32_t)> rec = [&](int32_t left, int32_t largest) {
    if (left == 0) {
      visit(m);
      return;
    }
    for (int32_t s = std::min(left, largest); s >= 1; --s) {
      ++m[static_cast<std::size_t>(s)];
      rec(left - s, s);
      --m[static_cast<std::size_t>(s)];
    }
  };
  rec(n, n);
}

// The Ewens sampling formula, by plain products:
// n! / (theta (theta + 1) ... (theta + n - 1)) x prod_s (theta / s)^m_s / m_s!.
double EwensProbability(const std::vector<int32_t>& m, double theta) {
  int32_t n = 0;
  for (std::size_t s = 1; s < m.size(); ++s) n += static_cast<int32_t>(s) * m[s];
  double p = 1.0;
  for (int32_t i = 1; i <= n; ++i) p *= i / (theta + i - 1);
  for (std::size_t s = 1; s < m.size(); ++s) {
    for (int32_t j = 1; j <= m[s]; ++j) p *= (theta / static_cast<double>(s)) / j;
  }
  return p;
}

// Writes a partition into column k of the size distribution.
void SetDistribution(const std::vector<int32_t>& m, int32_t k) {
  Mat1<int32_t>& dist = variables.SibshipSizeDist;
  for (std::size_t s = 1; s <= dist.rows(); ++s) {
    dist(static_cast<long>(s), k) = s < m.size() ? m[s] : 0;
  }
}

// Log prior probabilities q and 1 - q that a family's parent of sex k is
// sampled.
void SetLogPrior(int32_t k, double q) {
  variables.LogPrior(1, k) = std::log(q);
  variables.LogPrior(2, k) = std::log(1.0 - q);
}

Arr1<int32_t, 2> Bounds(int32_t b1, int32_t b2) {
  Arr1<int32_t, 2> b;
  b(1) = b1;
  b(2) = b2;
  return b;
}

// ---- Ewens term -----------------------------------------------------------

// With a weight of 1 the Ewens term is the log of the Ewens probability of
// the family sizes, so over all partitions of the sample the probabilities
// sum to one.
TEST_F(PriorTestEwens, AllPartitionsOfSmallSamples) {
  struct Case {
    int32_t numsex, n;
    double mean1, mean2;  // mean sibship sizes given by the user
  };
  const std::vector<Case> cases = {
      {2, 1, 1.0, 1.0}, {2, 3, 2.0, 1.2}, {2, 5, 2.5, 1.5}, {2, 8, 2.0, 2.0},
      {1, 1, 1.0, 1.0}, {1, 2, 1.5, 1.5}, {1, 4, 1.3, 1.3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("numsex " + std::to_string(c.numsex) + ", n " + std::to_string(c.n));
    variables = Variables{};
    Sample(c.n, c.numsex);
    Loci({4, 2}, {0, 0});
    variables.priortype = 1;
    variables.ewenmeannumprnt(1) = c.mean1;
    variables.ewenmeannumprnt(2) = c.mean2;
    SetEwenPrior();
    ASSERT_EQ(variables.priortype, 1);
    variables.EwenPriorFac.fill(1.0);

    // With one pool of parents a family is counted over both parent slots
    // of every offspring: the sizes partition 2n.
    const int32_t m = (3 - c.numsex) * c.n;
    variables.SibshipSizeDist.assign(static_cast<std::size_t>(m), 2, 0);
    for (int32_t k = 1; k <= c.numsex; ++k) {
      const double theta = std::exp(variables.LogEwenTheta(k));
      double total = 0.0;
      int32_t count = 0;
      Partitions(m, [&](const std::vector<int32_t>& part) {
        SetDistribution(part, k);
        int32_t families = 0;
        for (int32_t x : part) families += x;
        const double logp = PriorValue(k, 0, 0, families, m, 0);
        const double direct = EwensProbability(part, theta);
        EXPECT_NEAR(std::exp(logp), direct, 1e-12 * std::max(1.0, direct));
        total += std::exp(logp);
        ++count;
      });
      EXPECT_NEAR(total, 1.0, 1e-12) << count << " partitions";
    }
    if (c.numsex == 1) {
      // The second column prices nothing with one sex.
      EXPECT_EQ(PriorValue(2, 0, 0, 1, m, 0), 0.0);
    }
  }
}

// NewEwenPrior is the Ewens part of PriorValue summed over the sexes that
// carry it; bounds at or above the largest family (also beyond the table)
// give the same value.
TEST_F(PriorTestEwens, NewEwenPriorIsTheEwensPartOfPriorValue) {
  struct Case {
    std::string name;
    int32_t numsex, allowinbreeding, haplodiploid, haploid;  // haploid offspring of 8
    std::vector<int32_t> col1, col2;
    int32_t largest;  // largest family of either sex
  };
  const std::vector<Case> cases = {
      {"two sexes", 2, 0, 0, 0, {1, 1, 1, 2, 2, 3, 4, 4}, {1, 2, 2, 3, 3, 3, 3, 4}, 4},
      {"one sex with selfing", 1, 1, 0, 0, {1, 1, 2, 2, 3, 1, 4, 5}, {1, 2, 2, 3, 3, 3, 1, 5}, 5},
      {"haplodiploid", 2, 0, 1, 3, {1, 1, 2, 3, 3, 4, 5, 6}, {1, 1, 1, 2, 2, 2, 2, 3}, 4},
      {"no diploid offspring", 2, 0, 1, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 2, 2, 2, 2, 3}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    variables = Variables{};
    const int32_t n = 8;
    Sample(n, c.numsex, 3, 3);
    variables.allowinbreeding = c.allowinbreeding;
    variables.haplodiploid = c.haplodiploid;
    variables.smplsizedh(1) = c.haploid;
    variables.smplsizedh(2) = n - c.haploid;
    for (int32_t i = 1; i <= c.haploid; ++i) variables.offploid(n + 1 - i) = 1;
    Loci({3, 2, 5}, {0, 1, 0});
    variables.priortype = 2;
    variables.ewenmeannumprnt(1) = 2.0;
    variables.ewenmeannumprnt(2) = 2.5;
    variables.propprntsampled(1) = 0.6;
    variables.propprntsampled(2) = 0.3;
    SetEwenPrior();
    SetLogPrior(1, 0.4);
    SetLogPrior(2, 0.2);

    variables.CrIndivLoc.assign(n, 3, 0);
    variables.InferParent.assign(n, 2, 0);
    for (int32_t i = 1; i <= n; ++i) {
      variables.CrIndivLoc(i, 1) = c.col1[static_cast<std::size_t>(i - 1)];
      variables.CrIndivLoc(i, 2) = c.col2[static_cast<std::size_t>(i - 1)];
    }
    variables.InferParent(1, 1) = variables.InferParent(2, 1) = 2;
    variables.InferParent(4, 2) = 1;
    UseCurrentConfig();
    Arr1<int32_t, 3> numfamily;
    numfamily.fill(0);
    SibshipSize(numfamily, 0);

    const double ewens = NewEwenPrior(Bounds(c.largest, c.largest));
    double fromprior = 0.0;
    for (int32_t k = 1; k <= 2; ++k) {
      // A bound of 0 leaves the Ewens term out.
      fromprior += PriorValue(k, 1, 2, 6, c.largest, 1) - PriorValue(k, 1, 2, 6, 0, 1);
    }
    EXPECT_NEAR(ewens, fromprior, 1e-12);
    EXPECT_NE(ewens, 0.0);
    EXPECT_NEAR(NewEwenPrior(Bounds(n, n)), ewens, 1e-12);
    EXPECT_NEAR(NewEwenPrior(Bounds(32767, 32767)), ewens, 1e-12);

    // The Ewens term of each sex against the formula: one pool of parents
    // partitions 2n parent slots; a sample without diploid offspring has no
    // father side to price.
    double direct = 0.0;
    for (int32_t k = 1; k <= c.numsex; ++k) {
      if (k == 1 && c.haploid == n) continue;
      std::vector<int32_t> part(variables.SibshipSizeDist.rows() + 1, 0);
      for (std::size_t s = 1; s < part.size(); ++s) part[s] = variables.SibshipSizeDist(static_cast<long>(s), k);
      const double theta = std::exp(variables.LogEwenTheta(k));
      // The constant counts all (3 - numsex) n slots, the sizes of the
      // father side of a haplodiploid sample only the diploid offspring.
      const int32_t m = (3 - c.numsex) * n;
      int32_t counted = 0;
      double sizes = 0.0;
      for (std::size_t s = 1; s < part.size(); ++s) {
        counted += static_cast<int32_t>(s) * part[s];
        sizes += part[s] * (std::log(theta) - std::log(static_cast<double>(s))) - LnFactorial(part[s]);
      }
      EXPECT_EQ(counted, k == 1 && c.haplodiploid ? n - c.haploid : m);
      const double constant = LnFactorial(m) - (std::lgamma(theta + m) - std::lgamma(theta));
      direct += variables.EwenPriorFac(k) * (constant + sizes);
    }
    EXPECT_NEAR(ewens, direct, 1e-9);

    // No sibship-size prior, nothing to price.
    variables.priortype = 0;
    EXPECT_EQ(NewEwenPrior(Bounds(n, n)), 0.0);
  }
}

// ---- Set-up ---------------------------------------------------------------

// The Ewens parameter of each sex makes the expected number of families
// equal to the expected number of parents: the user's mean sibship sizes
// (types 1 to 3) or the Ne prior (type 4), whose weight depends on the
// mating system, whose expected numbers of parents are held in
// [1, n - 0.05], and which is switched off (with the full-sibship size
// scaling) when too weak to weigh anything.
TEST_F(PriorTestSetUp, ThetaGivesTheExpectedNumberOfParents) {
  struct Case {
    std::string name;
    int32_t numsex, haplodiploid, n, priortype;
    double v1, v2;  // user's values
    double t1, t2;  // expected numbers of parents
    double f = 0.0;  // EwenPriorFac of an Ne prior, 0 when switched off
  };
  const double ne1 = 49.09744862778042, ne2 = 39.45062765858763, ne3 = 28.547143238185146;
  const std::vector<Case> cases = {
      {"weak prior", 2, 0, 60, 1, 3.0, 1.5, 20.0, 40.0},
      {"medium prior", 2, 0, 100, 2, 10.0, 4.0, 10.0, 25.0},
      {"strong prior, one sex", 1, 0, 40, 3, 5.0, 5.0, 8.0, 8.0},
      {"mean below one", 2, 0, 30, 1, 0.5, 2.0, 30.0, 15.0},
      {"Ne, two sexes", 2, 0, 50, 4, 100.0, 2.0, ne1, ne1, 0.6021383497601345},
      {"Ne, haplodiploid", 2, 1, 40, 4, 200.0, 0.5, ne2, ne2, 0.9475256379076106},
      {"Ne, one sex", 1, 0, 30, 4, 60.0, 1.0, ne3, ne3, 0.7548656713377438},
      {"Ne, one sex, target above n", 1, 0, 10, 4, 1000.0, 1.0, 9.95, 9.95, 1.5217430416509845},
      {"Ne, target below one", 2, 0, 2, 4, 3.0, 1.0, 1.0, 1.0, 0.5555434516955674},
      {"Ne weak, two sexes", 2, 0, 100, 4, 1.0, 1.0, 1.0, 1.0},
      {"Ne weak, one sex", 1, 0, 100, 4, 2.0, 1.0, 2.0, 1.0},
      {"Ne weak, haplodiploid", 2, 1, 200, 4, 1.0, 1.0, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    variables = Variables{};
    Sample(c.n, c.numsex);
    variables.haplodiploid = c.haplodiploid;
    Loci({6, 2, 2}, {0, 0, 1});
    variables.priortype = c.priortype;
    variables.fsscaleq = 1;
    variables.ewenmeannumprnt(1) = c.v1;
    variables.ewenmeannumprnt(2) = c.v2;
    variables.propprntsampled(1) = variables.propprntsampled(2) = 0.5;
    SetEwenPrior();
    // The parentage constants are set in every case.
    EXPECT_DOUBLE_EQ(variables.PrntLogPrb(1, 1), std::log(0.5));
    const bool off = c.priortype == 4 && c.f == 0.0;
    EXPECT_EQ(variables.priortype, off ? 0 : 1);
    EXPECT_EQ(variables.fsscaleq, off ? 0 : 1);
    if (c.f != 0.0) {
      EXPECT_NEAR(variables.EwenPriorFac(1), c.f, 1e-12);
      EXPECT_NEAR(variables.EwenPriorFac(2), c.f, 1e-12);
    }
    EXPECT_NEAR(variables.ewenmeannumprnt(1), c.t1, 1e-9);
    EXPECT_NEAR(variables.ewenmeannumprnt(2), c.t2, 1e-9);
    if (off) continue;
    const int32_t m = (3 - c.numsex) * c.n;
    for (int32_t k = 1; k <= 2; ++k) {
      const double target = k == 1 ? c.t1 : c.t2;
      const double theta = std::exp(variables.LogEwenTheta(k));
      EXPECT_GE(theta, 0.01);
      EXPECT_LE(theta, 100000.0);
      // A target of the whole sample, or of a single family, has no finite
      // parameter: the search ends at the edge of its bracket.
      if (target > 1.01 && target < c.n - 0.01) {
        EXPECT_NEAR(ExpectedFamilies(theta, c.n), target, 2e-3 * target);
      }
      EXPECT_NEAR(EwenFunc(theta, k), std::pow(ExpectedFamilies(theta, c.n) - target, 2), 1e-9);
      const double constant = LnFactorial(m) - (std::lgamma(theta + m) - std::lgamma(theta));
      EXPECT_NEAR(variables.LogEwenConst(k), constant, 1e-9 * std::max(1.0, std::fabs(constant)));
    }
  }
}

// Weights of the sampled-parent term and of the Ewens term from the
// informativeness of the markers; without any polymorphic locus both
// marker ratios are 0, never 0/0. Proportions of 0 and 1 are priced as
// 0.001 and 0.999, while the weights use the proportions as given; with one
// sex both sexes take the means.
TEST_F(PriorTestSetUp, WeightsFromTheMarkers) {
  struct Case {
    std::string name;
    int32_t numsex, priortype, fulllikelihood;
    std::vector<int32_t> alleles;
    std::vector<int8_t> dominant;
    double p1, p2;  // proportions given
    double q1, q2;  // proportions priced
    double w1, w2;  // PrntWeight
    double fac;     // EwenPriorFac
  };
  // Markers {5 codominant, 2 dominant, 3 dominant, 1 codominant}: L2 = 3,
  // L3 = 2, codominant alleles 5, dominant alleles 1 + 2, R = 3/8.
  const double w0 = ((4.0 / 9.0) * 0.5 + 0.02) / 4.0;  // n = 16
  const std::vector<int32_t> mix = {5, 2, 3, 1};
  const std::vector<int8_t> dom = {0, 1, 1, 0};
  const double tiny = 0.0005, big = 0.9995;
  const std::vector<Case> cases = {
      {"strong, full likelihood", 2, 3, 1, mix, dom, 0.5, 0.8, 0.5, 0.8, w0 * 0.125, w0 * 0.512,
       4.0 * 2.375 * 2.375 * 0.016},
      {"strong, pairwise scores", 2, 3, 0, mix, dom, 0.5, 0.8, 0.5, 0.8, w0 * 0.125, w0 * 0.512,
       4.0 * 2.5625 * 2.5625 * 0.016 * 1.5},
      {"medium, one sex", 1, 2, 1, mix, dom, 0.5, 0.8, 0.65, 0.65, w0 * 0.274625, w0 * 0.274625,
       4.0 * 2.375 * 0.016 / 2.0},
      {"weak", 2, 1, 1, mix, dom, 0.5, 0.8, 0.5, 0.8, w0 * 0.125, w0 * 0.512, 4.0 * 0.016},
      {"no polymorphic locus", 2, 3, 1, {1, 0, 1}, {0, 1, 1}, 0.5, 1.0, 0.5, 0.999, 0.005 * 0.125,
       0.005, 4.0 * 4.0 * 0.016},
      {"no locus", 2, 3, 0, {}, {}, 0.5, 1.0, 0.5, 0.999, 0.005 * 0.125, 0.005,
       4.0 * 4.0 * 0.016 * 1.5},
      {"proportions 1 and 0", 2, 1, 1, mix, dom, 1.0, 0.0, 0.999, 0.001, w0, 0.0, 4.0 * 0.016},
      {"proportions near 0 and 1", 2, 1, 1, mix, dom, tiny, big, 0.001, 0.999,
       w0 * tiny * tiny * tiny, w0 * big * big * big, 4.0 * 0.016},
      {"one sex, proportions 0 and 1", 1, 1, 1, mix, dom, 0.0, 1.0, 0.5, 0.5, w0 * 0.125,
       w0 * 0.125, 4.0 * 0.016 / 2.0},
      {"one sex, proportions 1", 1, 1, 1, mix, dom, 1.0, 1.0, 0.999, 0.999, w0, w0,
       4.0 * 0.016 / 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    variables = Variables{};
    Sample(16, c.numsex, 4, 4);
    Loci(c.alleles, c.dominant);
    variables.priortype = c.priortype;
    variables.fulllikelihoodmethodq = c.fulllikelihood;
    variables.ewenmeannumprnt(1) = 2.0;
    variables.ewenmeannumprnt(2) = 2.0;
    variables.propprntsampled(1) = c.p1;
    variables.propprntsampled(2) = c.p2;
    SetEwenPrior();
    ASSERT_EQ(variables.PrntLogPrb.rows(), 2u);
    ASSERT_EQ(variables.PrntLogPrb.cols(), 2u);
    EXPECT_DOUBLE_EQ(variables.PrntLogPrb(1, 1), std::log(c.q1));
    EXPECT_DOUBLE_EQ(variables.PrntLogPrb(2, 1), std::log(1.0 - c.q1));
    EXPECT_DOUBLE_EQ(variables.PrntLogPrb(1, 2), std::log(c.q2));
    EXPECT_DOUBLE_EQ(variables.PrntLogPrb(2, 2), std::log(1.0 - c.q2));
    EXPECT_NEAR(variables.PrntWeight(1), c.w1, 1e-15);
    EXPECT_NEAR(variables.PrntWeight(2), c.w2, 1e-15);
    EXPECT_NEAR(variables.EwenPriorFac(1), c.fac, 1e-14);
    EXPECT_NEAR(variables.EwenPriorFac(2), c.fac, 1e-14);
    for (int32_t k = 1; k <= 2; ++k) {
      EXPECT_TRUE(std::isfinite(variables.LogEwenTheta(k)));
      EXPECT_TRUE(std::isfinite(variables.LogEwenConst(k)));
      // Every offspring with a sampled parent, or none, is a finite price.
      EXPECT_TRUE(std::isfinite(PriorValue(k, 2, 16, 4, 0, 0)));
      EXPECT_TRUE(std::isfinite(PriorValue(k, 0, 0, 4, 0, 0)));
    }
  }

  // The square root of the sample size in the sampled-parent weight is a
  // single-precision one (it differs from the double one at n = 10); the
  // one in the Ewens weight is not.
  variables = Variables{};
  Sample(10, 2);
  Loci({3, 4}, {0, 0});
  variables.priortype = 1;
  variables.ewenmeannumprnt(1) = variables.ewenmeannumprnt(2) = 2.0;
  variables.propprntsampled(1) = variables.propprntsampled(2) = 1.0;
  SetEwenPrior();
  const double single = 0.52 / static_cast<double>(std::sqrt(10.0f));
  ASSERT_NE(single, 0.52 / std::sqrt(10.0));
  EXPECT_DOUBLE_EQ(variables.PrntWeight(1), single);
  EXPECT_DOUBLE_EQ(variables.EwenPriorFac(1), std::sqrt(10.0) * 0.016);
}

// ---- Log prior of one sex -------------------------------------------------

// The parentage term against hand-worked values: 5 candidate fathers, 2 of
// them assigned to 3 offspring, 6 paternal families, 1 known father of 2
// offspring, 10 offspring, q = 0.3, p = 0.4, weight 0.05.
TEST_F(PriorTestValue, ParentageHandWorked) {
  struct Case {
    std::string name;
    int32_t k, fulllikelihood, haplodiploid, candidates, a, b;
    double expected;
  };
  const std::vector<Case> cases = {
      {"full likelihood", 1, 1, 0, 5, 2, 3, -7.050934552377669},
      {"pairwise scores", 1, 0, 0, 5, 2, 3, -9.038631367662234},
      {"nothing assigned", 1, 1, 0, 5, 0, 0, -1.889000917898958},
      {"haplodiploid father side, 6 diploid", 1, 1, 1, 5, 2, 3, -7.135652908538638},
      // The mother side of a haplodiploid sample counts every offspring.
      {"haplodiploid mother side", 2, 1, 1, 5, 2, 3, -7.050934552377669},
      {"no candidates", 1, 1, 0, 0, 0, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    variables = Variables{};
    const int32_t k = c.k;
    Sample(10, 2, k == 1 ? c.candidates : 0, k == 2 ? c.candidates : 0);
    variables.haplodiploid = c.haplodiploid;
    if (c.haplodiploid != 0) {
      variables.smplsizedh(1) = 4;
      variables.smplsizedh(2) = 6;
    }
    variables.fulllikelihoodmethodq = c.fulllikelihood;
    variables.numknownprnt(k) = 1;
    variables.numknownprnt(k + 2) = 2;
    SetLogPrior(k, 0.3);
    variables.PrntLogPrb.assign(2, 2, 0.0);
    variables.PrntLogPrb(1, k) = std::log(0.4);
    variables.PrntLogPrb(2, k) = std::log(0.6);
    variables.PrntWeight(k) = 0.05;
    EXPECT_NEAR(PriorValue(k, c.a, c.b, 6, 10, 0), c.expected, 1e-12);
  }
}

// With one sex and selfing the parentage part of each column is halved and
// the selfed offspring are priced once, with sex 1, as
// ln[C(n, s) (1 - 0.999999/n)^s n^-(n-s)] / 8.
TEST_F(PriorTestValue, SelfingHalvesAndPricesSelfedOnce) {
  const int32_t n = 6;
  struct Case {
    int32_t selfed, a, b, f;
  };
  const std::vector<Case> cases = {{0, 1, 2, 4}, {2, 2, 3, 5}, {6, 0, 0, 3}, {1, 3, 6, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE("selfed " + std::to_string(c.selfed));
    variables = Variables{};
    Sample(n, 1, 4, 4);
    Loci({5, 3}, {0, 0});
    variables.propprntsampled(1) = variables.propprntsampled(2) = 0.7;
    SetEwenPrior();
    SetLogPrior(1, 0.25);
    SetLogPrior(2, 0.25);
    variables.allowinbreeding = 0;
    const double plain1 = PriorValue(1, c.a, c.b, c.f, 0, c.selfed);
    const double plain2 = PriorValue(2, c.a, c.b, c.f, 0, c.selfed);
    EXPECT_NE(plain1, 0.0);
    variables.allowinbreeding = 1;
    double binomial = 1.0;
    for (int32_t j = 1; j <= c.selfed; ++j) binomial = binomial * (n - c.selfed + j) / j;
    const double selfing =
        0.125 * std::log(binomial * std::pow(1.0 - 0.999999 / n, c.selfed) * std::pow(1.0 / n, n - c.selfed));
    EXPECT_NEAR(PriorValue(1, c.a, c.b, c.f, 0, c.selfed), 0.5 * plain1 + selfing, 1e-12);
    EXPECT_NEAR(PriorValue(2, c.a, c.b, c.f, 0, c.selfed), 0.5 * plain2, 1e-12);
  }
}

// ---- Whole configurations ---------------------------------------------------

// ConfigurationPrior on small configurations: the counts of assigned
// candidates, the size distribution, the numbers of families and of selfed
// offspring it prices.
TEST_F(PriorTestConfig, SmallConfigurations) {
  struct Case {
    std::string name;
    int32_t numsex, allowinbreeding, haplodiploid;
    std::vector<int8_t> ploidy;
    std::vector<int32_t> col1, col2, parent1, parent2;
    int32_t fathers, mothers;
    std::vector<int32_t> counts;                 // a1, a2, b1, b2
    int32_t f1, f2, selfed;
    std::map<int32_t, int32_t> sizes1, sizes2;  // size -> families
  };
  const std::vector<Case> cases = {
      {"two sexes", 2, 0, 0, {2, 2, 2, 2, 2},
       {1, 1, 2, 3, 3}, {1, 2, 2, 3, 4}, {2, 2, 0, 1, 1}, {0, 0, 0, 0, 2},
       3, 2, {2, 1, 4, 1}, 3, 4, 0, {{1, 1}, {2, 2}}, {{1, 3}, {2, 1}}},
      // One pool of parents: family 1 holds offspring 1 twice (selfed) and
      // 3, family 2 offspring 2 and 3, family 3 offspring 2 and 4 twice.
      {"one sex with selfing", 1, 1, 0, {2, 2, 2, 2},
       {1, 2, 1, 3}, {1, 3, 2, 3}, {1, 0, 1, 0}, {1, 0, 0, 0},
       2, 2, {1, 1, 2, 1}, 3, 3, 2, {{2, 1}, {3, 2}}, {}},
      {"one sex without selfing", 1, 0, 0, {2, 2, 2, 2},
       {1, 2, 1, 4}, {1, 3, 2, 3}, {0, 0, 0, 0}, {0, 0, 0, 0},
       2, 2, {0, 0, 0, 0}, 4, 4, 0, {{1, 1}, {2, 2}, {3, 1}}, {}},
      // Haploid offspring 2 and 5 have no father: the father side counts
      // the diploid ones only.
      {"haplodiploid", 2, 0, 1, {2, 1, 2, 2, 1},
       {1, 2, 1, 1, 3}, {1, 1, 2, 2, 2}, {1, 0, 1, 1, 0}, {0, 0, 0, 0, 0},
       2, 0, {1, 0, 3, 0}, 3, 2, 0, {{3, 1}}, {{2, 1}, {3, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    variables = Variables{};
    const int32_t n = static_cast<int32_t>(c.col1.size());
    Sample(n, c.numsex, c.fathers, c.mothers);
    variables.allowinbreeding = c.allowinbreeding;
    variables.haplodiploid = c.haplodiploid;
    variables.smplsizedh.fill(0);
    for (int32_t i = 1; i <= n; ++i) {
      variables.offploid(i) = c.ploidy[static_cast<std::size_t>(i - 1)];
      ++variables.smplsizedh(variables.offploid(i));
    }
    Loci({4, 3, 2}, {0, 0, 1});
    variables.priortype = 1;
    variables.ewenmeannumprnt(1) = 1.5;
    variables.ewenmeannumprnt(2) = 2.0;
    variables.propprntsampled(1) = 0.6;
    variables.propprntsampled(2) = 0.4;
    SetEwenPrior();
    SetLogPrior(1, 0.5);
    SetLogPrior(2, 0.35);

    variables.CrIndivLoc.assign(static_cast<std::size_t>(n), 3, 0);
    variables.InferParent.assign(static_cast<std::size_t>(n), 2, 0);
    for (int32_t i = 1; i <= n; ++i) {
      const auto j = static_cast<std::size_t>(i - 1);
      variables.CrIndivLoc(i, 1) = c.col1[j];
      variables.CrIndivLoc(i, 2) = c.col2[j];
      variables.CrIndivLoc(i, 3) = 1;
      variables.InferParent(i, 1) = c.parent1[j];
      variables.InferParent(i, 2) = c.parent2[j];
    }
    UseCurrentConfig();
    Arr1<int32_t, 3> numfamily;
    numfamily(1) = c.f1;
    numfamily(2) = c.f2;
    numfamily(3) = 1;
    Arr1<int32_t, 4> counts;
    double prior = 0.0;
    const int32_t maxsize = 2 * n;
    const double returned = ConfigurationPrior(counts, prior, maxsize, numfamily);
    EXPECT_EQ(returned, prior);
    for (int32_t j = 1; j <= 4; ++j) EXPECT_EQ(counts(j), c.counts[static_cast<std::size_t>(j - 1)]) << j;

    const Mat1<int32_t>& dist = variables.SibshipSizeDist;
    ASSERT_EQ(dist.rows(), static_cast<std::size_t>((3 - c.numsex) * n));
    for (std::size_t s = 1; s <= dist.rows(); ++s) {
      const auto want = [&](const std::map<int32_t, int32_t>& sizes) {
        const auto it = sizes.find(static_cast<int32_t>(s));
        return it == sizes.end() ? 0 : it->second;
      };
      EXPECT_EQ(dist(static_cast<long>(s), 1), want(c.sizes1)) << "size " << s;
      EXPECT_EQ(dist(static_cast<long>(s), 2), want(c.sizes2)) << "size " << s;
    }

    const double expected = PriorValue(1, c.counts[0], c.counts[2], c.f1, maxsize, c.selfed) +
                            PriorValue(2, c.counts[1], c.counts[3], c.f2, maxsize, c.selfed);
    EXPECT_NEAR(prior, expected, 1e-12);
  }
}

// SibshipSize refreshes both sexes or one.
TEST_F(PriorTestConfig, SibshipSizeBySex) {
  Sample(4, 2);
  Mat1<int32_t> loc(4, 3, 0);
  const int32_t col1[] = {1, 1, 1, 2}, col2[] = {1, 2, 3, 4};
  for (int32_t i = 1; i <= 4; ++i) {
    loc(i, 1) = col1[i - 1];
    loc(i, 2) = col2[i - 1];
  }
  variables.IndivLocPrt = &loc;
  Arr1<int32_t, 3> numfamily;
  numfamily(1) = 2;
  numfamily(2) = 4;
  numfamily(3) = 1;
  SibshipSize(numfamily, 0);
  EXPECT_EQ(variables.SibshipSizeDist(1, 1), 1);
  EXPECT_EQ(variables.SibshipSizeDist(3, 1), 1);
  EXPECT_EQ(variables.SibshipSizeDist(1, 2), 4);
  // Offspring 4 joins the paternal family of the others; only the father
  // side is refreshed.
  loc(4, 1) = 1;
  loc(4, 2) = 1;
  SibshipSize(numfamily, 1);
  EXPECT_EQ(variables.SibshipSizeDist(1, 1), 0);
  EXPECT_EQ(variables.SibshipSizeDist(4, 1), 1);
  EXPECT_EQ(variables.SibshipSizeDist(1, 2), 4);
  SibshipSize(numfamily, 2);
  EXPECT_EQ(variables.SibshipSizeDist(1, 2), 2);
  EXPECT_EQ(variables.SibshipSizeDist(2, 2), 1);
  // Family indices beyond the numbers given are still counted.
  numfamily.fill(0);
  SibshipSize(numfamily, 0);
  EXPECT_EQ(variables.SibshipSizeDist(4, 1), 1);
  EXPECT_EQ(variables.SibshipSizeDist(2, 2), 1);
}

// ---- The largest sample ------------------------------------------------------

// 32767 offspring (65534 parent slots with one sex): the constants and the
// prior stay finite and agree with log-gamma computations.
TEST_F(PriorTestLarge, LargestSample) {
  const auto start = std::chrono::steady_clock::now();
  for (int32_t numsex = 1; numsex <= 2; ++numsex) {
    SCOPED_TRACE("numsex " + std::to_string(numsex));
    variables = Variables{};
    const int32_t n = 32767;
    Sample(n, numsex, 30000, 30000);
    Loci({10, 2, 2}, {0, 1, 0});
    variables.priortype = 1;
    variables.ewenmeannumprnt(1) = 4.0;
    variables.ewenmeannumprnt(2) = 2.0;
    variables.propprntsampled(1) = variables.propprntsampled(2) = 0.9;
    SetEwenPrior();
    const int32_t m = (3 - numsex) * n;
    for (int32_t k = 1; k <= 2; ++k) {
      const double theta = std::exp(variables.LogEwenTheta(k));
      EXPECT_NEAR(ExpectedFamilies(theta, n), variables.ewenmeannumprnt(k), 2e-3 * variables.ewenmeannumprnt(k));
      const double constant = LnFactorial(m) - (std::lgamma(theta + m) - std::lgamma(theta));
      EXPECT_NEAR(variables.LogEwenConst(k), constant, 1e-9 * std::fabs(constant));
    }

    // Every offspring in one family of each sex, all assigned to candidate 1.
    variables.CrIndivLoc.assign(n, 3, 1);
    variables.InferParent.assign(n, 2, 1);
    UseCurrentConfig();
    Arr1<int32_t, 3> numfamily;
    numfamily.fill(1);
    Arr1<int32_t, 4> counts;
    double prior = 0.0;
    ConfigurationPrior(counts, prior, m, numfamily);
    EXPECT_TRUE(std::isfinite(prior));
    EXPECT_EQ(counts(3), n);
    EXPECT_EQ(variables.SibshipSizeDist(m, 1), 1);
    // The Ewens part: a single family of all m slots.
    const double theta1 = std::exp(variables.LogEwenTheta(1));
    const double single = LnFactorial(m) - (std::lgamma(theta1 + m) - std::lgamma(theta1)) +
                          std::log(theta1) - std::log(static_cast<double>(m));
    const double ewens = NewEwenPrior(Bounds(m, m));
    double expected = variables.EwenPriorFac(1) * single;
    if (numsex == 2) {
      const double theta2 = std::exp(variables.LogEwenTheta(2));
      expected += variables.EwenPriorFac(2) * (LnFactorial(n) - (std::lgamma(theta2 + n) - std::lgamma(theta2)) +
                                               std::log(theta2) - std::log(static_cast<double>(n)));
    }
    EXPECT_NEAR(ewens, expected, 1e-9 * std::fabs(expected));

    // Every offspring its own family (with one sex, every parent slot).
    for (int32_t i = 1; i <= n; ++i) {
      variables.CrIndivLoc(i, 1) = i;
      variables.CrIndivLoc(i, 2) = numsex == 1 ? n + i : i;
    }
    numfamily(1) = numfamily(2) = numsex == 1 ? m : n;
    ConfigurationPrior(counts, prior, m, numfamily);
    EXPECT_TRUE(std::isfinite(prior));
    EXPECT_EQ(variables.SibshipSizeDist(1, 1), m);
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
}

}  // namespace
