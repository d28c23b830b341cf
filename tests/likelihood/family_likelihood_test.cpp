// The family likelihood over loci: the size term, the quick checks and the
// early exit against a threshold, the total against the brute-force sum of
// every locus.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "genotype/error_model.h"
#include "likelihood/family_likelihood.h"
#include "likelihood/genotype_checks.h"
#include "pedigree_oracle.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class FamilyLikelihoodTest : public PedkinTest {
 protected:
  // A half-sib cluster over a 4-allele, a SNP and a dominant locus.
  OraclePedigree Install(std::mt19937& rng, double rate) {
    std::vector<OracleLocus> loci(3);
    loci[0].n = 4;
    loci[1].n = 2;
    loci[2].n = 2;
    loci[2].dominant = true;
    for (auto& L : loci) L.D = L.E = rate;
    const OracleShape shape{"half sibs", {1, 2, 2}, {{0, 1}, {0, 2}}, {1}};
    variables.likelihoodprecision = 3;
    OraclePedigree ped = DrawPedigree(rng, shape, loci, false, 0.1, rate, 4);
    InstallPedigree(ped);
    return ped;
  }
  // The size term of the families' offspring plus the brute-force log
  // likelihood of every locus; -1e300 when impossible.
  static double Expected(const OraclePedigree& ped, bool haplodiploid) {
    double N = 0;
    for (const auto& f : ped.families) N += static_cast<double>(f.offspring.size());
    double expected = (N / 8.0) * (std::lgamma(2.25) + std::lgamma(1.5) - std::lgamma(1.25) - std::lgamma(0.25) +
                                   std::lgamma(N + 0.25) - std::lgamma(N + 2.5));
    for (std::size_t l = 1; l <= ped.loci.size(); ++l) {
      const double x = OracleLocusLogL(ped, static_cast<int32_t>(l), variables.inbreeding, haplodiploid);
      expected = (x <= -1e300 || expected <= -1e300) ? -1e300 : expected + x;
    }
    return expected;
  }
};

TEST_F(FamilyLikelihoodTest, SizeTermOfTheOptimalPriorFavoursFewerFamilies) {
  // priortype 1: splitting a family of 4 into two of 2 raises the size term
  // by (ln 24 - 2 ln 2) / 16, whatever the genotypes.
  std::mt19937 rng(4);
  std::vector<OracleLocus> loci(1);
  loci[0].n = 1;  // no locus takes part: the likelihood is the size term
  variables.priortype = 1;
  const OracleShape one{"one family", {1, 2}, {{0, 1}}, {}};
  OraclePedigree ped = DrawPedigree(rng, one, loci, false, 0.0, 0.0, 1);
  ped.families[0].offspring.assign(4, {GenoPair{1, 1}});
  ped.families[0].ploidy.assign(4, 2);
  InstallPedigree(ped);
  double whole = 0;
  FamilyLikelihood(whole, -1e300, 1, 0, 0);
  EXPECT_NEAR(whole, -(std::log(24.0) + std::log(24.0)) / 16, 1e-12);
  // The same four offspring as two families of two.
  familyloglvar.parents.push_back({1, 0});
  familyloglvar.families[0].members = {1, 2};
  familyloglvar.families.push_back({2, 1, {3, 4}});
  double split = 0;
  FamilyLikelihood(split, -1e300, 1, 0, 0);
  EXPECT_NEAR(split - whole, (std::log(24.0) - 2 * std::log(2.0)) / 16, 1e-12);
}

// Observations drawn at random, unrelated to the parents: at error-free
// loci many of these families are impossible. The quick checks must reject
// exactly those the exact sum finds impossible, and nothing else. Locus 2
// carries typing errors: there a selfed family may show any genotypes.
TEST_F(FamilyLikelihoodTest, QuickChecksRejectExactlyTheImpossible) {
  std::mt19937 rng(99);
  const std::vector<OracleShape> shapes = {
      {"sampled father", {1, 2, 2}, {{0, 1}, {0, 2}}, {0}},
      {"sampled mother", {1, 2}, {{0, 1}}, {1}},
      {"sampled father and mother", {1, 2}, {{0, 1}}, {0, 1}},
      {"selfed family", {1}, {{0, 0}}, {}, true},
      {"sampled selfing parent", {1, 1}, {{0, 0}, {0, 1}}, {0}, true},
  };
  int impossible = 0, possible = 0, fourAtErrorLocus = 0;
  int rejected[4] = {0, 0, 0, 0};
  for (const auto& shape : shapes) {
    for (int32_t hd : {0, 1}) {
      if (hd == 1 && shape.monoecious) continue;
      for (int trial = 0; trial < 40; ++trial) {
        variables = Variables{};
        likelihoodvar = LikelihoodVar{};
        variables.likelihoodprecision = 3;
        variables.haplodiploid = hd;
        variables.numsex = shape.monoecious ? 1 : 2;
        variables.allowinbreeding = shape.monoecious ? 1 : 0;
        std::vector<OracleLocus> loci(3);
        loci[0].n = 4;
        loci[1].n = 3;
        loci[1].D = loci[1].E = 0.02;
        loci[2].dominant = true;
        OraclePedigree ped = DrawPedigree(rng, shape, loci, hd == 1, 0.0, 0.0, 5);
        // Scramble: every observation replaced by a random genotype.
        std::uniform_int_distribution<int32_t> a4(1, 4), a3(1, 3), a2(1, 2);
        for (auto& fam : ped.families) {
          std::set<GenoPair> shown;
          for (std::size_t c = 0; c < fam.offspring.size(); ++c) {
            auto& obs = fam.offspring[c];
            if (rng() % 2 == 0) {
              int32_t x = a4(rng), y = fam.ploidy[c] == 1 ? x : a4(rng);
              obs[0] = {std::min(x, y), std::max(x, y)};
              x = a3(rng);
              y = fam.ploidy[c] == 1 ? x : a3(rng);
              obs[1] = {std::min(x, y), std::max(x, y)};
              obs[2] = {a2(rng), 0};
            }
            shown.insert(obs[1]);
          }
          if (fam.father == fam.mother && shown.size() >= 4) ++fourAtErrorLocus;
        }
        InstallPedigree(ped);
        const double expected = Expected(ped, hd == 1);
        // Each check alone never rejects a possible configuration.
        int32_t ok[4] = {1, 1, 1, 1};
        GenotypeCheck(ok[0]);
        GenotypeCheckP(ok[1]);
        GenotypeCheckPDom(ok[2]);
        SelfingCheck(ok[3]);
        for (int c = 0; c < 4; ++c) {
          if (ok[c] == 0) {
            ++rejected[c];
            EXPECT_LE(expected, -1e300) << shape.name << " check " << c;
          }
        }
        double logl = 0;
        FamilyLikelihood(logl, -1e300, 1, 0, 0);
        if (expected <= -1e300) {
          ++impossible;
          EXPECT_EQ(logl, -1e300) << shape.name;
        } else {
          ++possible;
          EXPECT_NEAR(logl, expected, 1e-9 * std::fabs(expected)) << shape.name << " trial " << trial;
          // The early exit: below a threshold the full value is below,
          // unchanged when the threshold is below the full value.
          for (double gap : {-0.5, 0.5}) {
            double early = 0;
            FamilyLikelihood(early, expected + gap, 1, 0, 0);
            if (gap > 0) {
              EXPECT_LT(early, expected + gap);
            } else {
              EXPECT_NEAR(early, expected, 1e-9 * std::fabs(expected));
            }
          }
        }
      }
    }
  }
  EXPECT_GT(impossible, 20);
  EXPECT_GT(possible, 20);
  EXPECT_GT(fourAtErrorLocus, 0);
  for (int c = 0; c < 4; ++c) EXPECT_GT(rejected[c], 0) << "check " << c << " never rejected";
}

// Lower precisions prune negligible genotypes of layer parents only: on
// clusters that need layers (three fathers and three mothers all mated),
// the pruned value stays just below the exact one.
TEST_F(FamilyLikelihoodTest, LowerPrecisionsStayWithinTheirThresholds) {
  std::mt19937 rng(5);
  const OracleShape mesh{"3x3 mesh", {1, 1, 1, 2, 2, 2},
                         {{0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}}, {}};
  std::vector<OracleLocus> loci(1);
  loci[0].n = 3;
  loci[0].D = loci[0].E = 0.02;
  for (int trial = 0; trial < 5; ++trial) {
    variables = Variables{};
    likelihoodvar = LikelihoodVar{};
    const OraclePedigree ped = DrawPedigree(rng, mesh, loci, false, 0.0, 0.02, 2);
    double exact = 0;
    std::vector<double> values;
    for (int32_t p : {3, 2, 1, 0}) {
      variables.likelihoodprecision = p;
      likelihoodvar.prec3 = p == 0 ? 0.005 : 0.1 * std::pow(0.1, 2 * p);
      InstallPedigree(ped);
      double logl = 0;
      FamilyLikelihood(logl, -1e300, 1, 0, 0);
      if (p == 3) {
        exact = logl;
      } else {
        // Each of the (at most 6) genotypes of a layer parent left out
        // weighs below prec3 of the largest.
        EXPECT_LE(logl, exact + 1e-9);
        EXPECT_GE(logl, exact + std::log(1 - 6 * likelihoodvar.prec3) - 1e-9) << "precision " << p;
      }
    }
  }
}

// A total that is not a number stops the program with its message.
TEST_F(FamilyLikelihoodTest, NonFiniteTotalStops) {
  std::mt19937 rng(3);
  Install(rng, 0.02);
  variables.fname = "nan";
  likelihoodvar.sizetermconst = std::numeric_limits<double>::quiet_NaN();
  const std::string file = ExpectStop([] {
    double logl = 0;
    FamilyLikelihood(logl, -1e300, 1, 0, 0);
  });
  EXPECT_EQ(file.rfind("Error in likelihood calculation, LogL = NAN\n", 0), 0u) << file;
  EXPECT_NE(file.find("Program stopped in subroutine FamilyLikelihood, dataset = nan.\n"), std::string::npos);
}

// Single individuals as unrelated members of the population: the sum over
// loci of the log of the sum over true genotypes of frequency times
// observation probability.
TEST_F(FamilyLikelihoodTest, SingleIndividualsEqualSumsOverTrueGenotypes) {
  std::mt19937 rng(12);
  for (int32_t hd : {0, 1}) {
    variables = Variables{};
    likelihoodvar = LikelihoodVar{};
    variables.haplodiploid = hd;
    std::vector<OracleLocus> loci(3);
    loci[0].n = 5;
    loci[1].n = 2;
    loci[2].n = 2;
    loci[2].dominant = true;
    for (auto& L : loci) L.D = L.E = 0.02;
    const OracleShape shape{"sampled parents", {1, 2}, {{0, 1}}, {0, 1}};
    const OraclePedigree ped = DrawPedigree(rng, shape, loci, hd == 1, 0.1, 0.02, 6);
    InstallPedigree(ped);
    const double F = 0.05;
    auto single = [&](const std::vector<GenoPair>& obs, bool haploid) {
      double total = 0;
      for (std::size_t l = 0; l < loci.size(); ++l) {
        const OracleLocus& L = ped.loci[l];
        const GenoPair o = obs[l];
        if (o.first <= 0) continue;
        const double Es = ErrScale(L.n, L.E);
        double P = 0;
        if (haploid) {
          for (int32_t t = 1; t <= L.n; ++t) {
            P += L.freqs[static_cast<std::size_t>(t - 1)] * PrbG_P(o.first, 0, t, 0, L.n, L.D, Es, 0);
          }
        } else {
          for (int32_t i = 1; i <= L.n; ++i) {
            for (int32_t j = i; j <= L.n; ++j) {
              const double pi = L.freqs[static_cast<std::size_t>(i - 1)], pj = L.freqs[static_cast<std::size_t>(j - 1)];
              const double fr = i == j ? pi * (F + (1 - F) * pi) : 2 * (1 - F) * pi * pj;
              P += fr * PrbG_P(o.first, o.second, i, j, L.n, L.D, Es, 0);
            }
          }
        }
        total += std::log(P);
      }
      return total;
    };
    Vec1<double> logl;
    SingleIndivLikelihood(F, variables.smplsize, 0, logl);
    int32_t i = 0;
    for (const auto& fam : ped.families) {
      for (std::size_t c = 0; c < fam.offspring.size(); ++c) {
        ++i;
        EXPECT_NEAR(logl(i), single(fam.offspring[c], fam.ploidy[c] == 1), 1e-12) << "offspring " << i;
      }
    }
    SingleParentLikelihood(F);
    for (int32_t s = 1; s <= 2; ++s) {
      const bool haploid = hd == 1 && s == 1;
      EXPECT_NEAR(likelihoodvar.sumcndlogl(s), single(ped.parents[static_cast<std::size_t>(s - 1)].obs, haploid), 1e-12)
          << "sex " << s;
    }
  }
}

}  // namespace
