// Offspring pair tables: every entry against a brute-force sum, and the
// cache files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <random>

#include "likelihood/family_likelihood.h"
#include "likelihood/pedigree_oracle.h"
#include "pairwise/dyad_probability.h"
#include "pairwise/dyad_tables.h"
#include "state/dyadprbvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"
#include "support/observation_model.h"
#include "support/pair_tables.h"

namespace {

class DyadSampleTest : public PedkinTest {
 protected:
  void Install(std::mt19937& rng, bool hd, double rate) {
    ResetState();
    variables.haplodiploid = hd ? 1 : 0;
    variables.displayq = 0;
    variables.fname = "proj";
    std::vector<OracleLocus> loci = MixedLoci(rng, rate, rate);
    loci.insert(loci.begin() + 1, OracleLocus{2 + static_cast<int32_t>(rng() % 5), rate, rate, false, {}});
    const OracleShape shape{"sample", {1, 1, 2, 2}, {{0, 2}, {0, 3}, {1, 3}, {1, 2}}, {}};
    sample = DrawPedigree(rng, shape, loci, hd, 0.15, rate, 4);
    InstallPedigree(sample);
    obs.clear();
    ploidy.clear();
    for (const auto& f : sample.families) {
      obs.insert(obs.end(), f.offspring.begin(), f.offspring.end());
      ploidy.insert(ploidy.end(), f.ploidy.begin(), f.ploidy.end());
    }
  }
  int32_t N() const { return static_cast<int32_t>(obs.size()); }
  double Oracle(int32_t kind, int32_t i, int32_t j) const {
    static const std::vector<std::vector<int32_t>> sexes = {{1, 2}, {1, 2, 2}, {1, 1, 2}};
    static const int32_t parents[3][4] = {{0, 1, 0, 1}, {0, 1, 0, 2}, {0, 2, 1, 2}};
    OraclePedigree p;
    p.loci = sample.loci;
    for (int32_t s : sexes[static_cast<std::size_t>(kind)]) p.parents.push_back({s, false, {}});
    const int32_t* fm = parents[kind];
    p.families.push_back({fm[0], fm[1], {Row(i)}, {Hap(i) ? 1 : 2}});
    p.families.push_back({fm[2], fm[3], {Row(j)}, {Hap(j) ? 1 : 2}});
    double sum = 0;
    for (int32_t l = 1; l <= static_cast<int32_t>(p.loci.size()); ++l) {
      if (p.loci[static_cast<std::size_t>(l - 1)].n < 2) continue;
      const double x = OracleLocusLogL(p, l, 0.0, variables.haplodiploid == 1);
      if (x <= -1e300) return kImpossibleDyadLogL;
      sum += x;
    }
    return sum;
  }
  const std::vector<GenoPair>& Row(int32_t i) const { return obs[static_cast<std::size_t>(i - 1)]; }
  bool Hap(int32_t i) const { return ploidy[static_cast<std::size_t>(i - 1)] == 1; }
  DyadObs Obs(int32_t i, int32_t l) const {
    const GenoPair g = Row(i)[static_cast<std::size_t>(l - 1)];
    return {g.first, Hap(i) ? 0 : g.second, Hap(i)};
  }
  OraclePedigree sample;
  std::vector<std::vector<GenoPair>> obs;
  std::vector<int32_t> ploidy;
};

TEST_F(DyadSampleTest, EveryEntryMatchesTheSumOverParentalGenotypes) {
  std::mt19937 rng(17);
  EntryCounts counts;
  for (int trial = 0; trial < 16; ++trial) {
    const bool hd = trial % 2 == 1;
    Install(rng, hd, trial % 4 >= 2 ? 0.02 : 0.0);
    CalculatePairProb(false);
    ASSERT_TRUE(OffspringDyadReady());
    for (int32_t i = 1; i <= N(); ++i) {
      for (int32_t j = i + 1; j <= N(); ++j) {
        const int32_t haploids = Hap(i) + Hap(j);
        for (int32_t kind : {kFullSibDyad, kPaternalHalfSibDyad, kMaternalHalfSibDyad}) {
          SCOPED_TRACE(testing::Message() << "trial " << trial << " pair " << i << "," << j << " kind " << kind);
          const bool excluded =
              haploids > 0 && (kind == kPaternalHalfSibDyad || (kind == kFullSibDyad && haploids == 1));
          const double want = excluded ? kImpossibleDyadLogL : Oracle(kind, i, j);
          const float got = OffspringDyadLogL(kind, i, j);
          EXPECT_EQ(got, OffspringDyadLogL(kind, j, i));
          ExpectEntry(got, want, counts);
        }
      }
    }
  }
  EXPECT_GT(counts.impossible, 20);
  EXPECT_GT(counts.checked, 500);
}

// Unrelated pairs: the baseline the search takes the pair tables against.
TEST_F(DyadSampleTest, UnrelatedPairsAreTheSumOfTheSingleLikelihoods) {
  std::mt19937 rng(23);
  for (int trial = 0; trial < 8; ++trial) {
    Install(rng, trial % 2 == 1, trial >= 4 ? 0.03 : 0.0);
    Vec1<double> single;
    SingleIndivLikelihood(0.0, N(), 0, single);
    for (int32_t i = 1; i <= N(); ++i) {
      for (int32_t j = 1; j <= N(); ++j) {
        if (i == j) continue;
        double sum = 0;
        for (int32_t l = 1; l <= 4; ++l) {
          double r = 0;
          Compute_Dyad_Locus_LogL(l, Obs(i, l), Obs(j, l), UnrelatedDelta(), r);
          sum += r;
        }
        EXPECT_NEAR(sum, single(i) + single(j), 1e-9 * std::max(1.0, std::fabs(sum)));
      }
    }
  }
}

TEST_F(DyadSampleTest, CacheFilesAreUsedOnlyWhenTheyHoldThisSample) {
  std::mt19937 rng(29);
  Install(rng, true, 0.02);
  for (const char* suffix : {".FSDyadLogL", ".HSDyadLogL", ".MHSDyadLogL"}) {
    std::filesystem::remove(std::string("proj") + suffix);
  }
  const std::string shown = Shown([] { CalculatePairProb(true); });
  EXPECT_NE(shown.find("Calculating full-sib dyad likelihood..."), std::string::npos);
  EXPECT_NE(shown.find("Calculating maternal half-sib dyad likelihood...\n"), std::string::npos);
  std::vector<std::vector<float>> computed;
  for (int32_t k = 1; k <= 3; ++k) computed.push_back(dyadprbvariables.dyadtable(k).logl);
  auto same = [&] {
    for (int32_t k = 1; k <= 3; ++k) {
      EXPECT_EQ(dyadprbvariables.dyadtable(k).logl, computed[static_cast<std::size_t>(k - 1)]);
    }
  };
  // Read back exactly; a value stored in the file is taken as it is, unless
  // reading is not allowed.
  dyadprbvariables.dyadtable = {};
  CalculatePairProb(true);
  same();
  dyadprbvariables.dyadtable(1).logl[0] = -5.5f;
  ASSERT_TRUE(ReadWriteDyadLogL(2, "proj.FSDyadLogL"));
  CalculatePairProb(true);
  EXPECT_EQ(dyadprbvariables.dyadtable(1).logl[0], -5.5f);
  CalculatePairProb(false);
  same();
  ASSERT_TRUE(ReadWriteDyadLogL(1, "proj.FSDyadLogL"));

  // Damaged or foreign files are ignored, recomputed and rewritten.
  const std::string good = ReadFile("proj.FSDyadLogL");
  const double p1 = likelihoodvar.obsallelefre(1)[0];
  auto setp1 = [](double x) { likelihoodvar.obsallelefre(1)[0] = x; };
  const std::vector<std::pair<const char*, std::function<void()>>> damages = {
      {"truncated", [&] { WriteFile("proj.FSDyadLogL", good.substr(0, good.size() - 3)); }},
      {"header only", [&] { WriteFile("proj.FSDyadLogL", good.substr(0, 40)); }},
      {"garbage", [&] { WriteFile("proj.FSDyadLogL", std::string(good.size(), 'Z')); }},
      {"longer", [&] { WriteFile("proj.FSDyadLogL", good + "x"); }},
      {"another sample size", [&] { --variables.smplsize; CalculatePairProb(true); ++variables.smplsize; }},
      {"older frequencies", [&] { setp1(p1 + 1e-9); CalculatePairProb(true); setp1(p1); }},
  };
  for (const auto& [name, damage] : damages) {
    damage();
    EXPECT_FALSE(ReadWriteDyadLogL(1, "proj.FSDyadLogL")) << name;
    dyadprbvariables.dyadtable(1).logl.assign(3, 0.0f);
    CalculatePairProb(true);
    same();
    EXPECT_TRUE(ReadWriteDyadLogL(1, "proj.FSDyadLogL")) << name;
  }
  EXPECT_FALSE(std::filesystem::exists("proj.FSDyadLogL.tmp"));
}

TEST_F(DyadSampleTest, PairsImpossibleAtManyLociStayAtTheImpossibleValue) {
  // A haplodiploid sample: two daughters homozygous for different alleles
  // at five error-free loci cannot share their haploid father's allele, and
  // a son with a daughter is never a full sib; every such locus alone is
  // impossible.
  variables.haplodiploid = 1;
  variables.displayq = 0;
  sample.loci.assign(5, OracleLocus{3, 0.0, 0.0, false, {0.3, 0.3, 0.4}});
  sample.parents = {{1, false, {}}, {2, false, {}}};
  sample.families.push_back({0, 1, {}, {2, 2, 1}});
  for (int32_t a = 1; a <= 3; ++a) sample.families[0].offspring.push_back(std::vector<GenoPair>(5, {a, a}));
  InstallPedigree(sample);
  CalculatePairProb(false);
  for (auto [kind, i, j] : {std::array<int32_t, 3>{kFullSibDyad, 1, 2}, {kPaternalHalfSibDyad, 1, 2},
                            {kFullSibDyad, 2, 3}, {kPaternalHalfSibDyad, 2, 3}}) {
    EXPECT_EQ(OffspringDyadLogL(kind, i, j), kImpossibleDyadLogL);
  }
  EXPECT_GT(OffspringDyadLogL(kMaternalHalfSibDyad, 1, 2), -100.0f);
  for (const auto& t : dyadprbvariables.dyadtable) {
    for (float x : t.logl) EXPECT_TRUE(std::isfinite(x) && x >= kImpossibleDyadLogL);
  }
}

}  // namespace
