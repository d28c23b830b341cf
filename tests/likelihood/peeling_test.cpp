// The locus log likelihood of family clusters against a brute-force sum over
// every parent genotype and transmission, with errors and inbreeding.
#include <gtest/gtest.h>

#include <cmath>

#include "likelihood/peeling.h"
#include "pedigree_oracle.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using PeelingTest = PedkinTest;

const std::vector<OracleShape> kShapes = {
    {"one full-sib family", {1, 2}, {{0, 1}}, {}},
    {"two families sharing a father", {1, 2, 2}, {{0, 1}, {0, 2}}, {}},
    {"three families sharing a father", {1, 2, 2, 2}, {{0, 1}, {0, 2}, {0, 3}}, {}},
    {"chain father-mother-father", {1, 2, 1}, {{0, 1}, {2, 1}}, {}},
    {"loop of two fathers and two mothers", {1, 2, 1, 2}, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}, {}},
    {"sampled father", {1, 2, 2}, {{0, 1}, {0, 2}}, {0}},
    {"sampled mother and father", {1, 2}, {{0, 1}}, {0, 1}},
    {"one individual in both roles", {1, 1, 1}, {{0, 1}, {1, 2}}, {}, true},
    {"selfed family beside an outcrossed one", {1, 1}, {{0, 0}, {0, 1}}, {0}, true},
    {"selfed family", {1}, {{0, 0}}, {}, true},
    {"selfing parent in both roles", {1, 1, 1}, {{0, 0}, {0, 1}, {2, 0}}, {2}, true},
};

// Inbreeding coefficients of the parents' population: outbred, inbred,
// strongly inbred and with an excess of heterozygotes.
constexpr double kInbreeding[4] = {0.0, 0.2, 0.45, -0.1};

TEST_F(PeelingTest, ClustersEqualBruteForce) {
  std::mt19937 rng(123);
  int evaluated = 0, impossible = 0;
  for (const auto& shape : kShapes) {
    for (int32_t hd : {0, 1}) {
      if (hd == 1 && shape.monoecious) continue;
      for (bool dominant : {false, true}) {
        for (int variant = 0; variant < 4; ++variant) {
          OracleLocus L;
          // 2, 3 or 4 alleles; on one full-sib family also 12, most of them
          // unseen by the family and pooled.
          L.n = dominant ? 2 : (&shape == &kShapes[0] && variant < 2 ? 12 : 2 + variant % 3);
          L.D = L.E = variant % 2 == 0 ? 0.0 : 0.03;
          L.dominant = dominant;
          variables = Variables{};
          likelihoodvar = LikelihoodVar{};
          variables.haplodiploid = hd;
          variables.numsex = shape.monoecious ? 1 : 2;
          variables.allowinbreeding = shape.monoecious ? 1 : 0;
          variables.likelihoodprecision = 3;
          const OraclePedigree ped = DrawPedigree(rng, shape, {L}, hd == 1, variant == 3 ? 0.2 : 0.0, L.E, 4);
          InstallPedigree(ped);
          variables.inbreeding = kInbreeding[variant];
          double logl = 0;
          FamilyLocusLogL(1, logl);
          const double expected = OracleLocusLogL(ped, 1, variables.inbreeding, hd == 1);
          ++evaluated;
          if (expected <= -1e300) {
            ++impossible;
            EXPECT_EQ(logl, -1e300) << shape.name;
          } else {
            EXPECT_NEAR(logl, expected, 1e-9 * std::max(1.0, std::fabs(expected)))
                << shape.name << (hd ? " haplodiploid" : "") << (dominant ? " dominant" : "") << " variant " << variant;
          }
        }
      }
    }
  }
  EXPECT_GT(evaluated, 100);
  EXPECT_LT(impossible, evaluated / 4);
}

TEST_F(PeelingTest, TablesKeptBetweenEvaluationsStayExact) {
  // A search moves one offspring at a time and rescores the cluster: most
  // families are unchanged and their tables are reused, the changed ones
  // are made afresh, and a move undone finds its old tables again. Each
  // rescored cluster, at every locus, must still equal the brute force.
  // Two fathers and two mothers in a loop, one father sampled; loci with
  // and without error, with alleles the cluster does not show.
  const OracleShape loop = {"loop", {1, 1, 2, 2}, {{0, 2}, {0, 3}, {1, 3}, {1, 2}}, {0}};
  std::mt19937 rng(77);
  std::vector<OracleLocus> loci(3);
  loci[0].n = 5;
  loci[0].D = loci[0].E = 0.02;
  loci[1].n = 4;
  loci[2].n = 2;
  loci[2].D = loci[2].E = 0.03;
  loci[2].dominant = true;
  variables = Variables{};
  likelihoodvar = LikelihoodVar{};
  variables.likelihoodprecision = 3;
  OraclePedigree ped = DrawPedigree(rng, loop, loci, false, 0.1, 0.02, 4);
  InstallPedigree(ped);
  // Offspring in the engine's numbering, family by family.
  std::vector<std::vector<int32_t>> members;
  for (const auto& f : familyloglvar.families) members.push_back(f.members);
  const FamilyLoglVar layout = familyloglvar;
  int32_t compared = 0;
  for (int32_t step = 0; step < 40; ++step) {
    if (step > 0) {
      // Move one offspring from a family that has two or more to another.
      std::uniform_int_distribution<std::size_t> pick(0, ped.families.size() - 1);
      const std::size_t from = pick(rng), to = pick(rng);
      if (from == to || ped.families[from].offspring.size() < 2) continue;
      const std::size_t c = std::uniform_int_distribution<std::size_t>(0, members[from].size() - 1)(rng);
      ped.families[to].offspring.push_back(ped.families[from].offspring[c]);
      ped.families[to].ploidy.push_back(ped.families[from].ploidy[c]);
      members[to].push_back(members[from][c]);
      ped.families[from].offspring.erase(ped.families[from].offspring.begin() + static_cast<std::ptrdiff_t>(c));
      ped.families[from].ploidy.erase(ped.families[from].ploidy.begin() + static_cast<std::ptrdiff_t>(c));
      members[from].erase(members[from].begin() + static_cast<std::ptrdiff_t>(c));
    }
    familyloglvar = layout;
    for (std::size_t f = 0; f < members.size(); ++f) familyloglvar.families[f].members = members[f];
    for (int32_t l = 1; l <= 3; ++l) {
      double logl = 0;
      FamilyLocusLogL(l, logl);
      const double expected = OracleLocusLogL(ped, l, 0.0, false);
      if (expected <= -1e300) {
        // A move at the error-free locus can leave a family no parents
        // could have.
        EXPECT_EQ(logl, -1e300) << "step " << step << " locus " << l;
        continue;
      }
      EXPECT_NEAR(logl, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << "step " << step << " locus " << l;
      ++compared;
    }
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
