// Posterior probabilities against weights worked out here: far from the best
// log likelihood, full-sib numbers, a monoecious selfing rate (dioecious cases
// are checked against the parsed archive in the archive-file tests).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "results/family_probabilities.h"
#include "results/output.h"
#include "search/archive.h"
#include "state/variables.h"
#include "output_fixture.h"
#include "support/fixture.h"

namespace {

using Ints = std::vector<int32_t>;

// A configuration per offspring: paternal family, maternal family, cluster
// label, and its log likelihood.
struct Config {
  Ints pat, mat, cluster;
  double logl = -100.0;
};

class OutputTestProbabilities : public OutputFixture {
 protected:
  static void SetBest(const Config& c) { OutputFixture::SetBest(c.pat, c.mat, c.cluster, {}, {}, c.logl); }
  static void Archive(const Config& c) { OutputFixture::Archive(c.pat, c.mat, c.cluster, c.logl); }
};

// Expected probability: the weights exp(L - Lbest) of the configurations
// flagged as holding the event, over the weights of all of them.
double Expected(const std::vector<Config>& configs, const std::vector<int>& holds, double best) {
  double sum = 0.0, total = 0.0;
  for (std::size_t c = 0; c < configs.size(); ++c) {
    const double w = std::exp(configs[c].logl - best);
    total += w;
    if (holds[c] != 0) sum += w;
  }
  return sum / total;
}

// Four offspring; the best configuration has clusters {1, 2, 3} (one mother)
// and {4}, full-sib families {1, 2}, {3}, {4}.
const Config kBest{{1, 1, 2, 3}, {1, 1, 1, 2}, {1, 1, 1, 2}, -100.0};
const std::vector<Config> kArchive = {
    kBest,
    {{1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1, 1, 1}, -101.0},     // everyone in one cluster
    {{2, 2, 1, 3}, {2, 2, 2, 1}, {2, 2, 2, 1}, -102.0},     // the best, relabelled
    {{1, 2, 3, 4}, {1, 1, 2, 3}, {1, 1, 2, 3}, -103.0},     // 3 leaves; 1 and 2 half sibs
    {{1, 2, 2, 3}, {1, 1, 1, 2}, {1, 1, 1, 2}, -100.5},     // same members, other families
};

TEST_F(OutputTestProbabilities, WeightsStayFiniteFarFromTheBestLogLikelihood) {
  // The best log likelihood was never set (or lies far from the archive):
  // the weights are relative to each other, never inf / inf or 0 / 0.
  for (const double best : {-1e300, -5000.0, 5000.0}) {
    ResetState();
    variables.displayq = 0;
    Sample(4, 2);
    Config b = kBest;
    SetBest(b);
    variables.btloglikelihood = best;
    for (const Config& c : kArchive) Archive(c);
    Vec1<double> prob;
    FindFamilyProb(prob);
    EXPECT_NEAR(prob(1), Expected(kArchive, {1, 0, 1, 0, 0}, -100.0), 1e-12) << best;
  }
}

TEST_F(OutputTestProbabilities, FullSibIdsInOrderOfFirstMember) {
  Sample(6, 2);
  const Mat1<int32_t> loc = Table({{4, 2, 4, 2, 1, 4}, {3, 1, 3, 2, 1, 1}, {1, 2, 1, 2, 3, 1}});
  Vec1<int32_t> id;
  EXPECT_EQ(FindFSFamilyID(loc, id), 5);
  EXPECT_EQ(id.raw(), (Ints{1, 2, 1, 3, 4, 5}));
  // In a monoecious sample (4, 1) and (1, 4) are the same two parents.
  variables.numsex = 1;
  variables.smplsize = 4;
  const Mat1<int32_t> mono = Table({{4, 1, 2, 1}, {1, 4, 2, 1}, {1, 1, 2, 1}});
  EXPECT_EQ(FindFSFamilyID(mono, id), 3);
  EXPECT_EQ(id.raw(), (Ints{1, 1, 2, 3}));
}

// Five offspring of a monoecious sample: 1 and 2 selfed by parent 1, 3
// selfed by parent 2, 4 and 5 from parents 3 and 4 (in either role).
const Config kMonoBest{{1, 1, 2, 3, 4}, {1, 1, 2, 4, 3}, {1, 1, 2, 3, 3}, -50.0};
const std::vector<Config> kMonoArchive = {
    kMonoBest,                                                 // 3 selfed
    {{1, 1, 2, 3, 4}, {1, 1, 5, 4, 3}, {1, 1, 2, 3, 3}, -51.0},  // 3 outcrossed: 2 selfed
    {{1, 1, 2, 3, 3}, {1, 1, 2, 3, 3}, {1, 1, 2, 3, 3}, -52.0},  // 4 and 5 selfed: 5 selfed
};

TEST_F(OutputTestProbabilities, MonoeciousSelfingRateAndInterval) {
  Sample(5, 1);
  SetBest(kMonoBest);
  for (const Config& c : kMonoArchive) Archive(c);
  Vec1<double> inc, exc;
  Arr1<double, 3> selfing;
  int32_t n = 0;
  FindFSFamilyProb(inc, exc, n, selfing);
  ASSERT_EQ(n, 3);
  for (int32_t f = 1; f <= n; ++f) {
    EXPECT_NEAR(inc(f), 1.0, 1e-12);
    EXPECT_NEAR(exc(f), 1.0, 1e-12);
  }
  const std::vector<double> counts = {3, 2, 5};
  double total = 0.0, mean = 0.0, var = 0.0;
  for (const Config& c : kMonoArchive) total += std::exp(c.logl + 50.0);
  for (std::size_t c = 0; c < counts.size(); ++c) mean += std::exp(kMonoArchive[c].logl + 50.0) / total * counts[c];
  for (std::size_t c = 0; c < counts.size(); ++c) {
    var += std::exp(kMonoArchive[c].logl + 50.0) / total * (counts[c] - mean) * (counts[c] - mean);
  }
  const double h = 2.0 * std::sqrt(std::fabs(var + (1.0 - 3.0 / 5.0) * 3.0));
  EXPECT_NEAR(selfing(1), 0.6, 1e-12);
  EXPECT_NEAR(selfing(2), std::max(3.0 - h, 0.0) / 5.0, 1e-12);
  EXPECT_NEAR(selfing(3), std::min(3.0 + h, 5.0) / 5.0, 1e-12);

  // Clusters: {1, 2} everywhere; {3} not where 3 is outcrossed; {4, 5} not
  // where both are selfed by one parent.
  Vec1<double> prob;
  FindFamilyProb(prob);
  ASSERT_EQ(prob.size(), 3u);
  EXPECT_NEAR(prob(1), 1.0, 1e-12);
  EXPECT_NEAR(prob(2), Expected(kMonoArchive, {1, 0, 1}, -50.0), 1e-12);
  EXPECT_NEAR(prob(3), Expected(kMonoArchive, {1, 1, 0}, -50.0), 1e-12);
}

}  // namespace
