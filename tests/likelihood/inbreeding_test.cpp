// The inbreeding coefficient from the genotypes alone, against hand-worked
// samples.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/inbreeding.h"
#include "likelihood/likelihood_setup.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class InbreedingTest : public PedkinTest {
 protected:
  // One codominant locus with dropout D and the given offspring genotypes.
  void Load(const std::vector<std::string>& genotypes, const std::string& D) {
    std::string text = "'inb'\ninb\n" + std::to_string(genotypes.size()) +
                       "\n1\n3\n0\n2\n1\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n100000\n0\n1\n1\n\nMK@\n0@\n" + D +
                       "@\n0@\n\n";
    for (std::size_t i = 0; i < genotypes.size(); ++i) text += "O" + std::to_string(i + 1) + " " + genotypes[i] + "\n";
    text += "\n0.5 0.5\n0 0\n\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
    PrepareProject("inb.dat", text);
  }
};

TEST_F(InbreedingTest, HardyWeinbergDeficitOfHeterozygotes) {
  struct Case {
    std::vector<std::string> genotypes;
    std::string D;
    double expected;
  };
  // 4 AA, 2 AB, 4 BB: p = 0.5, observed heterozygosity 0.2 against 0.5
  // expected, F = 1 - 0.2 / 0.5; Hardy-Weinberg proportions give 0, and
  // so does a sample without homozygotes once the homozygotes' share is
  // iterated; homozygotes only give F = 1, held at 0.99.
  const std::vector<std::string> deficit = {"1 1", "1 1", "1 1", "1 1", "1 2", "1 2", "2 2", "2 2", "2 2", "2 2"};
  const std::vector<std::string> hw = {"1 1", "1 2", "1 2", "2 2"};
  const std::vector<std::string> excess = {"1 2", "1 2", "1 2", "1 2"};
  const std::vector<std::string> homozygotes = {"1 1", "1 1", "2 2", "2 2"};
  const Case cases[] = {{deficit, "0", 0.6}, {hw, "0", 0.0}, {excess, "0", 0.0}, {homozygotes, "0", 0.99}};
  for (const Case& c : cases) {
    ResetState();
    Load(c.genotypes, c.D);
    double F = 1.0;
    InitialInbCoe(F);
    EXPECT_NEAR(F, c.expected, 1e-3) << c.genotypes.size() << " offspring";
  }
  // With dropout an observed homozygote counts as a true one only with
  // weight w = p / (2 (1 - p) D / (1 + D) + p), so the deficit looks
  // smaller than without dropout.
  ResetState();
  Load(deficit, "0.2");
  double F = 0.0;
  InitialInbCoe(F);
  EXPECT_GT(F, 0.0);
  EXPECT_LT(F, 0.6);
  EXPECT_LT(InbFunc(F), 1e300);
}

}  // namespace
