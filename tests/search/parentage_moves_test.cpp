// Parentage moves on a long random walk: known and excluded parents honoured
// and every candidate reachable (the totals are checked by check-mode runs).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "numeric/random.h"
#include "search/configuration.h"
#include "search/parentage_moves.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class ParentageMovesTest : public PedkinTest {
 protected:
  // Ten offspring at two loci; twelve candidate fathers (proposed from the
  // short lists) and four candidate mothers (all proposed alike). O1's
  // father is known to be D1; O2 may not have M1 or M2 as mother.
  void Load() {
    std::string text =
        "'parentage'\npa\n10\n2\n5\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n3\nMK@\n0@\n0.02@\n0.02@\n"
        "O1 1 2 5 6\nO2 1 3 5 5\nO3 2 3 6 6\nO4 4 4 7 8\nO5 4 1 7 7\nO6 2 2 5 8\nO7 1 1 6 6\nO8 3 4 5 7\n"
        "O9 1 2 6 7\nO10 2 4 5 5\n0.5 0.5\n12 4\n";
    const char* fathers[] = {"1 1 5 5", "1 2 5 6", "2 3 6 7", "3 4 7 8", "4 4 8 8", "1 3 5 7",
                             "2 4 6 8", "1 4 5 8", "2 2 6 6", "3 3 7 7", "1 2 7 8", "3 4 5 6"};
    for (int c = 0; c < 12; ++c) text += "D" + std::to_string(c + 1) + " " + fathers[c] + "\n";
    const char* mothers[] = {"1 2 5 6", "3 4 7 8", "1 3 5 5", "2 4 6 7"};
    for (int c = 0; c < 4; ++c) text += "M" + std::to_string(c + 1) + " " + mothers[c] + "\n";
    text += "1 9\nO1 D1\n0 0\n0\n0\n0\n1\nO2 2 M1 M2\n0\n0\n";
    PrepareProject("pa.dat", text);
    variables.idum = -11;
    FirstConfig(1);
    SetInitConfigLogL(0);
  }
};

TEST_F(ParentageMovesTest, RandomWalkHonoursKnownAndExcludedParentsAndReachesEveryCandidate) {
  Load();
  const Variables& v = variables;
  ASSERT_GT(v.NumBestCnd(3, 1), 0) << "O3 should have a short list of fathers";
  PendingMove move;
  std::set<int32_t> proposedfathers, proposedmothers;
  int kept = 0, joined = 0;
  for (int step = 0; step < 3000; ++step) {
    const int32_t i = 1 + static_cast<int32_t>(ran1() * v.smplsize) % v.smplsize;
    const int32_t k = ran1() < 0.5 ? 1 : 2;
    const int32_t proposal = ParentageAssign(i, k, move);
    if (proposal == 0) continue;
    if (proposal == 2) {
      if (!CheckConfiguration(move.group)) continue;
      move.opencandidate[0] = move.opencandidate[1] = 0;
      move.indiv = i;
      ApplyMove(move, annealvariables.HostFamily(3));
      ++joined;
    }
    if (i == 3 && proposal == 1) (k == 1 ? proposedfathers : proposedmothers).insert(v.InferParent(3, k));
    const double logl = ScoreMove(move, -1e300);
    if (logl <= -1e300 || step % 3 == 0) {
      UndoMove(move);
    } else {
      CommitMove(move);
      ++kept;
    }
    ASSERT_EQ(v.InferParent(1, 1), 1) << "step " << step << ": the known father left O1";
    ASSERT_TRUE(v.InferParent(2, 2) != 1 && v.InferParent(2, 2) != 2) << "step " << step << ": O2's mother";
    // Now and then the families are taken apart again, so that the walk
    // keeps meeting families with and without candidates.
    if (step % 500 == 499) {
      FirstConfig(1);
      SetInitConfigLogL(0);
    }
  }
  EXPECT_GT(kept, 300);
  EXPECT_GT(joined, 0);
  // Every candidate on O3's list of fathers, and every mother, was proposed
  // for O3's family at some point, as was no candidate at all.
  for (int32_t m = 1; m <= v.NumBestCnd(3, 1); ++m) EXPECT_EQ(proposedfathers.count(v.BestCnd(1)(m, 3)), 1u) << m;
  for (int32_t c = 0; c <= v.numchild(2); ++c) EXPECT_EQ(proposedmothers.count(c), 1u) << c;
}

TEST_F(ParentageMovesTest, ScheduleFollowsTheCandidatesEachSideOffers) {
  Load();
  double psib = 0.0, pfather = 0.0;
  ParentageSchedule(psib, pfather);
  // Nine offspring free on the father side with twelve candidates each;
  // ten on the mother side with four each, less O2's two exclusions.
  const double nf = 9 * 12.0, nm = 10 * (4.0 - 2.0 / 10);
  EXPECT_NEAR(pfather, nf / (nf + nm), 1e-12);
  // 10 / (10 + 14) is below the floor of a polygamous sample.
  EXPECT_NEAR(psib, 0.85, 1e-12);
}

}  // namespace
