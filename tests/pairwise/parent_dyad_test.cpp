// Candidate-offspring pair tables against brute-force sums over true
// genotypes and transmissions, the impossible value, and the cache files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "likelihood/pedigree_oracle.h"
#include "pairwise/dyad_tables.h"
#include "state/dyadprbvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"
#include "support/observation_model.h"
#include "support/pair_tables.h"

namespace {

// Brute-force probability of a candidate parent's and an offspring's
// observations at one locus: the parent's true genotype (one allele when
// haploid), the other parent's (diploid, unsampled; absent for a haploid
// son), and the genes passed on, each with chance 1/2.
double PairProbability(const OracleLocus& L, GenoPair parentObs, bool parentHaploid, GenoPair childObs,
                       bool childHaploid) {
  const ObservationModel em(L);
  const std::vector<double>& p = L.freqs;
  auto child = [&](int32_t x, int32_t y) {  // y = 0: haploid son with gene x
    if (childHaploid) return em.Haploid(childObs, x);
    return em.Diploid(childObs, x, y);
  };
  double total = 0;
  for (int32_t a = 1; a <= L.n; ++a) {
    for (int32_t b = 1; b <= (parentHaploid ? 1 : L.n); ++b) {
      const std::vector<int32_t> genes = parentHaploid ? std::vector<int32_t>{a} : std::vector<int32_t>{a, b};
      const double prior = parentHaploid ? p[a - 1] : p[a - 1] * p[b - 1];
      const double seen = parentHaploid ? em.Haploid(parentObs, a) : em.Diploid(parentObs, a, b);
      double offspring = 0;
      for (int32_t x : genes) {
        const double share = 1.0 / static_cast<double>(genes.size());
        if (childHaploid) {
          offspring += share * child(x, 0);
          continue;
        }
        for (int32_t c = 1; c <= L.n; ++c) {
          for (int32_t d = 1; d <= L.n; ++d) {
            offspring += share * p[c - 1] * p[d - 1] * 0.5 * (child(x, c) + child(x, d));
          }
        }
      }
      total += prior * seen * offspring;
    }
  }
  return total;
}

class ParentDyadTest : public PedkinTest {
 protected:
  void Install(std::mt19937& rng, bool hd, double rate) {
    ResetState();
    variables.haplodiploid = hd ? 1 : 0;
    variables.displayq = 0;
    variables.fname = "proj";
    const std::vector<OracleLocus> loci = MixedLoci(rng, rate, rate);
    const OracleShape shape{"po", {1, 1, 2, 2, 1, 1, 2, 2}, {{0, 2}, {0, 3}, {1, 3}}, {0, 1, 2, 3, 4, 5, 6, 7}};
    sample = DrawPedigree(rng, shape, loci, hd, 0.15, rate, 4);
    InstallPedigree(sample);  // the set-up builds the tables
  }
  int32_t N() const { return variables.smplsize; }
  const OraclePedigree::Parent& Candidate(int32_t sex, int32_t c) const {
    int32_t seen = 0;
    for (const auto& p : sample.parents) {
      if (p.sex == sex && p.sampled && ++seen == c) return p;
    }
    throw std::out_of_range("candidate");
  }
  std::pair<const std::vector<GenoPair>*, bool> Child(int32_t i) const {
    for (const auto& f : sample.families) {
      if (i <= static_cast<int32_t>(f.offspring.size())) {
        return {&f.offspring[static_cast<std::size_t>(i - 1)], f.ploidy[static_cast<std::size_t>(i - 1)] == 1};
      }
      i -= static_cast<int32_t>(f.offspring.size());
    }
    throw std::out_of_range("offspring");
  }
  double Oracle(int32_t sex, int32_t c, int32_t i) const {
    const bool parentHaploid = variables.haplodiploid == 1 && sex == 1;
    const auto [obs, childHaploid] = Child(i);
    double sum = 0;
    for (std::size_t l = 0; l < sample.loci.size(); ++l) {
      if (sample.loci[l].n < 2) continue;
      const double P = PairProbability(sample.loci[l], Candidate(sex, c).obs[l], parentHaploid, (*obs)[l], childHaploid);
      if (P <= 1e-300) return kImpossibleDyadLogL;
      sum += std::log(P);
    }
    return sum;
  }
  OraclePedigree sample;
};

TEST_F(ParentDyadTest, EveryEntryMatchesTheBruteForceSum) {
  std::mt19937 rng(41);
  EntryCounts counts;
  int haploidSons = 0;
  for (int trial = 0; trial < 16; ++trial) {
    const bool hd = trial % 2 == 1;
    Install(rng, hd, trial % 4 >= 2 ? 0.03 : 0.0);
    for (int32_t sex = 1; sex <= 2; ++sex) {
      ASSERT_TRUE(ParentDyadReady(sex));
      for (int32_t c = 1; c <= variables.numchild(sex); ++c) {
        for (int32_t i = 1; i <= N(); ++i) {
          SCOPED_TRACE(testing::Message() << "trial " << trial << " sex " << sex << " candidate " << c << " offspring " << i);
          const float got = ParentDyadLogL(sex, i, c);
          if (sex == 1 && Child(i).second) {
            EXPECT_EQ(got, kImpossibleDyadLogL);
            ++haploidSons;
            continue;
          }
          ExpectEntry(got, Oracle(sex, c, i), counts);
        }
      }
    }
  }
  EXPECT_GT(counts.impossible, 50);
  EXPECT_GT(counts.checked, 500);
  EXPECT_GT(haploidSons, 10);
}

TEST_F(ParentDyadTest, PairsImpossibleAtManyLociStayAtTheImpossibleValue) {
  // A mother homozygous 1/1 and a daughter 2/2 at six error-free loci: each
  // locus alone rules the pair out; the sum must not run to -inf.
  variables.displayq = 0;
  variables.fname = "proj";
  sample.loci.assign(6, OracleLocus{3, 0.0, 0.0, false, {0.3, 0.3, 0.4}});
  sample.parents = {{2, true, std::vector<GenoPair>(6, {1, 1})}, {2, true, std::vector<GenoPair>(6, {1, 3})}};
  sample.families.push_back({0, 0, {std::vector<GenoPair>(6, {2, 2})}, {2}});
  InstallPedigree(sample);
  EXPECT_EQ(ParentDyadLogL(2, 1, 1), kImpossibleDyadLogL);
  EXPECT_EQ(ParentDyadLogL(2, 1, 2), kImpossibleDyadLogL);
  for (float x : dyadprbvariables.dyadtable(7).logl) EXPECT_TRUE(std::isfinite(x));
}

TEST_F(ParentDyadTest, CacheFilesAreReadBackOnlyWhenTheyHoldThisSample) {
  std::mt19937 rng(43);
  Install(rng, true, 0.02);
  for (const char* name : {"proj.DadDyadLogL", "proj.MumDyadLogL"}) std::filesystem::remove(name);
  auto run = [] { return Shown([] { CalculateParentPairProb(true); }); };
  const std::string shown = run();
  EXPECT_NE(shown.find("Calculating father-offspring dyad likelihood...\n"), std::string::npos);
  EXPECT_NE(shown.find("Calculating mother-offspring dyad likelihood...\n"), std::string::npos);
  ASSERT_TRUE(Exists("proj.DadDyadLogL"));
  ASSERT_TRUE(Exists("proj.MumDyadLogL"));
  const std::vector<float> dad = dyadprbvariables.dyadtable(6).logl, mum = dyadprbvariables.dyadtable(7).logl;

  dyadprbvariables.dyadtable(6) = {};
  dyadprbvariables.dyadtable(7) = {};
  EXPECT_EQ(run().find("Calculating"), std::string::npos);
  EXPECT_EQ(dyadprbvariables.dyadtable(6).logl, dad);
  EXPECT_EQ(dyadprbvariables.dyadtable(7).logl, mum);
  // A file of the other table is recomputed and rewritten (other damage goes
  // through the same reader as the offspring tables).
  WriteFile("proj.MumDyadLogL", ReadFile("proj.DadDyadLogL"));
  dyadprbvariables.dyadtable(7).logl.assign(3, 0.0f);
  EXPECT_NE(run().find("Calculating mother-offspring dyad likelihood..."), std::string::npos);
  EXPECT_EQ(dyadprbvariables.dyadtable(6).logl, dad);
  EXPECT_EQ(dyadprbvariables.dyadtable(7).logl, mum);
  EXPECT_TRUE(ReadWriteDyadLogL(1, "proj.MumDyadLogL"));
  EXPECT_FALSE(Exists("proj.MumDyadLogL.tmp"));
}

}  // namespace
