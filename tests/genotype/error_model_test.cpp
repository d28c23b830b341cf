// The genotyping-error model: family tables and single observations against
// brute-force sums over transmissions and true genotypes.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "genotype/error_model.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class ErrorModelTest : public PedkinTest {
 protected:
  void OneLocus(int32_t n, double D, double E, bool dominant = false) {
    variables.numloci = 1;
    variables.droprate.assign(1, D);
    variables.othererrorrate.assign(1, E);
    variables.dominantmarker.assign(1, dominant ? 1 : 0);
    likelihoodvar.obsnumallele.assign(1, n);
    likelihoodvar.locuserror.assign(1, (D >= 1e-10 || E >= 1e-10) ? 1 : 0);
    PhenotypeGivenGenotype(1, 1);
  }
};

TEST_F(ErrorModelTest, ScaledErrorRate) {
  EXPECT_NEAR(ErrScale(9, 0.1), 0.1 * (1 - 0.5) + 0.5 * (1 - std::exp(-0.1)), 1e-15);
  // Selfing species: a biallelic locus with dropout gets a floor on E.
  variables.numsex = 1;
  variables.allowinbreeding = 1;
  OneLocus(2, 0.05, 0.0);
  EXPECT_EQ(ScaledErrorRate(1), 1e-6);
}

// Brute force: every pair of parental genotypes, every transmission, the
// error model applied to each offspring's observation.
std::vector<double> BruteForceFamily(const std::vector<GenotypeRecord>& records, int32_t m,
                                     int32_t n, double D, double E, bool haplodiploid,
                                     double& logmax) {
  const double Es = ErrScale(n, E);
  // Homozygotes first, then heterozygotes with the smaller allele major.
  std::vector<std::pair<int, int>> genotypes;
  for (int i = 1; i <= m; ++i) genotypes.push_back({i, i});
  for (int i = 1; i <= m; ++i) {
    for (int j = i + 1; j <= m; ++j) genotypes.push_back({i, j});
  }
  auto obs = [&](int a, int b, const GenotypeRecord& r) {
    return PrbG_P(r.a1, r.a2, std::min(a, b), std::max(a, b), n, D, Es, 0);
  };
  std::vector<double> table;
  if (haplodiploid) {
    for (int k = 1; k <= m; ++k) {
      for (const auto& [i, j] : genotypes) {
        double p = 1.0;
        for (const auto& r : records) {
          p *= std::pow(0.5 * obs(k, i, r) + 0.5 * obs(k, j, r), r.count);
        }
        table.push_back(p);
      }
    }
  } else {
    for (const auto& [i, j] : genotypes) {
      for (const auto& [k, l] : genotypes) {
        double p = 1.0;
        for (const auto& r : records) {
          double s = 0.0;
          for (int a : {i, j}) {
            for (int b : {k, l}) s += 0.25 * obs(a, b, r);
          }
          p *= std::pow(s, r.count);
        }
        table.push_back(p);
      }
    }
  }
  double largest = 0.0;
  for (double p : table) largest = std::max(largest, p);
  logmax = largest > 0 ? std::log(largest) : -1e300;
  if (largest > 0) {
    for (double& p : table) p /= largest;
  }
  return table;
}

TEST_F(ErrorModelTest, FamilyTableEqualsBruteForce) {
  struct Case {
    int32_t m, n;
    double D, E;
    bool haplodiploid;
    std::vector<GenotypeRecord> records;
  };
  const std::vector<Case> cases = {
      {3, 5, 0.02, 0.01, false, {{1, 2, 2}, {1, 3, 1}, {2, 3, 1}}},
      {4, 4, 0.05, 0.02, false, {{1, 2, 3}, {3, 4, 2}, {1, 1, 1}}},
      {2, 2, 0.01, 0.01, false, {{1, 1, 4}, {1, 2, 5}, {2, 2, 1}}},
      {3, 6, 0.03, 0.02, true, {{1, 2, 2}, {1, 3, 3}, {2, 2, 1}}},
      // Impossible without error: four alleles among sibs of a one-allele father.
      {4, 4, 0.0, 0.0, true, {{1, 2, 1}, {3, 4, 1}}},
  };
  for (const auto& c : cases) {
    variables.haplodiploid = c.haplodiploid ? 1 : 0;
    OneLocus(c.n, c.D, c.E);
    double logmax = 0, expectedLogmax = 0;
    std::vector<double> prob;
    ComputeProb(1, c.records, c.m, prob, false, logmax);
    const std::vector<double> expected =
        BruteForceFamily(c.records, c.m, c.n, c.D, c.E, c.haplodiploid, expectedLogmax);
    ASSERT_EQ(prob.size(), expected.size());
    EXPECT_NEAR(logmax, expectedLogmax, 1e-9 * std::max(1.0, std::fabs(expectedLogmax)));
    for (std::size_t k = 0; k < prob.size(); ++k) EXPECT_NEAR(prob[k], expected[k], 1e-12) << k;

    if (!c.haplodiploid) {
      std::vector<double> packed;
      ComputeProb(1, c.records, c.m, packed, true, logmax);
      const int32_t G = c.m * (c.m + 1) / 2;
      std::size_t slot = 0;
      for (int32_t gf = 0; gf < G; ++gf) {
        for (int32_t gm = gf; gm < G; ++gm) EXPECT_EQ(packed[slot++], prob[static_cast<std::size_t>(gf * G + gm)]);
      }
    }
  }
}

TEST_F(ErrorModelTest, DominantFamilyTableEqualsBruteForce) {
  for (bool haplodiploid : {false, true}) {
    variables.haplodiploid = haplodiploid ? 1 : 0;
    OneLocus(2, 0.03, 0.05, true);
    const double Es = ErrScale(2, 0.05);
    for (int32_t obs : {1, 2}) {
      std::array<double, 9> table{};
      ComputeProbDominant(1, obs, table);
      const std::vector<std::pair<int, int>> g = {{1, 1}, {1, 2}, {2, 2}};
      auto p = [&](int a, int b) { return PrbG_P(obs, 0, std::min(a, b), std::max(a, b), 2, 0.03, Es, 0); };
      // A haploid father of allele f transmits it like a diploid f f.
      for (int fg = 0; fg < (haplodiploid ? 2 : 3); ++fg) {
        const auto father = haplodiploid ? std::pair{fg + 1, fg + 1} : g[static_cast<std::size_t>(fg)];
        for (int mg = 0; mg < 3; ++mg) {
          double expected = 0;
          for (int a : {father.first, father.second}) {
            for (int b : {g[mg].first, g[mg].second}) expected += 0.25 * p(a, b);
          }
          EXPECT_NEAR(table[static_cast<std::size_t>(3 * fg + mg)], expected, 1e-15);
        }
      }
    }
  }
}

TEST_F(ErrorModelTest, SingleObservationEqualsSumOverTrueGenotypes) {
  std::mt19937 rng(7);
  for (int32_t n : {2, 3, 6}) {
    for (double F : {0.0, 0.25, 1.0, -0.1}) {
      for (double rate : {0.0, 0.02}) {
        variables.haplodiploid = 1;  // to have the haploid table too
        OneLocus(n, rate, 1.5 * rate);
        std::vector<double> p(static_cast<std::size_t>(n));
        double total = 0;
        for (double& x : p) total += (x = std::uniform_real_distribution<double>(0.1, 1)(rng));
        for (double& x : p) x /= total;
        likelihoodvar.obsallelefre.assign(1, p);
        ClearSingleGtypeCache();
        const double Es = ScaledErrorRate(1);
        auto freq = [&](int i, int j) {
          return i == j ? p[i - 1] * (F + (1 - F) * p[i - 1]) : 2 * (1 - F) * p[i - 1] * p[j - 1];
        };
        for (int o1 = 1; o1 <= n; ++o1) {
          for (int o2 = o1; o2 <= n; ++o2) {
            double expected = 0;
            for (int i = 1; i <= n; ++i) {
              for (int j = i; j <= n; ++j) expected += freq(i, j) * PrbG_P(o1, o2, i, j, n, rate, Es, 0);
            }
            double P = 0;
            ProbSingleGtype(F, 2, 1, o1, o2, P);
            EXPECT_NEAR(P, expected, 1e-13) << "n=" << n << " F=" << F << " obs " << o1 << o2;
            ProbSingleGtype(F, 2, 1, o1, o2, P);
            EXPECT_NEAR(P, expected, 1e-13);
          }
          double expectedHaploid = 0;
          for (int t = 1; t <= n; ++t) expectedHaploid += p[t - 1] * PrbG_P(o1, 0, t, 0, n, rate, Es, 0);
          double P = 0;
          ProbSingleGtype(F, 1, 1, o1, 0, P);
          EXPECT_NEAR(P, expectedHaploid, 1e-13);
        }
        double P = 0;
        ProbSingleGtype(F, 2, 1, 0, 0, P);
        EXPECT_EQ(P, 1.0);
      }
    }
  }
}

}  // namespace
