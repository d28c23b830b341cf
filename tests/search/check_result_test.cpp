// The consistency checks of the search state: a sound configuration passes;
// each kept quantity put wrong on purpose gives its diagnosis and stop code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

#include "search/check_result.h"
#include "search/configuration.h"
#include "search/parentage_moves.h"
#include "search/prior.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class CheckResultTest : public PedkinTest {};

TEST_F(CheckResultTest, EachWrongCounterGivesItsDiagnosis) {
  // Six offspring at two loci, a sibship-size prior, one candidate of each
  // sex, the father of O6 known.
  PrepareProject("chk.dat",
                 "'check test'\nchk\n6\n2\n5\n0\n2\n0\n0\n0 0\n0\n0\n1 2.0 2.0\n0\n1\n1\n0\n1000\n0\n1\n3\nMK@\n0@\n"
                 "0.02@\n0.02@\nO1 1 2 5 6\nO2 1 3 5 5\nO3 2 3 6 6\nO4 4 4 7 8\nO5 4 1 7 7\nO6 2 2 5 8\n"
                 "0.5 0.5\n1 1\nF1 1 4 5 7\nM1 2 4 6 8\n1 9\nO6 F1\n0 0\n0\n0\n0\n0\n0\n0\n");
  Variables& v = variables;
  FirstConfig(1);
  SetInitConfigLogL(0);
  const double prior = CurrentLogPrior();
  double parents = 0.0;
  ComputeParentLogL(parents);
  v.BtInferParent = v.InferParent;
  FindAssignment(v.BtNumAssign);
  ASSERT_EQ(v.CrNumFamily(3), 6);
  const Variables sound = v;
  CheckResult(7, prior, parents);  // no stop

  struct Case {
    const char* code;
    int32_t status;
    std::function<void()> spoil;
    double prior;  // the prior handed to the check
    std::vector<std::string> head;  // the diagnosis lines after the dataset line
  };
  const std::string at = "         7";
  const std::vector<Case> cases = {
      {"#00", 100, [&] {
         v.selectedprntidxq1.assign(3, 0);
         v.selectedprntidxq1(2) = 1;
       }, prior,
       {"SelectedPrntIdxQ1(:) <> 0"}},
      {"#5", 5, [&] { ++v.SibshipSizeDist(1, 1); }, prior,
       {"Error in sib size distribution at iterate" + at,
        "            Sex        SibSize    Count(True)    Count(Crrt)",
        "              1              1              6              7"}},
      {"#11", 11, [&] { v.InferParent(6, 1) = 0; }, prior,
       {"Known parent is reassigned at iterate" + at, "Error in assignment Parent     1 of Sex     1"}},
      {"#12", 12, [&] { v.InferParent(1, 2) = v.InferParent(2, 2) = 1; }, prior,
       {"Error in #assigned parents at iterate" + at, "Error in assignment Parent     1 of Sex     2"}},
      {"#13", 13, [&] { ++v.BtNumAssign(4); }, prior,
       {"Error in #assigned parents at iterate" + at,
        "                 Sex #AssignedPrnt(True) #AssignedPrnt(Crrt)  #AssignedOff(True)  #AssignedOff(Crrt)",
        "                   1                   1                   1                   1                   1",
        "                   2                   0                   0                   0                   1"}},
      {"#14", 14, [&] { ++v.CrNumFamily(2); }, prior,
       {"Error in #NewNumFamily at iterate" + at,
        "                 Sex  NewNumFamily(True)  NewNumFamily(Crrt)",
        "                   1                   6                   6",
        "                   2                   6                   7"}},
      {"#16", 16, [] {}, prior + 0.25, {"Error in Prior at iterate" + at, "    Prior(True)    Prior(Crrt)"}},
      {"#17", 17, [&] {
         v.CrFamilyLogL(2) += 0.5;
         v.CrLogLikelihood += 0.5;
       }, prior,
       {"Error in LogL at iterate" + at, "    CrLogLikelihood(True)    CrLogLikelihood(Crrt)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    v = sound;
    c.spoil();
    int32_t status = 0;
    const auto lines = SplitLines(ExpectStop([&] { CheckResult(7, c.prior, parents); }, &status));
    EXPECT_EQ(status, c.status);
    ASSERT_GE(lines.size(), c.head.size() + 3);
    EXPECT_EQ(lines[0], "Error in running dataset: chk");
    for (std::size_t j = 0; j < c.head.size(); ++j) EXPECT_EQ(lines[j + 1], c.head[j]);
    EXPECT_EQ(lines[lines.size() - 2], std::string("Stop code ") + c.code);
    EXPECT_EQ(lines.back(), "Program stopped in subroutine CheckResult, dataset = chk.");
    if (c.status == 16) {
      // The recomputed and the kept prior, 15 characters each.
      ASSERT_EQ(lines[3].size(), 30u);
      EXPECT_NEAR(std::atof(lines[3].substr(0, 15).c_str()), prior, 1e-5 * std::fabs(prior));
      EXPECT_NEAR(std::atof(lines[3].substr(15).c_str()), prior + 0.25, 1e-5 * std::fabs(prior));
    }
    if (c.status == 17) {
      // Totals, then each cluster (number, recomputed, kept) and the parent
      // terms: only cluster 2 differs, by the 0.5 added.
      ASSERT_EQ(lines.size(), 4u + 6u + 3u);
      for (int32_t s = 1; s <= 6; ++s) {
        const std::string& row = lines[static_cast<std::size_t>(3 + s)];
        ASSERT_EQ(row.size(), 34u);
        EXPECT_EQ(std::atoi(row.substr(0, 4).c_str()), s);
        const double fresh = std::atof(row.substr(4, 15).c_str()), kept = std::atof(row.substr(19).c_str());
        EXPECT_NEAR(fresh, sound.CrFamilyLogL(s), 1e-5);
        EXPECT_NEAR(kept - fresh, s == 2 ? 0.5 : 0.0, 1e-5);
      }
      EXPECT_EQ(lines[10].rfind("ParentLogL(Old/New):", 0), 0u);
    }
  }

  // The running log likelihood is checked whatever the check level.
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), -1e300, 1.5}) {
    v = sound;
    v.CrLogLikelihood = bad;
    const auto lines = SplitLines(ExpectStop([] { CheckRunningLogL(12, "Anneal"); }));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Error in likelihood calculation at iterate = 12");
  }
  v = sound;
  CheckRunningLogL(12, "Anneal");  // no stop
}

}  // namespace
