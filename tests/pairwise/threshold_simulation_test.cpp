// Parentage thresholds: smoothing and scanning worked by hand, and the
// simulation on samples whose design fixes where the thresholds lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numeric/random.h"
#include "pairwise/threshold_simulation.h"
#include "state/simuvariables.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class ThresholdTest : public PedkinTest {};

struct ThresholdCase {
  const char* name;
  std::vector<double> delta;
  std::vector<uint8_t> correct;
  std::vector<double> want;  // levels 95, 90, ..., 50
};

TEST_F(ThresholdTest, DetermineThresholdWorkedByHand) {
  // Case 1: deltas 1..30 (given in scrambled order), the 20 largest right.
  // From the top, the share right is 1 down to rank 20 and 20/r below;
  // smoothed over ranks r-10..r+10: rank 16 (delta 15) averages ranks 6..26,
  // 15 ones and 20/21..20/26, = 0.95874; rank 17 (delta 14) averages 7..27,
  // = 0.94640, the first not above 95%. Rank 20 (delta 11) gives 0.90214,
  // rank 21 (delta 10) 0.89725, the first not above 90%. The shares keep
  // falling to 0.85321 at rank 27 (delta 4) and 0.84192 at rank 28 (delta 3),
  // the first not above 85%; none reaches 80%, so the lower levels take the
  // smallest delta.
  ThresholdCase scrambled{"twenty of thirty right", {}, {}, {14, 10, 3, 1, 1, 1, 1, 1, 1, 1}};
  for (int k = 0; k < 30; ++k) {
    const int d = (k * 7) % 30 + 1;  // 7 and 30 coprime: every delta once
    scrambled.delta.push_back(d);
    scrambled.correct.push_back(d >= 11 ? 1 : 0);
  }
  const std::vector<ThresholdCase> cases = {
      scrambled,
      // Case 2: the largest delta is wrong: every window covers all five
      // ranks, whose shares 0, 1/2, 2/3, 3/4, 4/5 average 0.54333: below 95
      // .. 55% even at the top (the largest delta), above 50% everywhere
      // (the smallest).
      {"top wrong", {5, 4, 3, 2, 1}, {0, 1, 1, 1, 1}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 1}},
      // Case 3: all right, equal deltas: the smallest delta, 2.
      {"all right", {2, 7, 2, 9}, {1, 1, 1, 1}, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2}},
  };
  for (const auto& c : cases) {
    Mat1<double> table(10, 2, -1.0);
    DetermineThreshold(2, static_cast<int32_t>(c.delta.size()), c.delta.data(), c.correct.data(), table);
    for (int32_t level = 1; level <= 10; ++level) {
      EXPECT_EQ(table(level, 2), c.want[static_cast<std::size_t>(level - 1)]) << c.name << ", level " << level;
      EXPECT_EQ(table(level, 1), -1.0) << "the other sex's column is not touched";
    }
  }

  // Confidence from the thresholds of case 1: 100% at or above 14, 95%
  // just below, 85% between 3 and 10, 50% below every threshold.
  Mat1<double> table(10, 2, 0.0);
  DetermineThreshold(1, 30, scrambled.delta.data(), scrambled.correct.data(), table);
  EXPECT_EQ(ConfidenceLevel(14.0, 1, table), 0);
  EXPECT_EQ(ConfidenceLevel(13.9, 1, table), 1);
  EXPECT_EQ(ConfidenceLevel(5.0, 1, table), 2);
  EXPECT_EQ(ConfidenceLevel(0.5, 1, table), 10);
  // Without a single replication that assigned a parent nothing reaches any
  // level.
  DetermineThreshold(1, 0, nullptr, nullptr, table);
  EXPECT_EQ(ConfidenceLevel(1e30, 1, table), 10);
}

// A sample of random genotypes (the simulation uses only its allele
// frequencies, error rates, missing data and numbers of candidates): n
// offspring and c1, c2 candidates at `loci` loci with `alleles` alleles.
std::string RandomProject(int loci, int alleles, double error, double missing, int c1, int c2, double prop) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> allele(1, alleles);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto genotype = [&] {
    std::string g;
    for (int l = 0; l < loci; ++l) {
      const bool gap = unit(rng) < missing;
      g += gap ? " 0 0" : " " + std::to_string(allele(rng)) + " " + std::to_string(allele(rng));
    }
    return g + "\n";
  };
  const int n = 40;
  std::string text = "'thresholds'\nth\n" + std::to_string(n) + "\n" + std::to_string(loci) +
                     "\n77\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n0\n0\n1000\n0\n0\n1\nMK@\n0@\n" + std::to_string(error) +
                     "@\n" + std::to_string(error) + "@\n";
  for (int i = 1; i <= n; ++i) text += "O" + std::to_string(i) + genotype();
  text += std::to_string(prop) + " " + std::to_string(prop) + "\n" + std::to_string(c1) + " " + std::to_string(c2) + "\n";
  for (int c = 1; c <= c1; ++c) text += "D" + std::to_string(c) + genotype();
  for (int c = 1; c <= c2; ++c) text += "M" + std::to_string(c) + genotype();
  return text + "0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
}

double Quantile(std::vector<double> x, double q) {
  std::sort(x.begin(), x.end());
  return x[static_cast<std::size_t>(q * static_cast<double>(x.size() - 1))];
}

struct SimulationCase {
  const char* name;
  int loci, alleles;
  double error, missing;
  int fathers, mothers;
  double prop;
  bool sure;  // every candidate sampled, error-free: right nearly always
};

TEST_F(ThresholdTest, SimulationFollowsTheDesign) {
  const std::vector<SimulationCase> cases = {
      {"all sampled, error-free", 12, 8, 0.0, 0.0, 8, 12, 1.0, true},
      {"a third sampled, errors, few loci", 4, 4, 0.05, 0.05, 10, 6, 0.33, false},
      {"no candidate fathers", 6, 6, 0.02, 0.0, 0, 5, 0.5, false},
  };
  for (const auto& c : cases) {
    ResetState();
    PrepareProject("th.dat", RandomProject(c.loci, c.alleles, c.error, c.missing, c.fathers, c.mothers, c.prop));
    const Ran1State main = SaveRan1();
    const int32_t idum3 = variables.idum3;
    variables.displayq = 1;
    testing::internal::CaptureStdout();
    DetermineDeltaValue(2);
    const std::string screen = testing::internal::GetCapturedStdout();
    const SimuVariables& sv = simuvariables;

    // The program's own generators are not drawn from.
    EXPECT_EQ(variables.idum, main.idum) << c.name;
    EXPECT_EQ(variables.ran1ix, main.ix) << c.name;
    EXPECT_EQ(variables.ran1iy, main.iy) << c.name;
    EXPECT_EQ(variables.idum3, idum3) << c.name;

    std::string want = "Estimating parentage by pairwise approach-Diploid Offspring...\n";
    if (c.fathers > 0) want += "  Simulating DELTA for Paternity, replication: 1 - 10000\n";
    want += "  Simulating DELTA for Maternity, replication: 1 - 10000\n\r  Simulation done.\n";
    EXPECT_EQ(screen, want) << c.name;

    for (int32_t s = 1; s <= 2; ++s) {
      if ((s == 1 ? c.fathers : c.mothers) == 0) {
        // A sex without candidates is not simulated: its column stays.
        for (int32_t level = 1; level <= 10; ++level) EXPECT_EQ(sv.Threshold(level, s), 0.0) << c.name;
        EXPECT_TRUE(sv.simdelta(s).empty()) << c.name;
        continue;
      }
      const std::vector<double>& delta = sv.simdelta(s);
      ASSERT_GT(delta.size(), 1000u) << c.name << ", sex " << s;
      ASSERT_LE(delta.size(), 10000u);
      for (int32_t level = 2; level <= 10; ++level) {
        EXPECT_LE(sv.Threshold(level, s), sv.Threshold(level - 1, s)) << c.name << ": a lower level needs less";
      }
      double right = 0;
      for (uint8_t x : sv.simcorrect(s)) right += x;
      right /= static_cast<double>(delta.size());
      if (c.sure) {
        // Right almost always: every level is met far down the deltas.
        EXPECT_GT(right, 0.99) << c.name;
        EXPECT_LE(sv.Threshold(1, s), Quantile(delta, 0.05)) << c.name << ", sex " << s;
      } else {
        // Often wrong: the 95% level lies high among the deltas.
        EXPECT_LT(right, 0.9) << c.name;
        EXPECT_GT(sv.Threshold(1, s), Quantile(delta, 0.5)) << c.name << ", sex " << s;
      }
    }
    // The same seed gives the same thresholds.
    const Mat1<double> first = sv.Threshold;
    variables.displayq = 0;
    DetermineDeltaValue(2);
    for (int32_t s = 1; s <= 2; ++s) {
      for (int32_t level = 1; level <= 10; ++level) EXPECT_EQ(sv.Threshold(level, s), first(level, s)) << c.name;
    }
  }
}

}  // namespace
