// Run archive copies, the choice of the best run, and the pair clusters.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/pair_stage.h"
#include "driver/run_archive.h"
#include "genotype/genotype_codes.h"
#include "state/likelihoodvar.h"
#include "input/data_preparation.h"
#include "runctl/file_io.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class RunArchiveTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.fname = "proj";
    variables.smplsize = 4;
    variables.numsex = 2;
    Initialize();
  }
};

// A run archive as the search writes it: vectors broken over lines, commas
// after every number.
const char* kArchive =
    "   -1.25000000000000000000E+02\n"
    "1,1,2,2,\n1,2,\n3,3,\n"
    "1,1,2,2,\n"
    "0,5,0,0,\n"
    "   -1.30000000000000000000E+02\n"
    "1,2,3,4,\n1,2,3,4,\n1,2,3,4,\n0,0,0,0,\n";

// A run's archive copy holds whole configurations only, one vector per line.
TEST_F(RunArchiveTest, SaveArchiveCopiesSoundConfigurationsOneVectorPerLine) {
  struct Case {
    int32_t allmonogamy, fathers;
    std::string archive, copy;  // "": no file
  };
  const std::vector<Case> cases = {
      {0, 5, kArchive,
       "   -1.25000000000000000000E+02\n1,1,2,2,\n1,2,3,3,\n1,1,2,2,\n0,5,0,0,\n"
       "   -1.30000000000000000000E+02\n1,2,3,4,\n1,2,3,4,\n1,2,3,4,\n0,0,0,0,\n"},
      // Both sexes monogamous: one family vector; no candidates: no parent
      // vector. A configuration cut short, or naming a family beyond the
      // sample, ends the copy.
      {1, 0, "-5.0\n1,1,2,2,\n-6.0\n1,2,\n", "   -5.00000000000000000000E+00\n1,1,2,2,\n"},
      {1, 2, "-5.0\n1,1,2,2,\n0,2,0,0,\n-6.0\n1,5,2,2,\n0,0,0,0,\n",
       "   -5.00000000000000000000E+00\n1,1,2,2,\n0,2,0,0,\n"},
      {0, 0, "", ""},
  };
  for (const Case& c : cases) {
    variables.allmonogamy = c.allmonogamy;
    variables.numchild(1) = c.fathers;
    std::remove("proj.MidResult3");
    std::remove("proj.MidResult3.Run1");
    if (!c.archive.empty()) WriteFile("proj.MidResult3", c.archive);
    SaveArchive(1);
    if (c.copy.empty()) {
      EXPECT_FALSE(Exists("proj.MidResult3.Run1"));
    } else {
      EXPECT_EQ(ReadFile("proj.MidResult3.Run1"), c.copy);
    }
  }
}

TEST_F(RunArchiveTest, SelectRunTakesTheBestEarliestRun) {
  variables.allmonogamy = 1;
  variables.numrun = 4;
  WriteFile("proj.MidResult3.Run1", "-20.0\n1,1,1,1,\n");
  WriteFile("proj.MidResult3.Run2", "-10.0\n1,1,2,2,\n-11.0\n1,2,2,2,\n");
  // Run 3 is missing (it counts as the worst); run 4 ties with run 2.
  WriteFile("proj.MidResult3.Run4", "-10.0\n1,2,3,4,\n");
  WriteFile("proj.MidResult3", "-10.0\n1,2,3,4,\n");
  int32_t stopflag = 0;
  SelectRun(stopflag);
  EXPECT_EQ(variables.btloglikelihood, -10.0);
  EXPECT_EQ(ReadRunArchive("proj.MidResult3").size(), 2u);
  EXPECT_EQ(ReadRunArchive("proj.MidResult3")[1].vectors[0], (std::vector<int32_t>{1, 2, 2, 2}));
}

TEST_F(RunArchiveTest, DamagedCopiesAreNotChosen) {
  variables.allmonogamy = 1;
  variables.numchild(1) = 2;
  // The best first values belong to damaged copies: family 0, a candidate
  // beyond the candidates, a log likelihood that is not a number.
  variables.numrun = 5;
  WriteFile("proj.MidResult3.Run1", "-1.0\n0,1,2,2,\n0,0,0,0,\n");
  WriteFile("proj.MidResult3.Run2", "-2.0\n1,1,2,2,\n0,3,0,0,\n");
  WriteFile("proj.MidResult3.Run3", "nan\n1,1,2,2,\n0,0,0,0,\n");
  WriteFile("proj.MidResult3.Run4", "-20.0\n1,1,2,2,\n0,1,0,0,\n");
  WriteFile("proj.MidResult3.Run5", "-30.0\n1,2,3,4,\n0,0,0,0,\n");
  WriteFile("proj.MidResult3", "-30.0\n1,2,3,4,\n0,0,0,0,\n");
  int32_t stopflag = 0;
  SelectRun(stopflag);
  EXPECT_EQ(variables.btloglikelihood, -20.0);
  const std::vector<RunArchiveConfig> kept = ReadRunArchive("proj.MidResult3");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].vectors[1], (std::vector<int32_t>{0, 1, 0, 0}));
}

TEST_F(RunArchiveTest, SelectRunKeepsTheRunInMemory) {
  variables.allmonogamy = 1;
  variables.btloglikelihood = -3.0;
  WriteFile("proj.MidResult3", "-3.0\n1,2,3,4,\n");
  struct Case {
    int32_t numrun, stopflag;
    std::vector<std::string> runs;  // content of .Run1, .Run2, ...
  };
  const std::vector<Case> cases = {
      {1, 0, {"-1.0\n1,1,1,1,\n"}},                       // one run
      {2, -1, {"-1.0\n1,1,1,1,\n", "-3.0\n1,2,3,4,\n"}},  // cut short
      {2, 0, {"-9.0\n1,1,1,1,\n", "-3.0\n1,2,3,4,\n"}},   // last run best
      {2, 0, {"", "garbage\n"}},                          // nothing readable
  };
  for (const auto& c : cases) {
    variables.numrun = c.numrun;
    for (std::size_t r = 0; r < c.runs.size(); ++r) {
      WriteFile("proj.MidResult3.Run" + std::to_string(r + 1), c.runs[r]);
    }
    int32_t stopflag = c.stopflag;
    SelectRun(stopflag);
    EXPECT_EQ(variables.btloglikelihood, -3.0);
    EXPECT_EQ(ReadFile("proj.MidResult3"), "-3.0\n1,2,3,4,\n");
  }
}

// One list per line (count, then members); a count larger than the sample,
// an index out of range or a short line ends the reading, and what came
// before stays; no file leaves no clusters.
TEST_F(RunArchiveTest, SetClusterReadsOneListPerLineAndStopsAtBadLines) {
  variables.smplsize = 6;
  WriteFile("proj.PairCluster", "3, 1, 4, 6\n0\n2 2 3   comment\n\n1,5\n");
  SetCluster();
  ASSERT_EQ(variables.paircluster.size(), 6u);
  EXPECT_EQ(variables.paircluster(1), (std::vector<int16_t>{1, 4, 6}));
  EXPECT_TRUE(variables.paircluster(2).empty());
  EXPECT_EQ(variables.paircluster(3), (std::vector<int16_t>{2, 3}));
  EXPECT_EQ(variables.paircluster(4), (std::vector<int16_t>{5}));
  EXPECT_TRUE(variables.paircluster(5).empty());

  variables.smplsize = 3;
  for (const std::string content : {"", "1 2\n9 1 2 3\n1 3\n", "1 2\n2 1 7\n1 3\n", "1 2\n3 1 2\n", "1 2\nx\n1 3\n"}) {
    variables.paircluster.clear();
    std::remove("proj.PairCluster");
    if (!content.empty()) WriteFile("proj.PairCluster", content);
    SetCluster();
    if (content.empty()) {
      EXPECT_TRUE(variables.paircluster.empty());
      continue;
    }
    ASSERT_EQ(variables.paircluster.size(), 3u);
    EXPECT_EQ(variables.paircluster(1), (std::vector<int16_t>{2}));
    EXPECT_TRUE(variables.paircluster(2).empty()) << content;
    EXPECT_TRUE(variables.paircluster(3).empty()) << content;
  }
}

// The one-byte genotype table of the two-allele loci: codes capped at 3,
// offspring fastest, this process's share of the loci only.
TEST_F(RunArchiveTest, CompactTableOfTwoAlleleLoci) {
  variables.smplsize = 9;
  variables.numloci = 3;
  variables.dominantmarker.assign(3, 0);
  likelihoodvar.obsnumallele.assign(3, 2);
  likelihoodvar.obsnumallele(2) = 5;
  BuildGenotypeCodes(5);
  variables.indivgtype.assign(3);
  const std::vector<std::pair<int32_t, int32_t>> genotypes = {{1, 1}, {1, 2}, {2, 2}, {0, 0}, {1, 2},
                                                              {2, 2}, {1, 1}, {1, 2}, {0, 0}};
  for (int32_t l = 1; l <= 3; ++l) {
    variables.indivgtype(l).assign(ColumnWords(9, likelihoodvar.obsnumallele(l)), 0);
    setgetgtype.locusgtypeptr = &variables.indivgtype(l);
    for (int32_t i = 1; i <= 9; ++i) SetGtype(genotypes[static_cast<std::size_t>(l == 3 ? 9 - i : i - 1)], i, likelihoodvar.obsnumallele(l));
  }
  likelihoodvar.locus2 = {2, 1, 3};
  likelihoodvar.l2thread(1) = 2;  // this process holds the second position
  likelihoodvar.l2thread(2) = 2;
  SetGtype2();
  ASSERT_EQ(likelihoodvar.indivgtype1.size(), 9u);
  const std::vector<uint8_t> expected = {0, 3, 1, 2, 3, 0, 2, 3, 1};  // locus 3, reversed order
  EXPECT_EQ(likelihoodvar.indivgtype1, expected);
}

}  // namespace
