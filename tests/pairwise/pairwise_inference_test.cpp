// The pairwise method on hand-made pair tables: its files worked by hand, its
// checkpoint, and the pair tables standing in for small families' likelihood.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "pairwise/dyad_tables.h"
#include "pairwise/pairwise_inference.h"
#include "state/dyadprbvariables.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/simuvariables.h"
#include "state/variables.h"
#include "support/fixture.h"
#include "support/pair_tables.h"

namespace {

class PairwiseInferenceTest : public PedkinTest {
 protected:
  // Six offspring O1..O6, every pair at -30 (10 below unrelated) under
  // every relationship until set; candidate fathers D1, D2 and one mother
  // F1 when `candidates`.
  void Sample(bool haplodiploid, bool candidates) {
    Variables& v = variables;
    const int32_t n = 6;
    v.fname = "pw";
    v.midfilename(5) = "pw.MidResult6";
    v.displayq = 0;
    v.smplsize = n;
    v.haplodiploid = haplodiploid ? 1 : 0;
    v.offspringid.assign(n);
    for (int32_t i = 1; i <= n; ++i) v.offspringid(i) = "O" + std::to_string(i);
    v.propprntsampled(1) = v.propprntsampled(2) = 0.5;
    HandParentTables(n, candidates ? 2 : 0, candidates ? 1 : 0);
    for (int32_t k = 1; k <= 3; ++k) {
      DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
      t.triangle = true;
      t.nrow = t.ncol = n;
      t.ready = true;
      t.logl.assign(static_cast<std::size_t>(n * (n - 1) / 2), -30.0f);
    }
    for (int32_t s = 1; s <= 2; ++s) {
      v.cndparentid(s).assign(static_cast<std::size_t>(v.numchild(s)));
      for (int32_t c = 1; c <= v.numchild(s); ++c) v.cndparentid(s)(c) = (s == 1 ? "D" : "F") + std::to_string(c);
      // Thresholds 9, 8, ..., 1, 0.5 of the levels 95, 90, ..., 50%.
      for (int32_t c = 1; c <= 10; ++c) simuvariables.Threshold(c, s) = c < 10 ? 10 - c : 0.5;
    }
  }
  static void Pair(int32_t kind, int32_t i, int32_t j, float x) {
    DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(kind + 1);
    t.logl[DyadTriangleIndex(i, j, t.nrow)] = x;
  }
};

struct FilesCase {
  const char* name;
  bool haplodiploid, candidates, monogamous;
  std::map<std::string, std::string> want;  // suffix -> content; "" = no file
};

TEST_F(PairwiseInferenceTest, FilesWorkedByHand) {
  const std::string pairs = "OffspringID1,OffspringID2\n";
  const std::string parents = "OffspringID,CandidateID,Confidence\n";
  const std::vector<FilesCase> cases = {
      // O1-O2 full sibs; O1-O3 half sibs (2 above unrelated, against 10
      // below as full sibs); O2-O3 full sibs by only 0.00005, a near tie
      // that goes to unrelated; O4-O5 half sibs by 0.2. Clusters {1, 2, 3},
      // {4, 5}. Fathers: O1 scores 12 and 2 (delta 10, above every
      // threshold: 100%), O2 5 and 0.5 (delta 4.5, short of the thresholds
      // 9..5: 75%), O3 at most -1 (no father), O4 has D2 as known father,
      // O5 has D1 excluded and scores 0.3 with D2 alone (delta 0.3 against
      // no other candidate: 50%), O6 is impossible with D1 and scores 1.5
      // with D2 (100%). The one mother scores 3 with O1 (short of 9..4:
      // 70%) and -5 with the others.
      {"diploid", false, true, false,
       {{".PairwiseFullSibDyad", pairs + "O1,O2\n"},
        {".PairwiseHalfSibDyad", pairs + "O1,O3\nO4,O5\n"},
        {".PairwiseCloneDyad", ""},
        {".PairwisePaternity", parents + "O1,D1,100%\nO2,D1,75%\nO4,D2,100%\nO5,D2,50%\nO6,D2,100%\n"},
        {".PairwiseMaternity", parents + "O1,F1,70%\n"},
        {".PairCluster", "3,1,2,3\n2,4,5\n"}}},
      // Every parent monogamous: no half sibs and no half-sib file; O4-O5,
      // 0.1 above unrelated as full sibs, become full sibs.
      {"monogamous", false, true, true,
       {{".PairwiseFullSibDyad", pairs + "O1,O2\nO4,O5\n"},
        {".PairwiseHalfSibDyad", ""},
        {".PairwisePaternity", parents + "O1,D1,100%\nO2,D1,75%\nO4,D2,100%\nO5,D2,50%\nO6,D2,100%\n"},
        {".PairwiseMaternity", parents + "O1,F1,70%\n"},
        {".PairCluster", "2,1,2\n2,4,5\n"}}},
      // Haplodiploid, O4 and O5 haploid sons: O1-O3 share the father (the
      // paternal table is 2 above unrelated, the maternal one below); O3 and
      // the son O4 share their mother; the sons O4 and O5, as likely full as
      // maternal half sibs, are one mother's family: full sibs. No
      // candidates: no parentage files, and those of an earlier execution
      // are removed.
      {"haplodiploid", true, false, false,
       {{".PairwiseFullSibDyad", pairs + "O1,O2\nO4,O5\n"},
        {".PairwiseHalfSibDyad", "OffspringID1,OffspringID2,Paternal(P)/Maternal(M)\nO1,O3,P\nO3,O4,M\n"},
        {".PairwisePaternity", ""},
        {".PairwiseMaternity", ""},
        {".PairCluster", "5,1,2,3,4,5\n"}}},
  };
  for (const auto& c : cases) {
    ResetState();
    Sample(c.haplodiploid, c.candidates);
    Variables& v = variables;
    v.monogamy(1) = v.monogamy(2) = v.allmonogamy = c.monogamous ? 1 : 0;
    WriteFile("pw.PairwisePaternity", "stale\n");
    WriteFile("pw.PairwiseHalfSibDyad", "stale\n");
    Pair(kFullSibDyad, 1, 2, -15);
    Pair(kPaternalHalfSibDyad, 1, 2, -17);
    Pair(kPaternalHalfSibDyad, 1, 3, -18);
    Pair(kFullSibDyad, 2, 3, -19.99995f);
    Pair(kPaternalHalfSibDyad, 2, 3, -25);
    if (c.haplodiploid) {
      v.offploid(4) = v.offploid(5) = 1;
      // Tables as the pair computation leaves them for sons.
      for (int32_t j = 1; j <= 6; ++j) {
        for (int32_t son : {4, 5}) {
          if (j == son) continue;
          Pair(kPaternalHalfSibDyad, son, j, kImpossibleDyadLogL);
          if (j != 4 && j != 5) Pair(kFullSibDyad, son, j, kImpossibleDyadLogL);
        }
      }
      Pair(kFullSibDyad, 4, 5, -19.9f);
      Pair(kMaternalHalfSibDyad, 4, 5, -19.9f);
      Pair(kMaternalHalfSibDyad, 3, 4, -19);
    } else {
      Pair(kFullSibDyad, 4, 5, -19.9f);
      Pair(kPaternalHalfSibDyad, 4, 5, -19.8f);
    }
    if (c.candidates) {
      const float impossible = kImpossibleDyadLogL;
      const std::vector<std::vector<float>> fathers = {{12, 2}, {5, 0.5f}, {-3, -1}, {8, 8}, {9, 0.3f}, {impossible, 1.5f}};
      for (int32_t i = 1; i <= 6; ++i) {
        for (int32_t d = 1; d <= 2; ++d) ScoreCandidate(1, i, d, fathers[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(d - 1)]);
        ScoreCandidate(2, i, 1, i == 1 ? 3.0f : -5.0f);
      }
      v.indivparent(4, 1) = 2;
      v.excludedparent(1)(5) = {1};
    }
    PairwiseInference();

    for (const auto& [suffix, content] : c.want) {
      if (content.empty()) {
        EXPECT_FALSE(Exists("pw" + suffix)) << c.name << ": " << suffix;
      } else {
        EXPECT_EQ(ReadFile("pw" + suffix), content) << c.name << ": " << suffix;
      }
    }

    // The checkpoint: the starting temperature a tenth of the median
    // closest-kin score (2, of O3; the others' are 5, 5, 0.2, 0.2 and 0 in
    // the diploid case), kept between 0.5 and the one informative locus the
    // sample is taken to have: 0.5. The chance of a sampled father is the
    // mean confidence over the six offspring, (1 + .75 + 1 + .5 + 1) / 6, of
    // a sampled mother 0.7 / 6; without candidates the proportions sampled.
    const double q1 = c.candidates ? 4.25 / 6 : 0.5, q2 = c.candidates ? 0.7 / 6 : 0.5;
    char line[128];
    std::snprintf(line, sizeof line, "%18.8E%18.8E%18.8E%18.8E%18.8E\n", 0.5, std::log(q1), std::log(1 - q1),
                  std::log(q2), std::log(1 - q2));
    EXPECT_EQ(ReadFile("pw.MidResult6"), line) << c.name;
    EXPECT_NEAR(v.LogPrior(1, 1), std::log(q1), 1e-12) << c.name;
    EXPECT_NEAR(v.LogPrior(2, 2), std::log(1 - q2), 1e-12) << c.name;
  }
}

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
