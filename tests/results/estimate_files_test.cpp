// ".Inbreeding" and ".AlleleFreq": exact layouts, when each exists, and the
// per-process parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "genotype/genotype_codes.h"
#include "results/estimate_files.h"
#include "results/output.h"
#include "search/archive.h"
#include "state/likelihoodvar.h"
#include "state/setgetgtype.h"
#include "state/variables.h"
#include "output_fixture.h"
#include "support/fixture.h"

namespace {

// text right-justified in 20 characters, written out here by hand.
std::string F20(const std::string& text) { return Sp(20 - text.size()) + text; }

class OutputTestEstimates : public OutputFixture {
 protected:
  // Locus 1: codominant, allele names 250, 101, 7 in order of first
  // appearance; locus 2: dominant, only the dominant phenotype seen.
  static void TwoLoci() {
    Variables& v = variables;
    LikelihoodVar& lv = likelihoodvar;
    v.numloci = 2;
    v.markerid.assign(2);
    v.markerid(1) = "Mk1";
    v.markerid(2) = "Dom2";
    v.dominantmarker.assign(2, 0);
    v.dominantmarker(2) = 1;
    v.rawalleleid.assign(2);
    v.rawalleleid(1) = {250, 101, 7};
    v.rawalleleid(2) = {1};
    lv.obsnumallele.assign(2, 0);
    lv.obsnumallele(1) = 3;
    lv.obsnumallele(2) = 1;
    lv.obsallelefre0.assign(2);
    lv.obsallelefre.assign(2);
    lv.obsallelefre0(1) = {0.5, 0.3, 0.2};
    lv.obsallelefre(1) = {0.45, 0.35, 0.2};
    lv.obsallelefre0(2) = {1.0, 0.0};
    lv.obsallelefre(2) = {1.0, 0.0};
  }
};

TEST_F(OutputTestEstimates, DioeciousInbreedingFile) {
  Sample(3, 2);
  SetBest({1, 1, 2}, {1, 1, 2});
  variables.allowinbreeding = 1;
  variables.inbreeding = 0.125;
  Output();
  EXPECT_EQ(ReadFile("t.Inbreeding"),
            F20("Parameter") + F20("ML-Est") + "\n" + F20("Inbreeding") + F20("0.1250") + "\n");
}

TEST_F(OutputTestEstimates, MonoeciousInbreedingFileFromTheSelfingRate) {
  Sample(5, 1);
  variables.allowinbreeding = 1;
  // 1, 2 and 3 selfed; 4 and 5 outcrossed. Empty archive: the estimate is
  // 3/5 with half-width 2 sqrt(0.4 * 3) selfed offspring.
  SetBest({1, 1, 2, 3, 4}, {1, 1, 2, 4, 3});
  Output();
  const double h = 2.0 * std::sqrt(1.2);
  const double s[3] = {0.6, (3.0 - h) / 5.0, std::min(3.0 + h, 5.0) / 5.0};
  auto fixed = [](double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", x);
    return F20(buf);
  };
  std::string want = F20("Method") + F20("Parameter") + F20("Est") + F20("CI95-L") + F20("CI95-U") + "\n";
  want += F20("FL_PLS") + F20("Inbreeding");
  for (const double x : s) want += fixed(x / (2.0 - x));
  want += "\n" + F20("FL_PLS") + F20("Selfing");
  for (const double x : s) want += fixed(x);
  // No loci: no deviation from Hardy-Weinberg proportions to measure.
  want += "\n" + F20("Fis(DHW)") + F20("Inbreeding") + F20("0.0000");
  want += "\n" + F20("Fis(DHW)") + F20("Selfing") + F20("0.0000");
  want += "\n" + F20("ID") + F20("Selfing") + F20("-1.0000") + "  (No estimate because of no useful loci)\n";
  EXPECT_EQ(ReadFile("t.Inbreeding"), want);
  double est = 0.0;
  Identity(est);
  EXPECT_LT(est, -0.5);
}

// The identity-disequilibrium estimate against samples whose selfing
// history is known: each individual descends from t generations of selfing,
// t drawn with chance (1 - s) s^t, at 40 unlinked loci of 6 equally
// frequent alleles, with 10% of the genotypes missing.
TEST_F(OutputTestEstimates, IdentityRecoversTheSelfingRate) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto allele = [&] { return 1 + static_cast<int32_t>(u(rng) * 6); };
  for (const double s : {0.0, 0.3, 0.6}) {
    ResetState();
    Sample(1500, 1);
    Variables& v = variables;
    v.numloci = 40;
    v.offploid.assign(1500, 2);
    v.dominantmarker.assign(40, 0);
    likelihoodvar.obsnumallele.assign(40, 6);
    BuildGenotypeCodes(6);
    v.indivgtype.assign(40, std::vector<uint16_t>(ColumnWords(1500, 6), 0));
    for (int32_t i = 1; i <= 1500; ++i) {
      int32_t t = 0;
      while (u(rng) < s) ++t;
      for (int32_t l = 1; l <= 40; ++l) {
        int32_t a = allele(), b = allele();
        for (int32_t g = 0; g < t; ++g) {
          const int32_t x = u(rng) < 0.5 ? a : b;
          b = u(rng) < 0.5 ? a : b;
          a = x;
        }
        setgetgtype.locusgtypeptr = &v.indivgtype(l);
        if (u(rng) >= 0.1) SetGtype({std::min(a, b), std::max(a, b)}, i, 6);
      }
    }
    setgetgtype.packedq = true;
    double est = -1.0;
    Identity(est);
    EXPECT_NEAR(est, s, 0.05) << "selfing rate " << s;
  }
}

// Alleles in order of name; the dominant locus keeps its two alleles named 1
// and 2, with the frequencies the analysis used. Two processes write the
// parts of their loci and no whole file.
TEST_F(OutputTestEstimates, AlleleFrequenciesWholeAndInPerProcessParts) {
  Sample(2, 2);
  TwoLoci();
  const std::string head = "MarkerID,AlleleID,InitialFreq,UpdatedFreq\n";
  const std::string mk1 = "Mk1,7,0.2000,0.2000\nMk1,101,0.3000,0.3500\nMk1,250,0.5000,0.4500\n";
  const std::string dom2 = "Dom2,1,1.0000,1.0000\nDom2,2,0.0000,0.0000\n";
  WriteAlleleFreq();
  EXPECT_EQ(ReadFile("t.AlleleFreq"), head + mk1 + dom2);
  std::remove("t.AlleleFreq");
  variables.numthreads = 2;
  for (const int32_t rank : {0, 1}) {
    variables.threadid = rank;
    WriteAlleleFreq();
  }
  EXPECT_FALSE(Exists("t.AlleleFreq"));
  EXPECT_EQ(ReadFile("t.AlleleFreq0"), head + mk1);
  EXPECT_EQ(ReadFile("t.AlleleFreq1"), dom2);
  // Only the recessive phenotype seen at the dominant locus.
  variables.numthreads = 1;
  variables.threadid = 0;
  variables.rawalleleid(2) = {2};
  likelihoodvar.obsallelefre0(2) = {0.0, 1.0};
  likelihoodvar.obsallelefre(2) = {0.0, 1.0};
  WriteAlleleFreq();
  EXPECT_EQ(ReadFile("t.AlleleFreq"), head + mk1 + "Dom2,1,0.0000,0.0000\nDom2,2,1.0000,1.0000\n");
}

}  // namespace
