// The configuration prior: the Ewens term against the sampling formula, its
// parameter, the parentage term, selfing and small configurations.
#include "search/prior.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "input/data_preparation.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using PriorTest = PedkinTest;

struct Setting {
  int32_t n, numsex, fathers = 0, mothers = 0, priortype = 1;
  double mean1 = 2.0, mean2 = 2.0, prop1 = 0.5, prop2 = 0.5;
  std::vector<int32_t> alleles = {4, 2};
  std::vector<int8_t> dominant = {0, 0};
  int32_t haplodiploid = 0, haploid = 0, allowinbreeding = 0, fulllikelihood = 1, fsscaleq = 0;
};

void Prepare(const Setting& s) {
  Variables& v = variables;
  v = Variables{};
  v.smplsize = s.n;
  v.numsex = s.numsex;
  v.numchild(1) = s.fathers;
  v.numchild(2) = s.mothers;
  v.haplodiploid = s.haplodiploid;
  v.allowinbreeding = s.allowinbreeding;
  v.fulllikelihoodmethodq = s.fulllikelihood;
  v.fsscaleq = s.fsscaleq;
  v.smplsizedh(1) = s.haploid;
  v.smplsizedh(2) = s.n - s.haploid;
  v.offploid.assign(static_cast<std::size_t>(s.n), 2);
  for (int32_t i = 1; i <= s.haploid; ++i) v.offploid(s.n + 1 - i) = 1;
  Initialize();
  v.numloci = static_cast<int32_t>(s.alleles.size());
  likelihoodvar.obsnumallele.assign(s.alleles.size(), 0);
  v.dominantmarker.assign(s.alleles.size(), 0);
  for (std::size_t l = 0; l < s.alleles.size(); ++l) {
    likelihoodvar.obsnumallele(static_cast<long>(l + 1)) = s.alleles[l];
    v.dominantmarker(static_cast<long>(l + 1)) = s.dominant[l];
  }
  v.priortype = s.priortype;
  v.ewenmeannumprnt(1) = s.mean1;
  v.ewenmeannumprnt(2) = s.mean2;
  v.propprntsampled(1) = s.prop1;
  v.propprntsampled(2) = s.prop2;
  SetEwenPrior();
}

void SetConfig(const std::vector<int32_t>& col1, const std::vector<int32_t>& col2,
               const std::vector<int32_t>& parent1, const std::vector<int32_t>& parent2) {
  const std::size_t n = col1.size();
  variables.CrIndivLoc.assign(n, 3, 1);
  variables.InferParent.assign(n, 2, 0);
  for (std::size_t j = 0; j < n; ++j) {
    const auto i = static_cast<long>(j + 1);
    variables.CrIndivLoc(i, 1) = col1[j];
    variables.CrIndivLoc(i, 2) = col2[j];
    variables.InferParent(i, 1) = parent1[j];
    variables.InferParent(i, 2) = parent2[j];
  }
  UseCurrentConfig();
}

double LnFactorial(double k) { return std::lgamma(k + 1.0); }

// ln[m! / (theta (theta + 1) ... (theta + m - 1))].
double EwensConstant(double theta, int32_t m) {
  return LnFactorial(m) - (std::lgamma(theta + m) - std::lgamma(theta));
}

double ExpectedFamilies(double theta, int32_t n) {
  double e = 0.0;
  for (int32_t i = 0; i < n; ++i) e += theta / (theta + i);
  return e;
}

// Calls visit(m) for every partition of n, m[s] being the number of parts
// of size s.
void Partitions(int32_t n, const std::function<void(const std::vector<int32_t>&)>& visit) {
  std::vector<int32_t> m(static_cast<std::size_t>(n) + 1, 0);
  std::function<void(int32_t, int32_t)> rec = [&](int32_t left, int32_t largest) {
    if (left == 0) return visit(m);
    for (int32_t s = std::min(left, largest); s >= 1; --s) {
      ++m[static_cast<std::size_t>(s)];
      rec(left - s, s);
      --m[static_cast<std::size_t>(s)];
    }
  };
  rec(n, n);
}

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

void SetLogPrior(int32_t k, double q) {
  variables.LogPrior(1, k) = std::log(q);
  variables.LogPrior(2, k) = std::log(1.0 - q);
}

Arr1<int32_t, 2> Bounds(int32_t b) {
  Arr1<int32_t, 2> bounds;
  bounds.fill(b);
  return bounds;
}

// With a weight of 1 the Ewens term is the log of the Ewens probability of
// the family sizes, so over all partitions of the sample they sum to one.
// With one pool of parents the sizes partition the 2n parent slots.
TEST_F(PriorTest, EwensTermOverAllPartitionsOfSmallSamples) {
  for (const auto& [numsex, n, mean1, mean2] : std::vector<std::tuple<int32_t, int32_t, double, double>>{
           {2, 1, 1.0, 1.0}, {2, 3, 2.0, 1.2}, {2, 8, 2.0, 2.0}, {1, 1, 1.0, 1.0}, {1, 4, 1.3, 1.3}}) {
    SCOPED_TRACE(::testing::Message() << "numsex " << numsex << ", n " << n);
    Prepare({.n = n, .numsex = numsex, .mean1 = mean1, .mean2 = mean2});
    variables.EwenPriorFac.fill(1.0);
    const int32_t m = (3 - numsex) * n;
    variables.SibshipSizeDist.assign(static_cast<std::size_t>(m), 2, 0);
    for (int32_t k = 1; k <= numsex; ++k) {
      const double theta = std::exp(variables.LogEwenTheta(k));
      double total = 0.0;
      Partitions(m, [&](const std::vector<int32_t>& part) {
        int32_t families = 0;
        for (std::size_t s = 1; s <= static_cast<std::size_t>(m); ++s) {
          variables.SibshipSizeDist(static_cast<long>(s), k) = part[s];
          families += part[s];
        }
        const double p = std::exp(PriorValue(k, 0, 0, families, m, 0));
        const double direct = EwensProbability(part, theta);
        EXPECT_NEAR(p, direct, 1e-12 * std::max(1.0, direct));
        total += p;
      });
      EXPECT_NEAR(total, 1.0, 1e-12);
    }
  }
}

// NewEwenPrior is the weighted Ewens formula summed over the sexes; any
// bound at or above the largest family gives the same value.
TEST_F(PriorTest, NewEwenPriorAgainstTheWeightedFormula) {
  struct Case {
    int32_t numsex, allowinbreeding, haplodiploid, haploid;
    std::vector<int32_t> col1, col2;
    int32_t largest;
  };
  const std::vector<Case> cases = {
      {2, 0, 0, 0, {1, 1, 1, 2, 2, 3, 4, 4}, {1, 2, 2, 3, 3, 3, 3, 4}, 4},
      {1, 1, 0, 0, {1, 1, 2, 2, 3, 1, 4, 5}, {1, 2, 2, 3, 3, 3, 1, 5}, 5},
      {2, 0, 1, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 2, 2, 2, 2, 3}, 4},
  };
  const int32_t n = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "numsex " << c.numsex << ", haploid " << c.haploid);
    Prepare({.n = n, .numsex = c.numsex, .fathers = 3, .mothers = 3, .priortype = 2, .mean2 = 2.5, .prop1 = 0.6,
           .prop2 = 0.3, .alleles = {3, 2, 5}, .dominant = {0, 1, 0}, .haplodiploid = c.haplodiploid,
           .haploid = c.haploid, .allowinbreeding = c.allowinbreeding});
    SetLogPrior(1, 0.4);
    SetLogPrior(2, 0.2);
    SetConfig(c.col1, c.col2, {2, 2, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 0});
    Arr1<int32_t, 3> numfamily;
    numfamily.fill(0);
    SibshipSize(numfamily, 0);
    const double ewens = NewEwenPrior(Bounds(c.largest));
    EXPECT_NEAR(NewEwenPrior(Bounds(32767)), ewens, 1e-12);
    // The constant counts all (3 - numsex) n slots, the father side of a
    // haplodiploid sample only its diploid offspring; a sample without
    // diploid offspring has no father side to price.
    double direct = 0.0;
    const int32_t m = (3 - c.numsex) * n;
    for (int32_t k = 1; k <= c.numsex; ++k) {
      if (k == 1 && c.haploid == n) continue;
      const double theta = std::exp(variables.LogEwenTheta(k));
      int32_t counted = 0;
      double sizes = 0.0;
      for (long s = 1; s <= static_cast<long>(variables.SibshipSizeDist.rows()); ++s) {
        const int32_t families = variables.SibshipSizeDist(s, k);
        counted += static_cast<int32_t>(s) * families;
        sizes += families * (std::log(theta) - std::log(static_cast<double>(s))) - LnFactorial(families);
      }
      EXPECT_EQ(counted, k == 1 && c.haplodiploid ? n - c.haploid : m);
      direct += variables.EwenPriorFac(k) * (EwensConstant(theta, m) + sizes);
    }
    EXPECT_NEAR(ewens, direct, 1e-9);
  }
}

// The Ewens parameter makes the expected number of families equal to the
// expected number of parents: the user's mean sibship sizes (types 1 to 3)
// or the Ne prior (type 4), whose weight depends on the mating system,
// whose targets are held in [1, n - 0.05], and which is switched off (with
// the full-sibship size scaling) when too weak to weigh anything.
TEST_F(PriorTest, ThetaGivesTheExpectedNumberOfParents) {
  struct Case {
    int32_t numsex, haplodiploid, n, priortype;
    double v1, v2, t1, t2;  // user's values, expected numbers of parents
    double f = 0.0;         // weight of an Ne prior, 0 when switched off
  };
  const double ne2 = 39.45062765858763, ne3 = 28.547143238185146;
  const std::vector<Case> cases = {
      {2, 0, 60, 1, 3.0, 1.5, 20.0, 40.0},         {1, 0, 40, 3, 5.0, 5.0, 8.0, 8.0},
      {2, 0, 30, 1, 0.5, 2.0, 30.0, 15.0},         {2, 1, 40, 4, 200.0, 0.5, ne2, ne2, 0.9475256379076106},
      {1, 0, 30, 4, 60.0, 1.0, ne3, ne3, 0.7548656713377438},
      {1, 0, 10, 4, 1000.0, 1.0, 9.95, 9.95, 1.5217430416509845}, {2, 0, 100, 4, 1.0, 1.0, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "n " << c.n << ", prior " << c.priortype << ", " << c.v1);
    Prepare({.n = c.n, .numsex = c.numsex, .priortype = c.priortype, .mean1 = c.v1, .mean2 = c.v2,
           .alleles = {6, 2, 2}, .dominant = {0, 0, 1}, .haplodiploid = c.haplodiploid, .fsscaleq = 1});
    const bool off = c.priortype == 4 && c.f == 0.0;
    EXPECT_EQ(std::tuple(variables.priortype, variables.fsscaleq), std::tuple(off ? 0 : 1, off ? 0 : 1));
    if (c.f != 0.0) {
      EXPECT_NEAR(variables.EwenPriorFac(2), c.f, 1e-12);
    }
    EXPECT_NEAR(variables.ewenmeannumprnt(1), c.t1, 1e-9);
    EXPECT_NEAR(variables.ewenmeannumprnt(2), c.t2, 1e-9);
    if (off) continue;
    for (int32_t k = 1; k <= 2; ++k) {
      const double target = k == 1 ? c.t1 : c.t2;
      const double theta = std::exp(variables.LogEwenTheta(k));
      // A target of the whole sample, or of one family, has no finite
      // parameter: the search ends at the edge of its bracket.
      if (target > 1.01 && target < c.n - 0.01) {
        EXPECT_NEAR(ExpectedFamilies(theta, c.n), target, 2e-3 * target);
      }
    }
  }
}

// Hand-worked: 5 candidate fathers, 2 of them assigned to 3 offspring, 6
// families, 1 known father of 2 offspring, 10 offspring, q = 0.3, p = 0.4,
// weight 0.05. The mother side of a haplodiploid sample counts every
// offspring, its father side the 6 diploid ones.
TEST_F(PriorTest, ParentageTermHandWorked) {
  struct Case {
    int32_t k, fulllikelihood, haplodiploid, candidates, a, b;
    double expected;
  };
  const std::vector<Case> cases = {
      {1, 1, 0, 5, 2, 3, -7.050934552377669}, {1, 0, 0, 5, 2, 3, -9.038631367662234},
      {1, 1, 0, 5, 0, 0, -1.889000917898958}, {1, 1, 1, 5, 2, 3, -7.135652908538638},
      {2, 1, 1, 5, 2, 3, -7.050934552377669}, {1, 1, 0, 0, 0, 0, 0.0},
  };
  for (const Case& c : cases) {
    const int32_t k = c.k;
    Prepare({.n = 10, .numsex = 2, .fathers = k == 1 ? c.candidates : 0, .mothers = k == 2 ? c.candidates : 0,
             .priortype = 0, .haplodiploid = c.haplodiploid, .haploid = c.haplodiploid ? 4 : 0,
             .fulllikelihood = c.fulllikelihood});
    variables.numknownprnt(k) = 1;
    variables.numknownprnt(k + 2) = 2;
    SetLogPrior(k, 0.3);
    variables.PrntLogPrb.assign(2, 2, 0.0);
    variables.PrntLogPrb(1, k) = std::log(0.4);
    variables.PrntLogPrb(2, k) = std::log(0.6);
    variables.PrntWeight(k) = 0.05;
    EXPECT_NEAR(PriorValue(k, c.a, c.b, 6, 10, 0), c.expected, 1e-12) << c.k << " " << c.candidates;
  }
}

// With one sex and selfing the parentage part of each column is halved and
// the selfed offspring are priced once, with sex 1, as
// ln[C(n, s) (1 - 0.999999/n)^s n^-(n-s)] / 8.
TEST_F(PriorTest, SelfingHalvesAndPricesSelfedOnce) {
  const int32_t n = 6;
  for (const auto& [selfed, a, b, f] : std::vector<std::array<int32_t, 4>>{{0, 1, 2, 4}, {2, 2, 3, 5}, {6, 0, 0, 3}}) {
    SCOPED_TRACE(selfed);
    Prepare({.n = n, .numsex = 1, .fathers = 4, .mothers = 4, .priortype = 0, .prop1 = 0.7, .prop2 = 0.7, .alleles = {5, 3}});
    SetLogPrior(1, 0.25);
    SetLogPrior(2, 0.25);
    const double plain1 = PriorValue(1, a, b, f, 0, selfed), plain2 = PriorValue(2, a, b, f, 0, selfed);
    EXPECT_NE(plain1, 0.0);
    variables.allowinbreeding = 1;
    double binomial = 1.0;
    for (int32_t j = 1; j <= selfed; ++j) binomial = binomial * (n - selfed + j) / j;
    const double selfing =
        0.125 * std::log(binomial * std::pow(1.0 - 0.999999 / n, selfed) * std::pow(1.0 / n, n - selfed));
    EXPECT_NEAR(PriorValue(1, a, b, f, 0, selfed), 0.5 * plain1 + selfing, 1e-12);
    EXPECT_NEAR(PriorValue(2, a, b, f, 0, selfed), 0.5 * plain2, 1e-12);
  }
}

TEST_F(PriorTest, SmallConfigurations) {
  struct Case {
    int32_t numsex, allowinbreeding, haploid;
    std::vector<int32_t> col1, col2, parent1, parent2;
    int32_t fathers, mothers;
    std::vector<int32_t> counts;  // a1, a2, b1, b2
    int32_t f1, f2, selfed;
    std::map<int32_t, int32_t> sizes1, sizes2;  // size -> families
  };
  const std::vector<Case> cases = {
      // One pool of parents: family 1 holds offspring 1 twice (selfed) and
      // 3, family 2 offspring 2 and 3, family 3 offspring 2 and 4 twice.
      {1, 1, 0, {1, 2, 1, 3}, {1, 3, 2, 3}, {1, 0, 1, 0}, {1, 0, 0, 0},
       2, 2, {1, 1, 2, 1}, 3, 3, 2, {{2, 1}, {3, 2}}, {}},
      // Haploid offspring 4 and 5 have no father: the father side counts
      // the diploid ones only.
      {2, 0, 2, {1, 1, 1, 2, 3}, {1, 2, 2, 1, 2}, {1, 1, 1, 0, 0}, {0, 0, 0, 0, 0},
       2, 0, {1, 0, 3, 0}, 3, 2, 0, {{3, 1}}, {{2, 1}, {3, 1}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    const auto n = static_cast<int32_t>(c.col1.size());
    Prepare({.n = n, .numsex = c.numsex, .fathers = c.fathers, .mothers = c.mothers, .mean1 = 1.5, .prop1 = 0.6,
           .prop2 = 0.4, .alleles = {4, 3, 2}, .dominant = {0, 0, 1}, .haplodiploid = c.haploid > 0,
           .haploid = c.haploid, .allowinbreeding = c.allowinbreeding});
    SetLogPrior(1, 0.5);
    SetLogPrior(2, 0.35);
    SetConfig(c.col1, c.col2, c.parent1, c.parent2);
    Arr1<int32_t, 3> numfamily;
    numfamily(1) = c.f1;
    numfamily(2) = c.f2;
    numfamily(3) = 1;
    Arr1<int32_t, 4> counts;
    double prior = 0.0;
    EXPECT_EQ(ConfigurationPrior(counts, prior, 2 * n, numfamily), prior);
    for (int32_t j = 1; j <= 4; ++j) EXPECT_EQ(counts(j), c.counts[static_cast<std::size_t>(j - 1)]) << j;
    const Mat1<int32_t>& dist = variables.SibshipSizeDist;
    ASSERT_EQ(dist.rows(), static_cast<std::size_t>((3 - c.numsex) * n));
    for (int32_t s = 1; s <= static_cast<int32_t>(dist.rows()); ++s) {
      EXPECT_EQ(dist(s, 1), c.sizes1.contains(s) ? c.sizes1.at(s) : 0) << "size " << s;
      EXPECT_EQ(dist(s, 2), c.sizes2.contains(s) ? c.sizes2.at(s) : 0) << "size " << s;
    }
    EXPECT_NEAR(prior, PriorValue(1, c.counts[0], c.counts[2], c.f1, 2 * n, c.selfed) +
                           PriorValue(2, c.counts[1], c.counts[3], c.f2, 2 * n, c.selfed), 1e-12);
  }
}

}  // namespace
