// Every routine that computes a full-sib family's table, against the
// reference family table of the genotype model (itself checked against a
// brute force), for the kind of locus and family it serves.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "genotype/error_model.h"
#include "likelihood/family_tables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using FamilyTablesTest = PedkinTest;

using Routine = double (*)(int32_t, const FamilyData&, int32_t, bool, std::vector<double>&);

TEST_F(FamilyTablesTest, EveryRoutineWritesTheSameTable) {
  struct Kind {
    const char* name;
    Routine routine;
    int32_t n;       // alleles at the locus
    int32_t m;       // alleles of the family's table
    double rate;     // dropout and other-error rate
    bool dominant;
    int32_t records; // distinct observations
  };
  const std::vector<Kind> kinds = {
      {"FsProbCompute1", FsProbCompute1, 6, 4, 0.0, false, 3},
      {"FsProbComputeSnp", FsProbComputeSnp, 2, 2, 0.0, false, 3},
      {"FsProbCompute2", FsProbCompute2, 6, 5, 0.02, false, 4},
      {"FsProbCompute21", FsProbCompute21, 6, 3, 0.02, false, 1},
      {"FsProbCompute3", FsProbCompute3, 12, 10, 0.02, false, 5},
      {"FsProbComputeDom", FsProbComputeDom, 2, 2, 0.03, true, 2},
  };
  std::mt19937 rng(17);
  for (const auto& k : kinds) {
    for (int32_t hd : {0, 1}) {
      for (int trial = 0; trial < 5; ++trial) {
        variables = Variables{};
        likelihoodvar = LikelihoodVar{};
        variables.haplodiploid = hd;
        variables.numloci = 1;
        variables.droprate.assign(1, k.rate);
        variables.othererrorrate.assign(1, k.rate);
        variables.dominantmarker.assign(1, k.dominant ? 1 : 0);
        likelihoodvar.obsnumallele.assign(1, k.n);
        likelihoodvar.locuserror.assign(1, k.rate > 0 ? 1 : 0);
        PhenotypeGivenGenotype(1, 1);
        // Distinct observations over the first m alleles; without errors
        // they come from one parental pair so that the family is possible.
        FamilyData data;
        std::vector<GenotypeRecord> reference;
        std::uniform_int_distribution<int32_t> allele(1, k.m);
        const int32_t f1 = allele(rng), f2 = allele(rng), m1 = allele(rng), m2 = allele(rng);
        for (int32_t r = 0; static_cast<int32_t>(data.records.size()) < k.records && r < 50; ++r) {
          int32_t a = 0, b = 0;
          if (k.dominant) {
            a = 1 + static_cast<int32_t>(data.records.size());
          } else if (k.rate == 0) {
            a = (rng() & 1) ? f1 : (hd ? f1 : f2);
            b = (rng() & 1) ? m1 : m2;
            if (hd) a = f1;
          } else {
            a = allele(rng);
            b = allele(rng);
          }
          if (!k.dominant && a > b) std::swap(a, b);
          bool seen = false;
          for (const auto& x : data.records) seen = seen || (x.a1 == a && x.a2 == b);
          if (seen) continue;
          const int32_t count = 1 + static_cast<int32_t>(rng() % 3);
          data.records.push_back({a, b, static_cast<double>(count)});
          reference.push_back({a, b, count});
        }
        std::vector<double> table, expected;
        double logmax = 0;
        ComputeProb(1, reference, k.m, expected, false, logmax);
        const double largest = k.routine(1, data, k.m, false, table);
        ASSERT_EQ(table.size(), expected.size()) << k.name;
        ASSERT_GT(largest, 0.0) << k.name;
        EXPECT_NEAR(std::log(largest), logmax, 1e-12 * std::max(1.0, std::fabs(logmax))) << k.name;
        for (std::size_t e = 0; e < table.size(); ++e) {
          EXPECT_NEAR(table[e] / largest, expected[e], 1e-12) << k.name << (hd ? " haplodiploid" : "") << " entry " << e;
        }
        std::vector<double> chosen;
        EXPECT_DOUBLE_EQ(FsProbCompute(1, data, k.m, false, chosen), largest) << k.name;
      }
    }
  }
}

}  // namespace
