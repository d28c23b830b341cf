// Sibship moves: the checks made before any likelihood, and the relationships
// the special moves keep (their tables are checked by the check-mode runs).
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "pairwise/dyad_tables.h"
#include "search/pair_screen.h"
#include "state/likelihoodvar.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/move_evaluation.h"
#include "search/reversal.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class SibshipMovesTest : public PedkinTest {
 protected:
  void Load(int numsex, const std::string& matings, const std::string& relationships = kNone) {
    std::string text = "'moves'\nmv\n8\n2\n5\n0\n" + std::to_string(numsex) + "\n" +
                       (numsex == 1 ? "1\n" : "0\n") + "0\n" + matings +
                       "\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n3\nMK@\n0@\n0.02@\n0.02@\n"
                       "O1 1 2 5 6\nO2 1 3 5 5\nO3 2 3 6 6\nO4 4 4 7 8\nO5 4 1 7 7\nO6 2 2 5 8\nO7 1 1 6 6\nO8 3 4 5 7\n"
                       "0.5 0.5\n0 0\n" + relationships;
    PrepareProject("mv.dat", text);
    variables.idum = -7;
    FirstConfig(1);
    SetInitConfigLogL(0);
  }
  static constexpr const char* kNone = "0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
};

TEST_F(SibshipMovesTest, ProposalsBreakingTheMatingSystemAreRefused) {
  // Offers offspring o the given paternal and maternal families in O1's cluster.
  auto offer = [](int32_t o, int32_t father, int32_t mother) {
    annealvariables.HostFamily(1) = father;
    annealvariables.HostFamily(2) = mother;
    annealvariables.HostFamily(3) = variables.ClusterID(1);
    return CheckConfiguration({o});
  };
  const Mat1<int32_t>& loc = variables.CrIndivLoc;
  // Both sexes allowed one mate: O2 may join O1's father only with O1's
  // mother.
  Load(2, "1 1");
  EXPECT_FALSE(offer(2, loc(1, 1), loc(2, 2)));
  EXPECT_TRUE(offer(2, loc(1, 1), loc(1, 2)));
  // Excluded paternal sibship: O3 cannot share O1's father.
  ResetState();
  Load(2, "0 0", "0 0\n0 0\n0\n0\n0\n0\n1\nO1 1 O3\n0\n");
  EXPECT_FALSE(offer(3, loc(1, 1), loc(3, 2)));
  EXPECT_TRUE(offer(3, loc(3, 1), loc(1, 2)));
}

// Puts the offspring into the given families (paternal, maternal) and
// rebuilds the cluster tables.
void Place(const std::vector<std::pair<int32_t, int32_t>>& families) {
  Variables& v = variables;
  v.CrNumFamily(1) = v.CrNumFamily(2) = 0;
  for (int32_t i = 1; i <= static_cast<int32_t>(families.size()); ++i) {
    const auto [f, m] = families[static_cast<std::size_t>(i - 1)];
    v.CrIndivLoc(i, 1) = f;
    v.CrIndivLoc(i, 2) = m;
    v.CrNumFamily(1) = std::max(v.CrNumFamily(1), f);
    v.CrNumFamily(2) = std::max(v.CrNumFamily(2), m);
  }
  SetInitCluster();
  SetInitConfigLogL(0);
}

TEST_F(SibshipMovesTest, ClustersNeedingMoreThanOneConditionedParentAreRefused) {
  // Every one of the given fathers mated with every one of the mothers: the
  // structure alone decides, so the offspring are laid out directly.
  auto grid = [](int16_t fathers, int16_t mothers) {
    Mat1<int32_t>& loc = variables.CrIndivLoc;
    loc.assign(fathers * mothers, 3, 0);
    std::vector<std::vector<int16_t>> cluster(1);
    for (int16_t i = 1; i <= fathers * mothers; ++i) {
      loc(i, 1) = (i - 1) / mothers + 1;
      loc(i, 2) = (i - 1) % mothers + 1;
      cluster[0].push_back(i);
    }
    return Screen2(cluster);
  };
  EXPECT_TRUE(grid(2, 4));  // loops in parallel
  EXPECT_TRUE(grid(3, 3));  // one parent must be conditioned on
  EXPECT_FALSE(grid(4, 4));  // two must
}

TEST_F(SibshipMovesTest, ScreenGainIsThePairRatiosOfTheFamiliesJoinedAndLeft) {
  Load(2, "0 0");
  ASSERT_TRUE(PairScreenAvailable());
  auto lr = [](int32_t kind, int32_t i, int32_t j) {
    return OffspringDyadLogL(kind, i, j) - likelihoodvar.indivlogl(i) - likelihoodvar.indivlogl(j);
  };
  // O1 alone joins the full-sib family of O2 and O3: two full-sib pairs,
  // counted as 2 / 3 of their sum; O4 shares their father only.
  Place({{1, 1}, {2, 2}, {2, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}});
  const int32_t host[2] = {2, 2};
  const double join = Screen({1}, host, variables.ClusterID(2));
  const double want = (lr(kFullSibDyad, 1, 2) + lr(kFullSibDyad, 1, 3)) * 2.0 / 3.0 + lr(kPaternalHalfSibDyad, 1, 4);
  EXPECT_NEAR(join, want, 1e-4 * (1.0 + std::fabs(want)));
  // Leaving it again for new families loses exactly as much.
  Place({{2, 2}, {2, 2}, {2, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}});
  const int32_t fresh[2] = {7, 8};
  const double leave = Screen({1}, fresh, variables.CrNumFamily(3) + 1);
  EXPECT_NEAR(leave, -want, 1e-4 * (1.0 + std::fabs(want)));
}

// Whether offspring i and j share their parent of side k.
bool Share(const Mat1<int32_t>& loc, int32_t i, int32_t j, int32_t k) { return loc(i, k) == loc(j, k); }

TEST_F(SibshipMovesTest, ReversalsAndFamilyMergesKeepEveryRelationship) {
  Load(2, "0 0");
  Place({{1, 1}, {1, 2}, {2, 2}, {2, 2}, {3, 3}, {4, 3}, {4, 4}, {5, 5}});
  Mat1<int32_t> before = variables.CrIndivLoc;
  const double logl = variables.CrLogLikelihood;
  int32_t changed = 0;
  for (int trial = 0; trial < 40 && changed == 0; ++trial) Reversal(1.0, 1.0, nullptr, changed);
  ASSERT_NE(changed, 0);
  // Every pair keeps its relationship, with the sides of a half-sib pair
  // exchanged inside the reversed cluster.
  const Mat1<int32_t>& loc = variables.CrIndivLoc;
  for (int32_t i = 1; i <= 8; ++i) {
    for (int32_t j = i + 1; j <= 8; ++j) {
      const bool f0 = Share(before, i, j, 1), m0 = Share(before, i, j, 2);
      const bool f1 = Share(loc, i, j, 1), m1 = Share(loc, i, j, 2);
      EXPECT_TRUE((f0 == f1 && m0 == m1) || (f0 == m1 && m0 == f1)) << i << " " << j;
    }
  }
  EXPECT_NEAR(variables.CrLogLikelihood, logl, 1e-9 * std::fabs(logl));
  // Merges (with or without reversing the source cluster first) join whole
  // families: offspring that shared a parent still share one.
  int merges = 0;
  for (int round = 0; round < 40; ++round) {
    Place({{1, 1}, {1, 1}, {1, 2}, {2, 3}, {3, 3}, {3, 3}, {4, 4}, {4, 4}});
    before = variables.CrIndivLoc;
    changed = 0;
    MergeFamilies(1e9, 1e9, 1.0, nullptr, changed);
    merges += changed != 0;
    for (int32_t i = 1; i <= 8; ++i) {
      for (int32_t j = 1; j <= 8; ++j) {
        if (Share(before, i, j, 1) || Share(before, i, j, 2)) {
          ASSERT_TRUE(Share(loc, i, j, 1) || Share(loc, i, j, 2)) << i << " and " << j << " parted";
        }
      }
    }
  }
  EXPECT_GT(merges, 10);
}

TEST_F(SibshipMovesTest, ParentMergesOfAMonoeciousSampleJoinBothRoles) {
  // Parent 4 mates with 1 and selfs; 6 mates with 5 in both roles. Joining
  // 4 into 2 (5's father into 1's mother), then 6 into 5 (6's mother into
  // its father), selfs the offspring each pair shared.
  Load(1, "0 0");
  Place({{1, 2}, {1, 2}, {2, 3}, {4, 1}, {4, 4}, {5, 6}, {5, 6}, {6, 5}});
  PendingMove move;
  for (const auto [first, gc, fo, fc] : {std::array<int32_t, 4>{5, 1, 1, 2}, std::array<int32_t, 4>{6, 2, 6, 1}}) {
    move.ClearChanges();
    ASSERT_TRUE(MergeParentInto(variables.CrIndivLoc(first, gc), variables.CrIndivLoc(fo, fc), move.affected));
    ScoreMove(move, -1e300);
    KeepScoredClusters(move);
    EXPECT_EQ(variables.CrIndivLoc(first, 1), variables.CrIndivLoc(first, 2)) << "offspring " << first;
  }
  EXPECT_EQ(variables.CrIndivLoc(4, 1), variables.CrIndivLoc(1, 2));
  EXPECT_EQ(variables.CrIndivLoc(8, 1), variables.CrIndivLoc(6, 1));
  // Without inbreeding the two parents of one offspring may not merge.
  variables.allowinbreeding = 0;
  EXPECT_FALSE(MergeParentInto(variables.CrIndivLoc(3, 1), variables.CrIndivLoc(3, 2), move.affected));
}

}  // namespace
