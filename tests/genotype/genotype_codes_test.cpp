// Genotype codes and packed storage, against independent copies.
#include <gtest/gtest.h>

#include <random>

#include "genotype/genotype_codes.h"
#include "support/fixture.h"

namespace {

using GenotypeCodesTest = PedkinTest;

TEST_F(GenotypeCodesTest, CodeSchemeMatchesItsDefinition) {
  for (int32_t n : {1, 2, 3, 7, 127}) {
    BuildGenotypeCodes(n);
    EXPECT_EQ(setgetgtype.maxnumgenotype, n * (n + 1) / 2);
    EXPECT_EQ(GenotypeCode(0, 0), 0);
    int32_t next = n + 1;
    for (int32_t i = 1; i <= n; ++i) {
      EXPECT_EQ(GenotypeCode(i, i), i);
      EXPECT_EQ(GenotypeCode(i, 0), i);
      EXPECT_EQ(GenotypeCode(0, i), -i);
      for (int32_t j = i + 1; j <= n; ++j, ++next) {
        ASSERT_EQ(GenotypeCode(i, j), next) << n << ": " << i << "," << j;
        EXPECT_EQ(GenotypeCode(j, i), next);
        EXPECT_EQ(GenotypeAlleles(next), std::make_pair(i, j));
      }
      EXPECT_EQ(GenotypeAlleles(i), std::make_pair(i, i));
    }
    if (n >= 2) {
      EXPECT_EQ(GenotypeCode(1, 2), n + 1);
    }
  }
}

TEST_F(GenotypeCodesTest, HeterozygoteOfBiallelicLocusReadsAsFullCode) {
  for (int32_t n : {2, 3, 9}) {
    BuildGenotypeCodes(n);
    std::vector<uint16_t> column(ColumnWords(3, 2), 0);
    setgetgtype.locusgtypeptr = &column;
    SetGtype({1, 2}, 2, 2);
    int32_t code = -1;
    GetGtype(code, 2, 2);
    EXPECT_EQ(code, n >= 3 ? n + 1 : 3) << n;
    EXPECT_EQ(GenotypeAlleles(code), std::make_pair(1, 2));
  }
}

TEST_F(GenotypeCodesTest, RandomRoundTripNeverDisturbsNeighbours) {
  std::mt19937 rng(42);
  BuildGenotypeCodes(12);
  for (int32_t nallele : {1, 2, 3, 12}) {
    for (int32_t nindiv : {1, 7, 8, 9, 63, 200}) {
      std::vector<uint16_t> column(ColumnWords(nindiv, nallele), 0);
      setgetgtype.locusgtypeptr = &column;
      std::vector<std::pair<int32_t, int32_t>> copy(static_cast<std::size_t>(nindiv), {0, 0});
      std::uniform_int_distribution<int32_t> allele(0, nallele);
      for (int pass = 0; pass < 5 * nindiv; ++pass) {
        const int32_t k = std::uniform_int_distribution<int32_t>(1, nindiv)(rng);
        int32_t a = allele(rng), b = allele(rng);
        if (a == 0 || b == 0) {
          a = b = 0;
        }
        if (a > b) std::swap(a, b);
        SetGtype({a, b}, k, nallele);
        copy[static_cast<std::size_t>(k - 1)] = {a, b};
        for (int32_t i = 1; i <= nindiv; ++i) {
          int32_t code = -1;
          GetGtype(code, i, nallele);
          ASSERT_EQ(GenotypeAlleles(code), copy[static_cast<std::size_t>(i - 1)])
              << "alleles " << nallele << ", individual " << i << " after writing " << k;
        }
      }
    }
  }
}

}  // namespace
