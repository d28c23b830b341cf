// Parentage thresholds simulated on samples whose design fixes where the
// thresholds lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
    const Mat1<double> first = sv.Threshold;
    variables.displayq = 0;
    DetermineDeltaValue(2);
    for (int32_t s = 1; s <= 2; ++s) {
      for (int32_t level = 1; level <= 10; ++level) EXPECT_EQ(sv.Threshold(level, s), first(level, s)) << c.name;
    }
  }
}

}  // namespace
