// Pair tables of selfed offspring (with an outbred sib, with a selfed sib,
// with their parent) against brute-force sums, observed-pair sums, cache files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "genotype/error_model.h"
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

enum Relation { kSelfOut, kSelfSelf, kParentSelfed };

// Brute-force probability of two observations at one locus. The selfing
// parent has genes (a, b); a selfed offspring takes two independent draws
// from them; an outbred sib takes one draw from them and one from the
// genes (c, d) of an unrelated other parent. For kParentSelfed the first
// observation is the parent's own.
double PairProbability(const OracleLocus& L, Relation r, GenoPair o1, GenoPair o2) {
  const ObservationModel em(L, true);
  const std::vector<double>& p = L.freqs;
  const int32_t n = L.n;
  double total = 0;
  for (int32_t a = 1; a <= n; ++a) {
    for (int32_t b = 1; b <= n; ++b) {
      const std::array<int32_t, 2> genes = {a, b};
      auto selfed = [&](GenoPair obs) {
        double s = 0;
        for (int32_t x : genes)
          for (int32_t y : genes) s += 0.25 * em.Diploid(obs, x, y);
        return s;
      };
      double second = 0;
      if (r == kSelfOut) {
        for (int32_t c = 1; c <= n; ++c)
          for (int32_t d = 1; d <= n; ++d)
            for (int32_t x : genes)
              for (int32_t y : {c, d}) second += p[c - 1] * p[d - 1] * 0.25 * em.Diploid(o2, x, y);
      } else {
        second = selfed(o2);
      }
      const double first = r == kParentSelfed ? em.Diploid(o1, a, b) : selfed(o1);
      total += p[a - 1] * p[b - 1] * first * second;
    }
  }
  return total;
}

class SelfingDyadTest : public PedkinTest {
 protected:
  void Install(std::mt19937& rng, double D, double E, bool selfing = true) {
    ResetState();
    variables.numsex = 1;
    variables.allowinbreeding = selfing ? 1 : 0;
    variables.displayq = 0;
    variables.fname = "proj";
    const std::vector<OracleLocus> loci = MixedLoci(rng, D, E);
    const OracleShape shape{"selfing", {1, 1, 1, 1}, {{0, 0}, {0, 2}, {1, 1}, {1, 3}, {3, 3}, {2, 3}}, {0, 1}, true};
    sample = DrawPedigree(rng, shape, loci, false, 0.1, D + E > 0 ? 0.03 : 0.0, 3);
    for (int32_t k : {0, 1}) {
      OraclePedigree::Parent twin = sample.parents[static_cast<std::size_t>(k)];
      twin.sex = 2;
      sample.parents.push_back(twin);
    }
    InstallPedigree(sample);  // the set-up builds every pair table
    obs.clear();
    for (const auto& f : sample.families) obs.insert(obs.end(), f.offspring.begin(), f.offspring.end());
  }
  int32_t N() const { return variables.smplsize; }
  const std::vector<GenoPair>& Row(Relation r, int32_t i) const {
    return r == kParentSelfed ? sample.parents[static_cast<std::size_t>(i - 1)].obs : obs[static_cast<std::size_t>(i - 1)];
  }
  double Oracle(Relation r, int32_t i, int32_t j) const {
    double sum = 0;
    for (std::size_t l = 0; l < sample.loci.size(); ++l) {
      if (sample.loci[l].n < 2) continue;
      const double P = PairProbability(sample.loci[l], r, Row(r, i)[l], obs[static_cast<std::size_t>(j - 1)][l]);
      if (P <= 1e-300) return kImpossibleDyadLogL;
      sum += std::log(P);
    }
    return sum;
  }
  static std::string Run(bool readallowed) {
    return Shown([=] {
      CalculatePairProb(readallowed);
      CalculateParentPairProb(readallowed);
    });
  }
  OraclePedigree sample;
  std::vector<std::vector<GenoPair>> obs;
};

TEST_F(SelfingDyadTest, EveryEntryMatchesTheBruteForceSum) {
  struct Rates {
    double D, E;
  };
  // Error-free; both error kinds; dropout only (the floor under the other
  // error rate of the SNP).
  const std::vector<Rates> rates = {{0.0, 0.0}, {0.03, 0.02}, {0.02, 0.0}};
  std::mt19937 rng(71);
  EntryCounts counts;
  for (int trial = 0; trial < 9; ++trial) {
    const Rates& rt = rates[static_cast<std::size_t>(trial % 3)];
    Install(rng, rt.D, rt.E);
    ASSERT_TRUE(SelfingDyadReady());
    ASSERT_TRUE(ParentSelfedDyadReady());
    ASSERT_EQ(dyadprbvariables.dyadtable(8).nrow, 2);
    for (Relation r : {kSelfOut, kSelfSelf, kParentSelfed}) {
      const int32_t rows = r == kParentSelfed ? variables.numchild(1) : N();
      for (int32_t i = 1; i <= rows; ++i) {
        for (int32_t j = 1; j <= N(); ++j) {
          if (r != kParentSelfed && i == j) continue;
          SCOPED_TRACE(testing::Message() << "trial " << trial << " relation " << r << " pair " << i << "," << j);
          const float got = r == kSelfOut    ? SelfOutDyadLogL(i, j)
                            : r == kSelfSelf ? SelfSelfDyadLogL(i, j)
                                             : ParentSelfedDyadLogL(i, j);
          ExpectEntry(got, Oracle(r, i, j), counts);
        }
      }
    }
    // An offspring is not its own sib.
    for (int32_t i = 1; i <= N(); ++i) {
      EXPECT_EQ(dyadprbvariables.dyadtable(4).logl[static_cast<std::size_t>((i - 1) * N() + i - 1)],
                kImpossibleDyadLogL);
    }
  }
  EXPECT_GT(counts.impossible, 100);
  EXPECT_GT(counts.checked, 1000);
}

TEST_F(SelfingDyadTest, ObservedPairSumsAgreeWithTheDoubleSumOverTrueGenotypes) {
  // For every coefficient set, inbred ones included, the probability of two
  // observations equals the plain double sum over the true genotypes of both
  // members, over all alleles of the locus, of the observation
  // probabilities times the joint genotype probability.
  std::mt19937 rng(73);
  Install(rng, 0.03, 0.02);
  std::vector<DyadDelta> sets = {SibDyadDelta(0, 0), SibDyadDelta(0, 1), ParentOffspringDelta(), UnrelatedDelta(),
                                 SelfedOutbredSibDelta(), SelfedSibsDelta(), ParentSelfedOffspringDelta()};
  DyadDelta any;
  double s = 0;
  for (int32_t k = 1; k <= 9; ++k) s += (any(k) = std::uniform_real_distribution<double>(0.05, 1)(rng));
  for (int32_t k = 1; k <= 9; ++k) any(k) /= s;
  sets.push_back(any);
  int checked = 0;
  for (int32_t l = 1; l <= 3; ++l) {
    const int32_t n = likelihoodvar.obsnumallele(l);
    const bool dominant = variables.dominantmarker(l) != 0;
    std::vector<GenoPair> seen = {{0, 0}};
    for (int32_t a = 1; a <= n; ++a) {
      if (dominant) {
        if (a <= 2) seen.push_back({a, 0});
        continue;
      }
      for (int32_t b = a; b <= n; ++b) seen.push_back({a, b});
    }
    for (const DyadDelta& d : sets) {
      for (GenoPair u : seen) {
        for (GenoPair v : seen) {
          const double got = PrbPDyad(l, {u.first, u.second, false}, {v.first, v.second, false}, d);
          SetAfr(likelihoodvar.obsallelefre(l));
          double want = 0;
          for (int32_t a = 1; a <= n; ++a)
            for (int32_t b = a; b <= n; ++b)
              for (int32_t c = 1; c <= n; ++c)
                for (int32_t e = c; e <= n; ++e) {
                  const double w1 = u.first > 0 ? PrbGtoP(a, b, u.first, u.second, l) : 1.0;
                  const double w2 = v.first > 0 ? PrbGtoP(c, e, v.first, v.second, l) : 1.0;
                  want += w1 * w2 * PrbGDyad(a, b, c, e, d);
                }
          EXPECT_NEAR(got, want, 1e-13) << "locus " << l;
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 300);
}

TEST_F(SelfingDyadTest, CacheFilesAreReadBackOnlyWhenTheyHoldThisSample) {
  std::mt19937 rng(83);
  Install(rng, 0.02, 0.01);
  struct File {
    int32_t table;
    const char* name;
    const char* message;
  };
  const std::vector<File> files = {
      {4, "proj.SelfOutLogL", "Calculating self-outbred ordered sib dyad likelihood...\n"},
      {5, "proj.SelfSelfLogL", "Calculating self-self sib dyad likelihood...\n"},
      {8, "proj.PrtDyadLogL", "Calculating Parent-Selfedoffspring dyad likelihood...\n"},
  };
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    if (entry.path().string().find("LogL") != std::string::npos) std::filesystem::remove(entry.path());
  }
  const std::string shown = Run(true);
  std::map<int32_t, std::vector<float>> computed;
  for (const File& f : files) {
    EXPECT_NE(shown.find(f.message), std::string::npos) << f.name;
    ASSERT_TRUE(Exists(f.name));
    computed[f.table] = dyadprbvariables.dyadtable(f.table).logl;
  }
  EXPECT_LT(shown.find("maternal half-sib"), shown.find("self-outbred"));
  EXPECT_LT(shown.find("self-outbred"), shown.find("self-self"));
  EXPECT_LT(shown.find("mother-offspring"), shown.find("Parent-Selfed"));

  for (const File& f : files) dyadprbvariables.dyadtable(f.table) = {};
  EXPECT_EQ(Run(true).find("Calculating"), std::string::npos);
  for (const File& f : files) EXPECT_EQ(dyadprbvariables.dyadtable(f.table).logl, computed[f.table]) << f.name;
  EXPECT_TRUE(SelfingDyadReady());
  EXPECT_TRUE(ParentSelfedDyadReady());

  // A file of another table is recomputed and rewritten (other damage goes
  // through the same reader as the offspring tables).
  WriteFile("proj.SelfSelfLogL", ReadFile("proj.FSDyadLogL"));
  dyadprbvariables.dyadtable(5).logl.assign(3, 0.0f);
  EXPECT_NE(Run(true).find(files[1].message), std::string::npos);
  for (const File& g : files) EXPECT_EQ(dyadprbvariables.dyadtable(g.table).logl, computed[g.table]);
  EXPECT_TRUE(ReadWriteDyadLogL(1, "proj.SelfSelfLogL"));
  EXPECT_FALSE(Exists("proj.SelfSelfLogL.tmp"));
}

}  // namespace
