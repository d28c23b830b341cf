// The pairwise method's checkpoint, and the pair tables standing in for small
// families' likelihood.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "pairwise/dyad_tables.h"
#include "pairwise/pairwise_inference.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using PairwiseInferenceTest = PedkinTest;

TEST_F(PairwiseInferenceTest, CheckpointReadBackOnlyWhenSound) {
  variables.midfilename(5) = "ck.MidResult6";
  variables.LogPrior.assign(2, 2, 0.0);
  variables.LogPrior(1, 1) = std::log(0.3);
  variables.LogPrior(2, 1) = std::log(0.7);
  variables.LogPrior(1, 2) = std::log(0.9);
  variables.LogPrior(2, 2) = std::log(0.1);
  WriteMidResult6(2.5);
  const std::string good = ReadFile("ck.MidResult6");
  EXPECT_EQ(good.size(), 5u * 18 + 1);
  variables.LogPrior.assign(2, 2, 0.0);
  double t = 0;
  ASSERT_TRUE(ReadMidResult6(t));
  EXPECT_EQ(t, 2.5);
  EXPECT_NEAR(variables.LogPrior(1, 1), std::log(0.3), 1e-8);
  EXPECT_NEAR(variables.LogPrior(2, 2), std::log(0.1), 1e-8);

  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"empty", ""},
      {"garbage", "garbage\n"},
      {"cut short", good.substr(0, 60)},
      {"no temperature", "0 -1.2 -0.35 -0.1 -2.3\n"},
      {"negative temperature", "-1 -1.2 -0.35 -0.1 -2.3\n"},
      {"not a number", "nan -1.2 -0.35 -0.1 -2.3\n"},
      {"q of 1", "1 0 -1e300 -0.1 -2.3\n"},
      {"q and 1 - q apart", "1 -0.6931 -0.5 -0.1 -2.3\n"},
      {"trailing item", good.substr(0, good.size() - 1) + " 7\n"},
  };
  for (const auto& [name, text] : damaged) {
    WriteFile("ck.MidResult6", text);
    variables.LogPrior.assign(2, 2, 0.0);
    double temperature = -7;
    EXPECT_FALSE(ReadMidResult6(temperature)) << name;
    EXPECT_EQ(temperature, -7) << name;
    EXPECT_EQ(variables.LogPrior(1, 1), 0.0) << name;
  }
  std::remove("ck.MidResult6");
  EXPECT_FALSE(ReadMidResult6(t)) << "missing";
}

// A small sample of random genotypes with errors and a few candidates, for
// the pair tables against the pedigree likelihood.
std::string SmallProject() {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> allele(1, 4);
  auto genotype = [&] {
    std::string g;
    for (int l = 0; l < 5; ++l) g += " " + std::to_string(allele(rng)) + " " + std::to_string(allele(rng));
    return g + "\n";
  };
  std::string text = "'tables'\ntb\n4\n5\n3\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n0\n0\n1000\n0\n2\n3\nMK@\n0@\n0.02@\n0.02@\n";
  for (int i = 1; i <= 4; ++i) text += "O" + std::to_string(i) + genotype();
  text += "0.5 0.5\n2 2\n";
  for (const char* id : {"D1", "D2", "M1", "M2"}) text += std::string(id) + genotype();
  return text + "0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
}

struct ShortcutCase {
  const char* name;
  int32_t mode;
  std::vector<FamilyLoglVar::Parent> parents;
  std::vector<FamilyLoglVar::Family> families;
  const char* change;  // "" none, or what makes the shortcut not apply
  bool applies;
};

TEST_F(PairwiseInferenceTest, PairTablesStandInForThePedigreeOfSmallFamilies) {
  const std::vector<FamilyLoglVar::Parent> four = {{1, 0}, {2, 0}, {1, 0}, {2, 0}};
  const std::vector<ShortcutCase> cases = {
      {"one offspring", 1, {{1, 0}, {2, 0}}, {{0, 1, {3}}}, "", true},
      {"full sibs", 2, {{1, 0}, {2, 0}}, {{0, 1, {1, 2}}}, "", true},
      {"paternal half sibs", 2, four, {{0, 1, {1}}, {0, 3, {4}}}, "", true},
      {"maternal half sibs", 2, four, {{0, 1, {2}}, {2, 1, {3}}}, "", true},
      {"unrelated", 2, four, {{0, 1, {1}}, {2, 3, {4}}}, "", true},
      {"sampled father", 2, {{1, 2}, {2, 0}}, {{0, 1, {1, 2}}}, "", false},
      {"known mother", 2, {{1, 0}, {2, 0}}, {{0, 1, {1, 2}}}, "known", false},
      {"frequencies updated", 2, {{1, 0}, {2, 0}}, {{0, 1, {1, 2}}}, "update", false},
      {"one offspring, inbreeding", 1, {{1, 0}, {2, 0}}, {{0, 1, {3}}}, "inbreeding", true},
      {"three offspring", 2, {{1, 0}, {2, 0}}, {{0, 1, {1, 2, 3}}}, "", false},
      {"never with mode 0", 0, {{1, 0}, {2, 0}}, {{0, 1, {1, 2}}}, "", false},
  };
  PrepareProject("tb.dat", SmallProject());
  ASSERT_TRUE(OffspringDyadReady());
  const Variables saved = variables;
  for (const auto& c : cases) {
    variables = saved;
    likelihoodvar.inbindivlogl.clear();
    familyloglvar = FamilyLoglVar{};
    familyloglvar.parents = c.parents;
    familyloglvar.families = c.families;
    const std::string change = c.change;
    if (change == "known") variables.indivparent(2, 2) = 1;
    if (change == "update") variables.updateallelefre = 1;
    if (change == "inbreeding") variables.allowinbreeding = 1;
    double pedigree = 0, quick = 0;
    FamilyLikelihood(pedigree, -1e300, 1, 0, 0);
    FamilyLikelihood(quick, -1e300, 1, 0, c.mode);
    int32_t use = -1;
    double value = 0;
    UsePairwiseLogL(use, value, c.mode);
    EXPECT_EQ(use, c.applies ? 1 : 0) << c.name;
    ASSERT_GT(pedigree, -1e300) << c.name;
    if (!c.applies) {
      EXPECT_EQ(quick, pedigree) << c.name;
    } else if (change == "inbreeding") {
      // The family likelihood itself, computed once and then kept.
      EXPECT_NEAR(quick, pedigree, 1e-9 * std::fabs(pedigree)) << c.name;
      ASSERT_EQ(likelihoodvar.inbindivlogl.size(), 4u);
      EXPECT_LT(likelihoodvar.inbindivlogl(3), 0.1);
      EXPECT_GT(likelihoodvar.inbindivlogl(1), 0.1) << "only the offspring scored";
    } else {
      // Single-precision tables against the exact pedigree sum: they agree
      // to the tables' precision.
      EXPECT_NEAR(quick, pedigree, 1e-6 * std::fabs(pedigree)) << c.name;
    }
  }
}

}  // namespace
