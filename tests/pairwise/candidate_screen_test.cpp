// Short lists of candidate parents: weights worked by hand, the rules for
// known, excluded and monoecious candidates, a simulated sample, the cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "likelihood/pedigree_oracle.h"
#include "pairwise/candidate_screen.h"
#include "pairwise/dyad_tables.h"
#include "state/dyadprbvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"
#include "support/pair_tables.h"

namespace {

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

class CandidateScreenTest : public PedkinTest {
 protected:
  void Sample(int32_t n, int32_t nc, int32_t numsex = 2) {
    variables.fname = "scr";
    variables.displayq = 0;
    variables.numsex = numsex;
    HandParentTables(n, nc, nc);
    ClearBestCnd();
  }
  static void Scores(int32_t sex, int32_t i, const std::vector<float>& x) {
    for (std::size_t c = 0; c < x.size(); ++c) ScoreCandidate(sex, i, static_cast<int32_t>(c + 1), x[c]);
  }
};

TEST_F(CandidateScreenTest, WeightsAndLinesWorkedByHand) {
  Sample(5, 7);
  // Offspring 1: weights e^x of 1 (candidate 2), e^-1 (3), e^-2 (1), e^-3
  // (4), e^-4 (5 and 6, tied for fifth: the earlier stays); 7 impossible.
  // S = 1 + e^-1 + ... + e^-4 = 1.57131743..., T = S + e^-4, so the
  // cumulative shares are 0.63640864656, 0.87053030381, 0.95665884825,
  // 0.98834376904, 1, and half the listed share of T is 0.494239035...
  Scores(2, 1, {-2, 0, -1, -3, -4, -4});
  // Offspring 2 fits candidate 2 well but has it as known mother.
  Scores(2, 2, {-5, 0, -5});
  variables.indivparent(2, 2) = 2;
  // Offspring 3 fits all, and all are excluded.
  Scores(2, 3, {0, 0, 0, 0, 0, 0, 0});
  variables.excludedparent(2)(3) = {1, 2, 3, 4, 5, 6, 7};
  // Offspring 4: one candidate overwhelms six at e^-25, below 1e-8 of the
  // kept weight: a list of one.
  Scores(2, 4, {0, -25, -25, -25, -25, -25, -25});
  // Offspring 5: equal weights keep candidate order; S = T = 1 + 2e^-1.
  Scores(2, 5, {-1, 0, -1});
  ComputeBestCnd(1);
  ComputeBestCnd(2);

  const std::vector<std::string> want = {
      "5,2,6.3640864656E-01,3,8.7053030381E-01,1,9.5665884825E-01,4,9.8834376904E-01,5,1.0,4.9423903227E-01",
      "0",
      "0",
      "1,1,9.9999999994E-01,5.0000000000E-01",
      "3,2,5.7611688477E-01,1,7.8805844238E-01,3,1.0000000000E+00,5.0000000000E-01",
  };
  for (int32_t i = 1; i <= 5; ++i) {
    EXPECT_EQ(BestCndLine(i, 2), want[static_cast<std::size_t>(i - 1)]) << "offspring " << i;
    EXPECT_EQ(BestCndLine(i, 1), "0") << "every father impossible";
  }
  // The lines show the tables; the stop mark follows the last listed
  // candidate, also of an empty list.
  const Mat1<double>& prb = variables.PrbBestCnd(2);
  const double stop = 1.00000001;
  EXPECT_EQ(std::tuple(prb(6, 1), prb(2, 4), prb(1, 2), prb(1, 3)), std::tuple(stop, stop, stop, stop));
  EXPECT_EQ(variables.PrbBestCnd1(2, 3), 0.0f);
}

TEST_F(CandidateScreenTest, AMonoeciousLeaderCloseToTheSecondSharesItsWeight) {
  struct Case {
    std::vector<float> x;
    int32_t numsex;
    const char* line;
  };
  // Weights 1, e^-1, e^-30: the leader holds more than half and the second
  // more than 1% of it: both get (1 + e^-1)/2. Not so with two sexes, nor
  // when the second is below 1% (e^-5), nor when the leader holds only half.
  const std::vector<Case> cases = {
      {{0, -1, -30}, 1, "2,1,5.0000000000E-01,2,1.0000000000E+00,5.0000000000E-01"},
      {{0, -1, -30}, 2, "2,1,7.3105857863E-01,2,1.0000000000E+00,5.0000000000E-01"},
      {{0, -5, -30}, 1, "2,1,9.9330714908E-01,2,1.0000000000E+00,5.0000000000E-01"},
      {{0, 0, -30}, 1, "2,1,5.0000000000E-01,2,1.0000000000E+00,5.0000000000E-01"},
  };
  for (const Case& c : cases) {
    Sample(1, 3, c.numsex);
    Scores(1, 1, c.x);
    ComputeBestCnd(1);
    EXPECT_EQ(BestCndLine(1, 1), c.line);
  }
}

TEST_F(CandidateScreenTest, HaploidSonsHaveNoFatherList) {
  Sample(2, 2);
  variables.haplodiploid = 1;
  variables.offploid(2) = 1;
  for (int32_t s = 1; s <= 2; ++s) {
    Scores(s, 1, {0, -1});
    Scores(s, 2, {0, -1});
  }
  ComputeBestCnd(1);
  ComputeBestCnd(2);
  EXPECT_EQ(variables.NumBestCnd(1, 1), 2);
  EXPECT_EQ(variables.NumBestCnd(2, 1), 0);
  EXPECT_EQ(variables.NumBestCnd(2, 2), 2);
}

class CandidateFileTest : public PedkinTest {
 protected:
  void Install(uint32_t seed) {
    std::mt19937 rng(seed);
    variables.displayq = 0;
    variables.fname = "proj";
    std::vector<OracleLocus> loci(10, OracleLocus{8, 0.01, 0.01, false, {}});
    std::vector<int32_t> sexes = {1, 1, 2, 2};
    for (int32_t k = 0; k < 12; ++k) sexes.push_back(k < 6 ? 1 : 2);
    std::vector<int32_t> sampled(sexes.size());
    for (std::size_t k = 0; k < sampled.size(); ++k) sampled[k] = static_cast<int32_t>(k);
    const OracleShape shape{"screen", sexes, {{0, 2}, {0, 3}, {1, 3}, {1, 2}}, sampled};
    sample = DrawPedigree(rng, shape, loci, false, 0.05, 0.01, 5);
    InstallPedigree(sample);  // the set-up builds the lists and writes the file
    for (const auto& f : sample.families) {
      for (std::size_t c = 0; c < f.offspring.size(); ++c) {
        father.push_back(f.father + 1);  // candidates 1, 2 of each sex are the parents
        mother.push_back(f.mother - 1);
      }
    }
  }
  struct Lists {
    Mat1<int8_t> num;
    Arr1<Mat1<int16_t>, 2> best;
    Arr1<Mat1<double>, 2> prb;
    Mat1<float> share;
    bool operator==(const Lists& o) const {
      auto same = [](auto a, auto b) {
        if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
        for (std::size_t i = 1; i <= a.rows(); ++i)
          for (std::size_t j = 1; j <= a.cols(); ++j)
            if (a(static_cast<long>(i), static_cast<long>(j)) != b(static_cast<long>(i), static_cast<long>(j))) return false;
        return true;
      };
      return same(num, o.num) && same(share, o.share) && same(best(1), o.best(1)) && same(best(2), o.best(2)) &&
             same(prb(1), o.prb(1)) && same(prb(2), o.prb(2));
    }
  };
  static Lists Current() {
    const Variables& v = variables;
    return {v.NumBestCnd, v.BestCnd, v.PrbBestCnd, v.PrbBestCnd1};
  }
  OraclePedigree sample;
  std::vector<int32_t> father, mother;
};

TEST_F(CandidateFileTest, TheTrueParentsLeadTheListsAndKnownParentsEmptyThem) {
  Install(3);
  const int32_t n = variables.smplsize;
  for (int32_t i = 1; i <= n; ++i) {
    EXPECT_EQ(variables.BestCnd(1)(1, i), father[static_cast<std::size_t>(i - 1)]) << i;
    EXPECT_EQ(variables.BestCnd(2)(1, i), mother[static_cast<std::size_t>(i - 1)]) << i;
    for (int32_t s = 1; s <= 2; ++s) {
      const int32_t count = variables.NumBestCnd(i, s);
      EXPECT_GE(count, 1);
      if (count == 5) {
        EXPECT_NE(BestCndLine(i, s).find(",1.0,"), std::string::npos);
      }
    }
  }
  std::vector<std::string> motherLines;
  for (int32_t i = 1; i <= n; ++i) motherLines.push_back(BestCndLine(i, 2));
  variables.indivparent.assign(static_cast<std::size_t>(n), 2, -1);
  variables.indivparent(1, 1) = father[0];
  variables.indivparent(2, 1) = 5;
  SetGetBestCnd();
  EXPECT_EQ(variables.NumBestCnd(1, 1), 0);
  EXPECT_EQ(variables.NumBestCnd(2, 1), 0);
  EXPECT_EQ(BestCndLine(1, 1), "0");
  EXPECT_GE(variables.NumBestCnd(3, 1), 1);
  for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(BestCndLine(i, 2), motherLines[static_cast<std::size_t>(i - 1)]) << i;
  const std::vector<std::string> lines = SplitLines(ReadFile("proj.BestPrntCND"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 * n + 1));
  EXPECT_EQ(lines[0], "0");
  EXPECT_EQ(lines[1], "0");
}

TEST_F(CandidateFileTest, TheFileHoldsTheListsAndIsReadBackOnlyWhenItFits) {
  Install(5);
  const int32_t n = variables.smplsize;
  const Lists lists = Current();
  ASSERT_TRUE(Exists("proj.BestPrntCND"));
  const std::string good = ReadFile("proj.BestPrntCND");
  const std::vector<std::string> lines = SplitLines(good);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 * n + 1));
  for (int32_t s = 1; s <= 2; ++s) {
    for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(lines[static_cast<std::size_t>((s - 1) * n + i - 1)], BestCndLine(i, s));
  }
  EXPECT_EQ(lines.back().size(), 17u);
  EXPECT_EQ(lines.back()[0], '#');

  // Read back as it stands: the same lists, and a value edited in a
  // well-formed file is taken.
  ClearBestCnd();
  SetGetBestCnd();
  EXPECT_TRUE(Current() == lists);
  std::vector<std::string> edited = lines;
  std::string& first = edited[0];
  first = first.substr(0, first.rfind(',') + 1) + "1.2500000000E-01";
  WriteFile("proj.BestPrntCND", Join(edited));
  SetGetBestCnd();
  EXPECT_EQ(variables.PrbBestCnd1(1, 1), 0.125f);
  WriteFile("proj.BestPrntCND", good);

  auto replaceLine = [&](std::size_t k, const std::string& text) {
    std::vector<std::string> l = lines;
    l[k] = text;
    WriteFile("proj.BestPrntCND", Join(l));
  };
  const std::vector<std::pair<const char*, std::function<void()>>> damages = {
      {"truncated", [&] { WriteFile("proj.BestPrntCND", good.substr(0, good.size() / 2)); }},
      {"another digest", [&] { replaceLine(lines.size() - 1, "#0123456789abcdef"); }},
      {"count above five", [&] { replaceLine(0, "6" + lines[0].substr(1)); }},
      {"candidate out of range",
       [&] { replaceLine(0, "1," + std::to_string(variables.numchild(1) + 1) + ",1.0000000000E+00,5.0000000000E-01"); }},
      {"not a number", [&] { replaceLine(0, "1,1,nan,5.0000000000E-01"); }},
  };
  for (const auto& [name, damage] : damages) {
    damage();
    ClearBestCnd();
    SetGetBestCnd();
    EXPECT_TRUE(Current() == lists) << name;
    EXPECT_EQ(ReadFile("proj.BestPrntCND"), good) << name;
  }
  EXPECT_FALSE(Exists("proj.BestPrntCND.tmp"));

  // A well-formed file made from other data (another exclusion).
  const int32_t top = variables.BestCnd(2)(1, 1);
  variables.excludedparent(2).assign(static_cast<std::size_t>(n));
  variables.excludedparent(2)(1) = {top};
  SetGetBestCnd();
  EXPECT_NE(variables.BestCnd(2)(1, 1), top);
  EXPECT_NE(ReadFile("proj.BestPrntCND"), good);
  variables.excludedparent(2)(1).clear();
  SetGetBestCnd();
  EXPECT_TRUE(Current() == lists);
  EXPECT_EQ(ReadFile("proj.BestPrntCND"), good);
}

TEST_F(CandidateFileTest, WithoutCandidatesEveryListIsEmptyAndNoFileIsWritten) {
  variables.displayq = 0;
  variables.fname = "proj";
  std::mt19937 rng(9);
  const OracleShape shape{"none", {1, 2}, {{0, 1}}, {}};
  sample = DrawPedigree(rng, shape, std::vector<OracleLocus>(3, OracleLocus{4, 0.01, 0.01, false, {}}), false, 0.0,
                        0.0, 5);
  InstallPedigree(sample);
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    EXPECT_EQ(variables.NumBestCnd(i, 1), 0);
    EXPECT_EQ(variables.NumBestCnd(i, 2), 0);
    EXPECT_EQ(variables.PrbBestCnd(1)(1, i), 1.00000001);
  }
  EXPECT_FALSE(Exists("proj.BestPrntCND"));
  EXPECT_FALSE(Exists("proj.DadDyadLogL"));
}

}  // namespace
