// Genotype probabilities of a family's parents against a brute-force sum over
// their genotype pairs, and the probability texts of the genotype files.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "../likelihood/pedigree_oracle.h"
#include "genotype/error_model.h"
#include "results/genotype_inference.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using GenotypeInferenceTest = PedkinTest;

struct FamilyCase {
  const char* name;
  int32_t alleles;
  double rate;      // dropout and other-error rate
  bool dominant;
  bool haplodiploid;
  std::vector<int32_t> sampled;  // parents typed: 0 father, 1 mother
  double missing;
};

// Posterior genotype probabilities of the father (index 0) and the mother
// (index 1) of one family at its one locus, summed over every pair of
// parental genotypes of all the locus's alleles; a diploid genotype (a, b)
// at FamilyGenotypeIndex(a, b, n) - 1, a haploid father's allele a at a - 1.
std::vector<std::vector<double>> BruteForce(const OraclePedigree& ped, bool hd) {
  const OracleLocus& L = ped.loci[0];
  const int32_t n = L.n;
  const std::vector<double>& p = L.freqs;
  const std::vector<GenoPair> diploid = OracleDiploidGenotypes(n);
  std::vector<GenoPair> haploid;
  for (int32_t a = 1; a <= n; ++a) haploid.push_back({a, a});
  auto observe = [&](GenoPair obs, GenoPair t, bool hap) { return OracleObservation(L, obs, t, hap); };
  auto prior = [&](GenoPair g, bool hap) {
    const double pa = p[static_cast<std::size_t>(g.first - 1)], pb = p[static_cast<std::size_t>(g.second - 1)];
    return hap ? pa : (g.first == g.second ? pa * pa : 2 * pa * pb);
  };
  const auto& fathers = hd ? haploid : diploid;
  std::vector<std::vector<double>> post{std::vector<double>(fathers.size(), 0.0), std::vector<double>(diploid.size(), 0.0)};
  const auto& fam = ped.families[0];
  for (std::size_t x = 0; x < fathers.size(); ++x) {
    const GenoPair gf = fathers[x];
    const double wf = prior(gf, hd) * observe(ped.parents[0].obs[0], gf, hd);
    for (std::size_t y = 0; y < diploid.size(); ++y) {
      const GenoPair gm = diploid[y];
      double w = wf * prior(gm, false) * observe(ped.parents[1].obs[0], gm, false);
      for (std::size_t c = 0; c < fam.offspring.size() && w > 0; ++c) {
        const GenoPair obs = fam.offspring[c][0];
        double sum = 0.0;
        if (fam.ploidy[c] == 1) {
          for (int32_t b : {gm.first, gm.second}) sum += 0.5 * observe(obs, {b, b}, true);
        } else {
          const std::vector<int32_t> paternal = hd ? std::vector<int32_t>{gf.first} : std::vector<int32_t>{gf.first, gf.second};
          for (int32_t a : paternal) {
            for (int32_t b : {gm.first, gm.second}) {
              sum += observe(obs, {std::min(a, b), std::max(a, b)}, false) / static_cast<double>(2 * paternal.size());
            }
          }
        }
        w *= sum;
      }
      post[0][x] += w;
      post[1][y] += w;
    }
  }
  for (auto& v : post) {
    double total = 0.0;
    for (double w : v) total += w;
    for (double& w : v) w /= total;
  }
  // Reorder the father's diploid table from enumeration order to genotype
  // index order (the haploid one is already in allele order).
  std::vector<std::vector<double>> indexed(2);
  for (int32_t s = 0; s < 2; ++s) {
    const bool hap = s == 0 && hd;
    indexed[s].assign(post[s].size(), 0.0);
    for (std::size_t k = 0; k < post[s].size(); ++k) {
      const GenoPair g = hap ? haploid[k] : diploid[k];
      const std::size_t at = hap ? static_cast<std::size_t>(g.first - 1)
                                 : static_cast<std::size_t>(FamilyGenotypeIndex(g.first, g.second, n) - 1);
      indexed[s][at] = post[s][k];
    }
  }
  return indexed;
}

TEST_F(GenotypeInferenceTest, ParentsOfOneFamilyEqualBruteForce) {
  const std::vector<FamilyCase> cases = {
      {"8 alleles, errors, unsampled parents", 8, 0.02, false, false, {}, 0.0},
      {"8 alleles, errors, sampled father, missing typings", 8, 0.02, false, false, {0}, 0.2},
      {"4 alleles, no error, both sampled", 4, 0.0, false, false, {0, 1}, 0.0},
      {"SNP with errors", 2, 0.03, false, false, {}, 0.1},
      {"dominant", 2, 0.02, true, false, {1}, 0.0},
      {"haplodiploid, 5 alleles", 5, 0.02, false, true, {}, 0.0},
  };
  std::mt19937 rng(16);
  const OracleShape shape{"one full-sib family", {1, 2}, {{0, 1}}, {}};
  for (const FamilyCase& fc : cases) {
    for (int draw = 0; draw < 3; ++draw) {
      variables = Variables{};
      likelihoodvar = LikelihoodVar{};
      variables.haplodiploid = fc.haplodiploid ? 1 : 0;
      variables.likelihoodprecision = 3;  // exact sums: no pruning
      OracleLocus L;
      L.n = fc.alleles;
      L.D = L.E = fc.rate;
      L.dominant = fc.dominant;
      OracleShape s = shape;
      s.sampled = fc.sampled;
      const OraclePedigree ped = DrawPedigree(rng, s, {L}, fc.haplodiploid, fc.missing, fc.rate, 6);
      InstallPedigree(ped);
      ClusterGenotypes inferred;
      ASSERT_TRUE(InferFamilyGenotypes(1, inferred)) << fc.name;
      const auto expected = BruteForce(ped, fc.haplodiploid);
      for (int32_t k = 0; k < 2; ++k) {
        ASSERT_EQ(inferred.parents[static_cast<std::size_t>(k)].size(), expected[static_cast<std::size_t>(k)].size()) << fc.name;
        for (std::size_t g = 0; g < expected[static_cast<std::size_t>(k)].size(); ++g) {
          EXPECT_NEAR(inferred.parents[static_cast<std::size_t>(k)][g], expected[static_cast<std::size_t>(k)][g], 1e-9)
              << fc.name << ", draw " << draw << ", parent " << k << ", genotype " << g;
        }
      }
    }
  }
}

TEST_F(GenotypeInferenceTest, ProbabilityTextsStayInTheTable) {
  const std::vector<std::pair<double, const char*>> cases = {
      {0.0, "0.000"}, {0.5, "0.500"}, {0.1234, "0.123"}, {1.0, "1.000"},
      // Rounding may put a sum of probabilities just above 1; never NaN or
      // below 0 either.
      {1.00007, "1.000"}, {1e9, "1.000"}, {-0.2, "0.000"}, {std::nan(""), "0.000"},
  };
  for (const auto& [p, text] : cases) EXPECT_EQ(ProbabilityText(p), text) << p;
}

}  // namespace
