// Error-rate estimation against brute-force likelihoods of small pedigrees:
// the objective itself, the maximum, and the support limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "likelihood/pedigree_oracle.h"
#include "results/error_rate.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using ErrorRateTest = PedkinTest;

TEST_F(ErrorRateTest, EstimateAndLimitsAgreeWithBruteForce) {
  std::mt19937 rng(21);
  variables.likelihoodprecision = 3;  // exact sums
  const OracleShape shape{"two families sharing a father", {1, 2, 2}, {{0, 1}, {0, 2}}, {1}};
  OraclePedigree ped = DrawPedigree(rng, shape, {OracleLocus{5, 0.03, 0.03, false, {}}}, false, 0.05, 0.08, 25);
  // Dropouts as well: a quarter of the heterozygous offspring seen as
  // homozygotes.
  for (auto& f : ped.families) {
    for (auto& child : f.offspring) {
      if (child[0].first != child[0].second && rng() % 4 == 0) child[0].second = child[0].first;
    }
  }
  auto L = [&](double D, double E) {
    OraclePedigree q = ped;
    q.loci[0].D = D;
    q.loci[0].E = E;
    return -OracleLocusLogL(q, 1, 0.0, false);
  };
  LikelihoodVar& lv = likelihoodvar;
  for (int32_t update : {3, 1}) {
    InstallPedigree(ped);
    SetErrorRateClusters({familyloglvar});
    const auto table = lv.transrate(1);
    lv.locerrrateupdate.assign(1, static_cast<int8_t>(update));
    ErrorRateResult r;
    EstimateLocusErrorRate(1, r);
    ASSERT_TRUE(r.converged);
    // The project's rates and tables are back.
    EXPECT_EQ(variables.droprate(1), 0.03);
    EXPECT_EQ(lv.transrate(1).a, table.a);
    const double D = r.drop(2), E = r.other(2), fmin = L(D, E);
    if (update == 1) {
      EXPECT_EQ(E, 0.03);
    }
    // The objective is the brute-force L-, less the offset, and 1e100
    // outside the box.
    lv.loglerrorrateconst = 7.0;
    Vec1<double> x(static_cast<std::size_t>(lv.numerrorrate), 0.03);
    x(1) = 0.2;
    EXPECT_NEAR(LogLErrorRate(x), std::fabs(L(0.2, 0.03) - 7.0), 1e-9 * fmin);
    x(1) = -0.01;
    EXPECT_EQ(LogLErrorRate(x), 1e100);
    // The maximum over a grid and next to the estimate.
    for (double d = 0.0; d <= 0.6; d += 0.1) {
      for (double e = update == 1 ? 0.03 : 1e-6; e <= 0.6; e += update == 1 ? 1.0 : 0.1) EXPECT_LE(fmin, L(d, e) + 1e-6);
    }
    EXPECT_LE(fmin, std::min(L(D + 0.002, E), L(std::max(D - 0.002, 0.0), E)) + 1e-5);
    // At each limit strictly inside the box, L- (with two free rates its
    // profile over the other-error rate, by a scan) is the minimum plus 2.
    auto profile = [&](double d) {
      if (update == 1) return L(d, E);
      double a = 0.0, b = 0.5;  // golden section: L- is unimodal in the rate
      for (int it = 0; it < 40; ++it) {
        const double m1 = b - 0.618034 * (b - a), m2 = a + 0.618034 * (b - a);
        (L(d, m1) < L(d, m2) ? b : a) = L(d, m1) < L(d, m2) ? m2 : m1;
      }
      return L(d, 0.5 * (a + b));
    };
    ASSERT_GT(r.drop(3), 0.0);
    ASSERT_LT(r.drop(4), 1.0);
    EXPECT_LT(r.drop(3), D);
    EXPECT_GT(r.drop(4), D);
    for (double limit : {r.drop(3), r.drop(4)}) EXPECT_NEAR(profile(limit), fmin + 2.0, update == 1 ? 0.01 : 0.1);
  }
}

TEST_F(ErrorRateTest, MinimiserKeepsItsBestPointWhenItRunsOut) {
  Vec1<double> lower(2, 0.0), upper(2, 1.0), best;
  double fbest = 0.0;
  bool notconverged = true;
  ItemRandom rng(5, 3, 1);
  auto bowl = [](const Vec1<double>& x) { return 1e4 * (std::pow(x(1) - 0.03, 2) + std::pow(x(2) - 0.2, 2)) + 50.0; };
  MinimiseFromRandomStarts(bowl, 2, lower, upper, rng, best, fbest, notconverged);
  EXPECT_FALSE(notconverged);
  EXPECT_NEAR(best(1), 0.03, 1e-4);
  EXPECT_NEAR(best(2), 0.2, 1e-4);
  // An objective that falls at every call never converges: the program
  // does not stop, and the lowest point met is kept and flagged.
  double calls = 0.0;
  auto falling = [&](const Vec1<double>&) { return -++calls; };
  EXPECT_NO_THROW(MinimiseFromRandomStarts(falling, 2, lower, upper, rng, best, fbest, notconverged));
  EXPECT_TRUE(notconverged);
  EXPECT_LT(fbest, -1000.0);
}

TEST_F(ErrorRateTest, MonoeciousParentsAreOneNodePerIndividual) {
  variables.numsex = 1;
  familyloglvar.parents = {{1, 0}, {1, 3}, {2, 3}, {2, 0}};
  familyloglvar.families = {{0, 1, {1}}, {2, 3, {2}}};
  SetMonoPrnt();
  ASSERT_EQ(familyloglvar.parents.size(), 3u);
  EXPECT_EQ(familyloglvar.parents[1].candidate, 3);
  EXPECT_EQ(familyloglvar.families[1].father, 1);
  EXPECT_EQ(familyloglvar.families[1].mother, 2);
}

}  // namespace
