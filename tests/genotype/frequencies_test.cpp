// Genotype frequencies, selfed offspring and scaled family counts, against
// independent computations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class FrequenciesTest : public PedkinTest {
 protected:
  void Loci(const std::vector<int32_t>& nalleles, double D, double E, bool dominant = false) {
    std::mt19937 rng(99);
    const std::size_t nl = nalleles.size();
    variables.numloci = static_cast<int32_t>(nl);
    variables.droprate.assign(nl, D);
    variables.othererrorrate.assign(nl, E);
    variables.dominantmarker.assign(nl, dominant ? 1 : 0);
    likelihoodvar.obsnumallele.assign(nl, 0);
    likelihoodvar.locuserror.assign(nl, (D >= 1e-10 || E >= 1e-10) ? 1 : 0);
    likelihoodvar.obsallelefre.assign(nl);
    for (std::size_t l = 1; l <= nl; ++l) {
      const int32_t n = nalleles[l - 1];
      likelihoodvar.obsnumallele(static_cast<long>(l)) = n;
      std::vector<double> p(static_cast<std::size_t>(n));
      double total = 0;
      for (double& x : p) total += (x = std::uniform_real_distribution<double>(0.05, 1)(rng));
      for (double& x : p) x /= total;
      likelihoodvar.obsallelefre(static_cast<long>(l)) = p;
    }
    PhenotypeGivenGenotype(1, variables.numloci);
  }
};

TEST_F(FrequenciesTest, GenotypeFrequenciesFollowInbreedingFormula) {
  Loci({2, 5, 12}, 0, 0);
  for (int32_t l = 1; l <= 3; ++l) {
    const auto& p = likelihoodvar.obsallelefre(l);
    const int32_t n = likelihoodvar.obsnumallele(l);
    for (double F : {0.0, 0.1, 0.5, 1.0}) {
      double sum = 0;
      for (int32_t i = 1; i <= n; ++i) {
        const double pi = p[static_cast<std::size_t>(i - 1)];
        EXPECT_NEAR(GenotypeFre(i, i, l, F), pi * pi + F * pi * (1 - pi), 1e-15);
        for (int32_t j = i; j <= n; ++j) sum += GenotypeFre(i, j, l, F);
      }
      EXPECT_NEAR(sum, 1.0, 1e-13) << "locus " << l << " F " << F;
    }
    // Strong outbreeding: homozygote frequencies never go negative.
    for (int32_t i = 1; i <= n; ++i) EXPECT_GE(GenotypeFre(i, i, l, -0.9), 0.0);
  }
}

TEST_F(FrequenciesTest, SelfedOffspringMatchEnumerationAndClasses) {
  for (int32_t n : {2, 3, 5}) {
    Loci({n}, 0.03, 0.02);
    CalculatePrbGtoPSelf(1, 1);
    const double Es = ScaledErrorRate(1);
    for (int32_t a = 1; a <= n; ++a) {
      for (int32_t b = a; b <= n; ++b) {
        double total = 0;
        for (int32_t o1 = 1; o1 <= n; ++o1) {
          for (int32_t o2 = o1; o2 <= n; ++o2) {
            // Four equally likely gamete pairs of the selfed parent.
            double expected = 0;
            for (int32_t x : {a, b}) {
              for (int32_t y : {a, b}) expected += 0.25 * PrbG_P(o1, o2, std::min(x, y), std::max(x, y), n, 0.03, Es, 0);
            }
            EXPECT_NEAR(PrntSelfedOffProb(a, b, o1, o2, 1), expected, 1e-15);
            // Every pair of a class has the class's probability.
            const int32_t c = SelfClass(a, b, o1, o2, 1);
            EXPECT_NEAR(likelihoodvar.prbgtopself(1)[static_cast<std::size_t>(c - 1)], expected, 1e-15)
                << "n " << n << " parent " << a << b << " obs " << o1 << o2;
            total += expected;
          }
        }
        EXPECT_NEAR(total, 1.0, 1e-13);
      }
    }
  }
}

TEST_F(FrequenciesTest, ScaledFamilyCounts) {
  struct Case {
    int32_t fsscaleq;
    std::vector<int32_t> alleles;
    double E;
    bool scaled;  // counts grow more slowly than k
  };
  const std::vector<Case> cases = {
      {0, {2, 2}, 0.01, false},
      {1, {2, 8}, 0.01, true},
      {1, {2, 2}, 0.25, false},  // mean error above 0.2: plain counts
  };
  for (const auto& c : cases) {
    likelihoodvar = LikelihoodVar{};
    variables.fsscaleq = c.fsscaleq;
    Loci(c.alleles, 0.0, c.E);
    SetScale2Const();
    SetScale2(50);
    const auto& s = likelihoodvar.scale2;
    ASSERT_EQ(s.size(), 51u);
    EXPECT_EQ(s[0], 0.0);
    EXPECT_NEAR(s[1], 1.0, 1e-12);
    EXPECT_NEAR(s[2], 2.0, 1e-12);
    for (std::size_t k = 3; k <= 50; ++k) {
      ASSERT_TRUE(std::isfinite(s[k]));
      if (c.scaled) {
        EXPECT_LT(s[k], static_cast<double>(k));
        EXPECT_GT(s[k], s[k - 1]);
      } else {
        EXPECT_EQ(s[k], static_cast<double>(k));
      }
    }
  }
}

}  // namespace
