// The initial configuration, and the impossible one.
#include <gtest/gtest.h>

#include <tuple>

#include "search/clusters.h"
#include "search/configuration.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class ConfigurationTest : public PedkinTest {
 protected:
  void Load(const std::string& relationships, const std::string& rates = "0.02@\n0.02@\n") {
    PrepareProject("cfg.dat", "'config test'\ncfg\n6\n2\n5\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n"
                              "1\n3\nMK@\n0@\n" + rates +
                              "O1 1 2 5 6\nO2 1 3 5 5\nO3 2 3 6 6\nO4 4 4 7 8\nO5 4 1 7 7\nO6 2 2 5 8\n"
                              "0.5 0.5\n1 1\nF1 1 4 5 7\nM1 2 4 6 8\n" + relationships);
  }
};

TEST_F(ConfigurationTest, KnownSibshipsAndParentsShapeTheStart) {
  // Paternal sibship {O1, O2, O3}, maternal sibship {O4, O5}; O6 has the
  // known father F1, which passes to nobody else (its family is its own).
  Load("1 9\nO6 F1\n0 0\n1\n3 O1 O2 O3\n1\n2 O4 O5\n0\n0\n0\n0\n");
  FirstConfig(1);
  const auto& loc = variables.CrIndivLoc;
  EXPECT_EQ(std::tuple(loc(1, 1) == loc(2, 1), loc(1, 1) == loc(3, 1), loc(4, 1) == loc(5, 1)),
            std::tuple(true, true, false));
  EXPECT_EQ(std::tuple(loc(4, 2) == loc(5, 2), loc(1, 2) == loc(2, 2)), std::tuple(true, false));
  EXPECT_EQ(variables.InferParent(6, 1), 1);
  for (int32_t i = 1; i <= 5; ++i) EXPECT_EQ(variables.InferParent(i, 1), 0);

}

TEST_F(ConfigurationTest, ImpossibleKnownSibshipStopsWithItsMessage) {
  // Without typing errors O4 (4 4) and O6 (2 2) give both parents the
  // alleles 2 and 4, so O2 (1 3) cannot be their full sib at MK1; at MK2
  // (5 5, 7 8, 5 8) the three fit parents (5 7) and (5 8).
  Load("0 0\n0 0\n1\n3 O2 O4 O6\n1\n3 O2 O4 O6\n0\n0\n0\n0\n", "0@\n0@\n");
  FirstConfig(1);
  variables.fname = "cfg";
  EXPECT_EQ(ExpectStop([] { SetInitConfigLogL(0); }),
            "Initial cluster with offspring: O2,O4,O6 in known sibship  have mismatched genotypes, possibly at "
            "loci: MK1!\nProgram stopped in subroutine Anneal, dataset = cfg.\n");
  EXPECT_EQ(ExpectStop([] { InvalidConfig(2); }),
            "The known sibship/parentage relationships are incompatible with genotype data, or in conflit among "
            "themselves, or in conflict with other defined parameters (e.g. monogamy).\n"
            "To run the program, you have to:\n"
            "   1. Check and correct the known relationship, or/and\n"
            "   2. Allow for sufficiently high mistyping rates in data\n"
            "Program stops!\n"
            "Program stopped in subroutine Anneal, dataset = cfg.\n");
}

}  // namespace
