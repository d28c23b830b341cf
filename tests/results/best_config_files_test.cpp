// The files of the best configuration written by the output step: exact
// contents of a small dioecious case, parent identifiers, clone column,
// the family-ordered copy, and failed writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "results/output.h"
#include "search/archive.h"
#include "state/variables.h"
#include "output_fixture.h"
#include "support/fixture.h"

namespace {

// The father and mother columns of a ".BestConfig" text, header included.
std::vector<std::pair<std::string, std::string>> ParentColumns(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> columns;
  for (const std::string& line : SplitLines(text)) {
    const auto w = Words(line);
    columns.emplace_back(w[1], w[2]);
  }
  return columns;
}

class OutputTestFiles : public OutputFixture {
 protected:
  // n offspring O1.., candidate fathers F1.. and mothers M1...
  static void Sample(int32_t n, int32_t fathers, int32_t mothers, int32_t numsex = 2) {
    OutputFixture::Sample(n, numsex);
    Variables& v = variables;
    v.numchild(1) = fathers;
    v.numchild(2) = mothers;
    for (int32_t k = 1; k <= 2; ++k) {
      const int32_t m = k == 1 ? fathers : mothers;
      v.cndparentid(k).assign(static_cast<std::size_t>(m));
      for (int32_t c = 1; c <= m; ++c) v.cndparentid(k)(c) = (k == 1 ? "F" : "M") + std::to_string(c);
    }
  }
};

TEST_F(OutputTestFiles, SmallDioeciousExactContents) {
  Sample(4, 2, 1);
  // Father F2 is named on one member of paternal family 1 only; clusters
  // are given wrongly labelled and come out numbered by first member.
  SetBest({1, 1, 2, 3}, {1, 1, 1, 2}, {7, 7, 7, 3}, {2, 0, 0, 0});
  Output();

  const std::string row1 = Sp(19) + "O1" + Sp(19) + "F2" + Sp(19) + "#1";
  EXPECT_EQ(ReadFile("t.BestCluster"),
            "ClusterIndex Probability" + Sp(10) + "OffspringID" + Sp(13) + "FatherID" + Sp(13) + "MotherID\n" +
                "           1      1.0000" + row1 + "\n" +
                "           1      1.0000" + Sp(19) + "O2" + Sp(19) + "F2" + Sp(19) + "#1\n" +
                "           1      1.0000" + Sp(19) + "O3" + Sp(19) + "*1" + Sp(19) + "#1\n" +
                "           2      1.0000" + Sp(19) + "O4" + Sp(19) + "*2" + Sp(19) + "#2\n");

  EXPECT_EQ(ReadFile("t.BestFSFamily"),
            "FullSibshipIndex Prob(Inc.) Prob(Exc.)    Member1,Member2\n"
            "               1     1.0000     1.0000    O1,O2\n"
            "               2     1.0000     1.0000    O3\n"
            "               3     1.0000     1.0000    O4\n");

  const std::string header =
      Sp(9) + "OffspringID" + Sp(13) + "FatherID" + Sp(13) + "MotherID" + Sp(2) + "ClusterIndex\n";
  auto row = [](const std::string& o, const std::string& f, const std::string& m, const std::string& c) {
    return Sp(20 - o.size()) + o + Sp(21 - f.size()) + f + Sp(21 - m.size()) + m + Sp(14 - c.size()) + c + "\n";
  };
  EXPECT_EQ(ReadFile("t.BestConfig"), header + row("O1", "F2", "#1", "1") + row("O2", "F2", "#1", "1") +
                                          row("O3", "*1", "#1", "1") + row("O4", "*2", "#2", "2"));
  // Keys 0.99/P + Q(m+1) - (0.98/N)/O + m/P' with m = 3, N = 4, O = i:
  // O1 7.745, O2 7.8675, O3 6.408, O4 9.434.
  EXPECT_EQ(ReadFile("t.BestConfig_Ordered"), header + row("O3", "*1", "#1", "1") + row("O1", "F2", "#1", "1") +
                                                  row("O2", "F2", "#1", "1") + row("O4", "*2", "#2", "2"));

  EXPECT_EQ(ReadFile("t.ErrorRate"),
            "MarkerID,StartDropRate,DropRateEst,DropRateCI95LB,DropRateCI95UB,StartOtherErrorRate,"
            "OtherErrorRateEst,OtherErrorRateCI95LB,OtherErrorRateCI95UB\n");
  EXPECT_FALSE(Exists("t.Inbreeding"));
  EXPECT_FALSE(Exists("t.Selfer"));

  // The best configuration now holds the recomputed clusters and every
  // member of a family carries the family's parent.
  EXPECT_EQ(variables.BtIndivLoc(1, 3), 1);
  EXPECT_EQ(variables.BtIndivLoc(4, 3), 2);
  EXPECT_EQ(variables.BtNumFamily(3), 2);
  EXPECT_EQ(variables.BtInferParent(2, 1), 2);
  EXPECT_EQ(variables.CrIndivLoc(4, 3), 2);
}

TEST_F(OutputTestFiles, FullLengthIdentifiersKeepOneBlank) {
  Sample(2, 1, 0);
  variables.offspringid(1) = "ABCDEFGHIJKLMNOPQRST";
  variables.cndparentid(1)(1) = "FATHER_WITH_20_CHARS";
  SetBest({1, 2}, {1, 2}, {1, 2}, {1, 0});
  Output();
  const std::vector<std::string> lines = SplitLines(ReadFile("t.BestCluster"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "           1      1.0000 ABCDEFGHIJKLMNOPQRST FATHER_WITH_20_CHARS" + Sp(19) + "#1");
  EXPECT_EQ(SplitLines(ReadFile("t.BestConfig"))[1].substr(0, 41), "ABCDEFGHIJKLMNOPQRST FATHER_WITH_20_CHARS");
}

TEST_F(OutputTestFiles, ClusterRowsGroupedByClusterWithArchiveProbabilities) {
  Sample(4, 0, 0);
  // Clusters {1, 3} (father 1), {2}, {4}.
  SetBest({1, 2, 1, 3}, {1, 2, 3, 4}, {1, 2, 1, 3});
  // An archived alternative joins 2 to 1 and 3 through mother 1, weight 3
  // against the best's 1.
  Archive({1, 2, 1, 3}, {1, 1, 3, 4}, {1, 1, 1, 2}, -100.0 + std::log(3.0));
  Archive({1, 2, 1, 3}, {1, 2, 3, 4}, {1, 2, 1, 3}, -100.0);
  Output();
  // No full-sib family has two members: the header names Member1 alone.
  EXPECT_EQ(SplitLines(ReadFile("t.BestFSFamily"))[0], "FullSibshipIndex Prob(Inc.) Prob(Exc.)    Member1");
  const std::vector<std::string> lines = SplitLines(ReadFile("t.BestCluster"));
  ASSERT_EQ(lines.size(), 5u);
  const std::vector<std::vector<std::string>> want = {
      {"1", "0.2500", "O1"}, {"1", "0.2500", "O3"}, {"2", "0.2500", "O2"}, {"3", "1.0000", "O4"}};
  for (std::size_t r = 0; r < want.size(); ++r) {
    const auto w = Words(lines[r + 1]);
    EXPECT_EQ(std::vector<std::string>(w.begin(), w.begin() + 3), want[r]) << lines[r + 1];
  }
}

TEST_F(OutputTestFiles, CloneColumnOnlyWhenClonesAllowed) {
  struct Case {
    int32_t allowclone;
    std::size_t columns;
  };
  for (const Case c : {Case{0, 4}, Case{1, 5}}) {
    ResetState();
    variables.displayq = 0;
    variables.fname = "t";
    variables.allowclone = c.allowclone;
    Sample(3, 0, 0);
    SetBest({1, 1, 2}, {1, 1, 2}, {1, 1, 2});
    Output();
    for (const std::string suffix : {".BestConfig", ".BestConfig_Ordered"}) {
      const std::vector<std::string> lines = SplitLines(ReadFile("t" + suffix));
      ASSERT_EQ(lines.size(), 4u) << suffix;
      for (const std::string& line : lines) EXPECT_EQ(Words(line).size(), c.columns) << suffix << ": " << line;
      const std::size_t width = 20 + 21 + 21 + 14 * (c.columns - 3);
      EXPECT_EQ(lines[0].size(), width);
      EXPECT_EQ(lines[1].size(), width);
    }
    const std::vector<std::string> lines = SplitLines(ReadFile("t.BestConfig"));
    if (c.allowclone == 1) {
      EXPECT_EQ(lines[0], Sp(9) + "OffspringID" + Sp(13) + "FatherID" + Sp(13) + "MotherID" + Sp(4) + "CloneIndex" +
                              Sp(2) + "ClusterIndex");
      // Without genotypes no two offspring are told to be one.
      for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(Words(lines[static_cast<std::size_t>(i)])[3], std::to_string(i));
    }
  }
}

TEST_F(OutputTestFiles, UnsampledParentNamesAndHaploidFathers) {
  // Dioecious: families numbered per sex in the order the offspring meet
  // them, candidates by name; a haploid son has no father.
  Sample(5, 1, 1);
  variables.haplodiploid = 1;
  variables.offploid.assign(5, 2);
  variables.offploid(3) = 1;
  SetBest({3, 3, 9, 1, 2}, {2, 1, 2, 1, 3}, {1, 1, 1, 1, 1}, {0, 0, 0, 0, 1}, {0, 0, 0, 1, 0});
  Output();
  const auto got = ParentColumns(ReadFile("t.BestConfig"));
  const std::vector<std::pair<std::string, std::string>> want = {
      {"FatherID", "MotherID"}, {"*1", "#1"}, {"*1", "M1"}, {"*-", "#1"}, {"*2", "M1"}, {"F1", "#2"}};
  EXPECT_EQ(got, want);
}

TEST_F(OutputTestFiles, MonoeciousParentsShareOneNumbering) {
  Sample(5, 0, 0, 1);
  SetBest({1, 1, 2, 3, 4}, {1, 1, 2, 4, 3}, {1, 1, 2, 3, 3});
  Output();
  const auto got = ParentColumns(ReadFile("t.BestConfig"));
  // A parent keeps its name on either side; selfed offspring show it twice.
  const std::vector<std::pair<std::string, std::string>> want = {
      {"FatherID", "MotherID"}, {"#1", "#1"}, {"#1", "#1"}, {"#2", "#2"}, {"#3", "#4"}, {"#4", "#3"}};
  EXPECT_EQ(got, want);
  // Offspring 4 and 5 have the same two parents: one full-sib family.
  EXPECT_NE(ReadFile("t.BestFSFamily").find("               3     1.0000     1.0000    O4,O5\n"), std::string::npos);
}

// The ordered copy follows the key computed independently here.
TEST_F(OutputTestFiles, OrderedCopyFollowsTheFamilyKey) {
  const Ints pat = {3, 1, 2, 1, 4, 3, 2, 5};
  const Ints mat = {2, 1, 3, 2, 4, 2, 1, 5};
  const int32_t n = 8;
  struct Case {
    const char* name;
    Ints order;  // IndivOrder; empty = none
  };
  const std::vector<Case> cases = {
      {"sample order", {}},
      {"visiting order", {5, 3, 8, 1, 2, 7, 4, 6}},
      {"entry 0 stands for the sample position", {5, 0, 8, 1, 2, 7, 4, 6}},
  };
  for (const Case& c : cases) {
    ResetState();
    variables.displayq = 0;
    variables.fname = "t";
    Sample(n, 0, 0);
    SetBest(pat, mat, Ints(8, 1));
    if (!c.order.empty()) {
      variables.IndivOrder.assign(c.order.size());
      for (std::size_t j = 0; j < c.order.size(); ++j) variables.IndivOrder(static_cast<long>(j) + 1) = c.order[j];
    }
    Output();
    // Clusters worked out by hand: 1-4-6 share mother 2, 2-4 father 1,
    // 2-7 mother 1, 3-7 father 2; 5 and 8 stand alone.
    const Ints cluster = {1, 1, 1, 1, 2, 1, 1, 3};
    const int32_t m = *std::max_element(pat.begin(), pat.end());
    std::vector<double> key(n);
    for (int32_t i = 0; i < n; ++i) {
      const auto j = static_cast<std::size_t>(i);
      const int32_t o = c.order.empty() || c.order[j] == 0 ? i + 1 : c.order[j];
      key[j] = 0.99 / mat[j] + cluster[j] * (m + 1.0) - (0.98 / n) / o + static_cast<double>(m) / pat[j];
    }
    std::vector<int32_t> want(n);
    std::iota(want.begin(), want.end(), 0);
    std::stable_sort(want.begin(), want.end(), [&key](int32_t a, int32_t b) {
      return key[static_cast<std::size_t>(a)] < key[static_cast<std::size_t>(b)];
    });
    const std::vector<std::string> lines = SplitLines(ReadFile("t.BestConfig_Ordered"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(n) + 1) << c.name;
    for (int32_t r = 0; r < n; ++r) {
      const auto w = Words(lines[static_cast<std::size_t>(r) + 1]);
      EXPECT_EQ(w[0], "O" + std::to_string(want[static_cast<std::size_t>(r)] + 1)) << c.name << " row " << r + 1;
      EXPECT_EQ(w.back(), std::to_string(cluster[static_cast<std::size_t>(want[static_cast<std::size_t>(r)])]));
    }
  }
}

TEST_F(OutputTestFiles, UnwritableFileStopsNamingIt) {
  variables.fname = "no_such_directory/t";
  Sample(2, 0, 0);
  SetBest({1, 2}, {1, 2}, {1, 2});
  int32_t code = 0;
  const std::string message = ExpectStop([] { Output(); }, &code);
  EXPECT_NE(message.find("no_such_directory/t.BestCluster"), std::string::npos) << message;
  EXPECT_NE(code, 0);
}

}  // namespace
