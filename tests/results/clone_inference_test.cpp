// Clone inference: relatedness against hand-worked values, the grouping
// threshold, and the clone likelihood of a family against a brute-force sum.
#include "results/clone_inference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

// Two codominant loci (three alleles, two alleles), then two dominant ones.
// O5 is O1 typed again; O3 is untyped at the dominant loci, O4 at the
// codominant ones.
class CloneTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    PrepareProject("clones.dat",
                   "'clones'\nclones\n5\n4\n1\n0\n2\n0\n0\n0 0\n1\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n3\n"
                   "MK@\n0 0 1 1\n0.01@\n0.01@\n"
                   "O1 101 102 201 201 1 1\nO2 101 103 201 202 1 2\nO3 101 103 201 202 0 0\n"
                   "O4 0 0 0 0 2 2\nO5 101 102 201 201 1 1\n"
                   "0.5 0.5\n0 0\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n");
    variables.displayq = 0;
    // Equal allele frequencies, so that the hand-worked values below do not
    // depend on how the alleles were numbered.
    likelihoodvar.obsallelefre(1) = {1 / 3.0, 1 / 3.0, 1 / 3.0};
    for (int32_t l = 2; l <= 4; ++l) likelihoodvar.obsallelefre(l) = {0.5, 0.5};
    SetLynchWgt();
  }
};

// S0 = 2 sum p^2 - sum p^3 = 5/9 and 3/4; a dominant locus with p2 = 1/2
// shows the recessive phenotype with chance 1/4: W = 3/4 * 1/4 = 3/16.
// O1-O2: S = 0.5 + 0.75, one dominant locus of two differs:
//   r_c = (5/4 - 47/36) / (2 - 47/36) = -2/25, r_d = 1 - 0.5 / (3/8) = -1/3,
//   r = (r_c * 5 + r_d * 2) / 7 (A = 3 + 2 alleles, M = 2 loci).
TEST_F(CloneTest, RelatednessMatchesHandWorkedValues) {
  EXPECT_NEAR(likelihoodvar.LynchWgt(1), 5 / 9.0, 1e-12);
  EXPECT_NEAR(likelihoodvar.LynchWgt(2), 0.75, 1e-12);
  EXPECT_NEAR(likelihoodvar.LynchWgt(3), 3 / 16.0, 1e-12);
  struct Case {
    int32_t i, j;
    double r;
  };
  const double rc = -2 / 25.0;
  for (const Case& c :
       {Case{1, 2, (rc * 5 - 2 / 3.0) / 7}, Case{1, 3, rc}, Case{2, 4, -1 / 3.0}, Case{1, 5, 1.0}, Case{3, 4, 0.0}}) {
    SetFirstG(c.i);
    EXPECT_NEAR(R_Li_Lynch(c.j), c.r, 1e-12) << c.i << "-" << c.j;
  }
  // Degenerate frequencies leave nothing to divide by: no estimate, no NaN.
  for (int32_t l = 1; l <= 4; ++l) likelihoodvar.LynchWgt(l) = l <= 2 ? 1.0 : 0.0;
  SetFirstG(1);
  EXPECT_EQ(R_Li_Lynch(2), 0.0);
}

TEST_F(CloneTest, GroupingMergesAboveThirtyFiveHundredths) {
  struct Case {
    double r12, r13, r23;
    std::vector<int32_t> labels;
  };
  const std::vector<Case> cases = {
      {0.35, -1, -1, {1, 2, 3}},                               // exactly 0.35 stays apart
      {0.36, -1, -1, {1, 1, 2}},  {0.9, 0.5, 0.3, {1, 1, 1}},  // mean 0.4 joins the third
      {0.9, 0.5, 0.1, {1, 1, 2}},                              // mean 0.3 does not
      {0.5, 0.5, 0.0, {1, 2, 1}},                              // a tie: the last pair of the scan merges
  };
  for (const Case& c : cases) {
    const std::vector<double> r = {0, c.r12, c.r13, c.r12, 0, c.r23, c.r13, c.r23, 0};
    EXPECT_EQ(CloneGrouping(r, 3), c.labels) << c.r12 << " " << c.r13 << " " << c.r23;
  }
}

// Every allele of the loci is seen in the family, so nothing is pooled and
// the likelihood must equal the plain sum over the parents' genotypes.
TEST_F(CloneTest, FamilyLikelihoodEqualsBruteForce) {
  const std::vector<int32_t> members = {1, 2, 3, 5};
  const CloneFamily family(members, 0, 0, false);
  for (const CloneFamily::Groups& groups :
       {CloneFamily::Groups{{0, 3}, {1}, {2}}, CloneFamily::Groups{{0}, {1, 2}, {3}},
        CloneFamily::Groups{{0}, {1}, {2}, {3}}}) {
    double expected = 0.0;
    for (int32_t l = 1; l <= 4; ++l) {
      const int32_t n = likelihoodvar.obsnumallele(l);
      const std::vector<double>& p = likelihoodvar.obsallelefre(l);
      double sum = 0.0;
      for (int32_t a = 1; a <= n; ++a)
        for (int32_t b = a; b <= n; ++b)
          for (int32_t c = 1; c <= n; ++c)
            for (int32_t d = c; d <= n; ++d) {
              double w = (a == b ? 1 : 2) * p[a - 1] * p[b - 1] * (c == d ? 1 : 2) * p[c - 1] * p[d - 1];
              for (const auto& g : groups) {
                double h = 0.0;
                for (int32_t x : {a, b})
                  for (int32_t y : {c, d}) {
                    double copies = 0.25;
                    for (int32_t k : g) {
                      const auto o = ObservedGenotype(0, members[static_cast<std::size_t>(k)], l);
                      if (o.first > 0) copies *= PrbGtoP(std::min(x, y), std::max(x, y), o.first, o.second, l);
                    }
                    h += copies;
                  }
                w *= h;
              }
              sum += w;
            }
      expected += std::log(sum);
    }
    EXPECT_NEAR(family.FsConfigLog(groups), expected, 1e-9);
  }
  // The quick forms: a join from the base of the singletons, a split from
  // the base of the joined groups.
  const CloneFamily::Groups single = {{0}, {1}, {2}, {3}}, joined = {{0, 3}, {1}, {2}};
  EXPECT_NEAR(family.Replace(family.MakeBase(single), single, {0, 3}, {{0, 3}}, true), family.FsConfigLog(joined),
              1e-9);
  EXPECT_NEAR(family.Replace(family.MakeBase(joined), joined, {0}, {{0}, {3}}, false), family.FsConfigLog(single),
              1e-9);
  // O1 and O5 agree at every locus: one individual is the likelier reading,
  // though four loci leave room for two full sibs.
  const CloneFamily::Groups clones = {{0, 3}, {1}, {2}};
  const double p = family.SingleClonePrb(clones, 0);
  EXPECT_GT(p, 0.5);
  EXPECT_LT(p, 1.0);
}

}  // namespace

// The whole step on one full-sib family of all five: what it shows, the
// clone column and the ".BestClone" layout. O1 and O5 agree at every locus.
TEST_F(CloneTest, FindCloneShowsAndWritesItsGroups) {
  Variables& v = variables;
  v.fname = "t";
  v.BtIndivLoc.assign(5, 3, 1);
  v.BtInferParent.assign(5, 2, 0);
  v.displayq = 1;
  testing::internal::CaptureStdout();
  FindClone();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Inferring clones...\n  Computing pairwise r in FS family 1, Family Size: 5 ...\n");
  ASSERT_EQ(v.IndivLoc3.rows(), 5u);
  EXPECT_EQ(v.IndivLoc3(1, 3), v.IndivLoc3(5, 3));
  std::vector<int32_t> size(6, 0);
  for (int32_t i = 1; i <= 5; ++i) ++size[static_cast<std::size_t>(v.IndivLoc3(i, 3))];
  std::string want = "CloneIndex      Prob      Member1";
  for (int32_t k = 2; k <= *std::max_element(size.begin(), size.end()); ++k) want += ",Member" + std::to_string(k);
  want += " \n";
  for (int32_t c = 1; c <= static_cast<int32_t>(v.CloneProb.size()); ++c) {
    char row[64];
    std::snprintf(row, sizeof row, "%10d%10.3f      ", c, v.CloneProb(c));
    want += row;
    std::string ids;
    for (int32_t i = 1; i <= 5; ++i) {
      if (v.IndivLoc3(i, 3) == c) ids += (ids.empty() ? "O" : ",O") + std::to_string(i);
    }
    want += ids + "\n";
  }
  WriteBestClone();
  EXPECT_EQ(ReadFile("t.BestClone"), want);
}
