// Effective size: point estimates against sib pairs counted from ".BestConfig",
// α against a grid search, the heterozygote-excess block by hand, the layout
// and the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "numeric/random.h"
#include "results/ne.h"
#include "results/output.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "output_fixture.h"
#include "support/fixture.h"

namespace {

constexpr int32_t kInf = 2147483647;

// The integers after "Ne      =" in a ".Ne" file, in order.
std::vector<int64_t> NeLines(const std::string& text) {
  std::vector<int64_t> values;
  for (const std::string& line : SplitLines(text)) {
    if (line.rfind("Ne      =", 0) == 0) values.push_back(std::stoll(line.substr(9)));
  }
  return values;
}

class NeTest : public OutputFixture {
 protected:
  static void Fresh() {
    ResetState();
    variables.displayq = 0;
    variables.fname = "t";
  }

  // A project of offspring O1.. without candidates at codominant loci;
  // genotypes one line per offspring ("a b c d" for two loci).
  static void Project(int32_t loci, const std::vector<std::string>& genotypes) {
    std::string text = "'ne test'\nne\n" + std::to_string(genotypes.size()) + "\n" + std::to_string(loci) +
                       "\n5\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n3\nMK@\n0@\n0.0@\n0.0@\n";
    for (std::size_t i = 0; i < genotypes.size(); ++i) text += "O" + std::to_string(i + 1) + " " + genotypes[i] + "\n";
    text += "0.5 0.5\n0 0\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
    PrepareProject("ne.dat", text);
    variables.displayq = 0;
    variables.fname = "t";
  }
};

// Dioecious, monoecious and haplodiploid samples: Ne of both blocks from the
// parent columns of ".BestConfig" (α is 0 without loci).
TEST_F(NeTest, PointEstimateFromTheSibPairsOfTheBestConfig) {
  struct Case {
    int32_t numsex, haplodiploid;
    Ints pat, mat, ploidy;
  };
  const std::vector<Case> cases = {
      {2, 0, {1, 1, 1, 2, 2, 3, 3, 3, 3, 4}, {1, 1, 2, 3, 3, 4, 4, 4, 5, 6}, {}},
      {1, 0, {1, 1, 2, 3, 3, 5, 6, 7}, {2, 2, 3, 4, 4, 5, 8, 1}, {}},
      {2, 1, {1, 1, 1, 2, 2, 3, 3, 4, 5}, {1, 1, 2, 2, 2, 3, 1, 1, 4}, {2, 2, 2, 2, 2, 1, 1, 1, 2}},
  };
  for (const Case& c : cases) {
    Fresh();
    const auto n = static_cast<int32_t>(c.pat.size());
    Sample(n, c.numsex);
    Variables& v = variables;
    v.haplodiploid = c.haplodiploid;
    v.offploid.assign(static_cast<std::size_t>(n), 2);
    for (int32_t i = 1; i <= n && !c.ploidy.empty(); ++i) v.offploid(i) = static_cast<int8_t>(c.ploidy[i - 1]);
    for (int32_t i = 1; i <= n; ++i) ++v.smplsizedh(v.offploid(i));
    SetBest(c.pat, c.mat);
    Output();
    SibNe();

    // Parent names of every offspring as the result file shows them.
    std::vector<std::string> dad, mum;
    const auto lines = SplitLines(ReadFile("t.BestConfig"));
    for (std::size_t j = 1; j < lines.size(); ++j) {
      dad.push_back(Words(lines[j])[1]);
      mum.push_back(Words(lines[j])[2]);
    }
    ASSERT_EQ(static_cast<int32_t>(dad.size()), n);
    const double P = n * (n - 1) / 2.0;
    double x = 0.0;
    if (c.numsex == 1) {
      int64_t c1 = 0;
      for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < i; ++j) {
          c1 += (dad[i] == dad[j]) + (mum[i] == dad[j]) + (dad[i] == mum[j]) + (mum[i] == mum[j]);
        }
      }
      x = c1 * 0.25 / P;
    } else if (c.haplodiploid == 0) {
      std::map<std::string, int64_t> fs, ms;
      for (int32_t i = 0; i < n; ++i) ++fs[dad[i]], ++ms[mum[i]];
      double pairs = 0;
      for (const auto& [name, k] : fs) pairs += k * (k - 1) / 2.0;
      for (const auto& [name, k] : ms) pairs += k * (k - 1) / 2.0;
      x = 0.25 * pairs / P;
    } else {
      int64_t d1 = 0, d2 = 0, h = 0, m = 0, nd = 0, nh = 0;
      for (int32_t i = 0; i < n; ++i) {
        const bool hi = dad[i] == "*-";
        ++(hi ? nh : nd);
        for (int32_t j = 0; j < i; ++j) {
          const bool hj = dad[j] == "*-";
          if (!hi && !hj) d1 += dad[i] == dad[j], d2 += mum[i] == mum[j];
          if (hi && hj) h += mum[i] == mum[j];
          if (hi != hj) m += mum[i] == mum[j];
        }
      }
      const double pd = nd * (nd - 1) / 2, ph = nh * (nh - 1) / 2;
      const double wd = pd + 0.01, wh = ph + 0.01, wm = nd * nh + 0.01;
      const double c1 = std::round(d1 * P / pd);
      const double c2 = std::round(P * 4 * (d2 * wd + h * wh + m * wm) / (wd * wd + wh * wh + wm * wm));
      x = (2 * c1 + c2) / (9 * P);
    }
    const int64_t want = std::llround(1.0 / x);
    EXPECT_EQ(NeLines(ReadFile("t.Ne")), (std::vector<int64_t>{want, want})) << "numsex " << c.numsex;
  }
}

// The deviation α against a grid search over the genotypes as written here
// (frequencies counted here too), and its use in the nonrandom-mating Ne.
TEST_F(NeTest, AlfaAgainstAGridSearch) {
  const std::vector<std::string> g = {"1 1 1 1", "1 1 2 2", "2 2 1 2", "1 2 3 3", "3 3 2 3",
                                      "2 2 1 1", "1 3 3 3", "3 3 2 2", "1 1 1 3", "2 3 2 2"};
  Project(2, g);
  // Independent likelihood: homozygote k adds ln(p_k(1-α)+α), heterozygote
  // ln(1-α).
  const auto negLogL = [&](double a) {
    double s = 0;
    for (int l = 0; l < 2; ++l) {
      std::map<int, double> copies;
      for (const auto& line : g) {
        std::istringstream in(line);
        int x[4];
        in >> x[0] >> x[1] >> x[2] >> x[3];
        copies[x[2 * l]] += 1, copies[x[2 * l + 1]] += 1;
      }
      for (const auto& line : g) {
        std::istringstream in(line);
        int x[4];
        in >> x[0] >> x[1] >> x[2] >> x[3];
        const int u = x[2 * l], w = x[2 * l + 1];
        s += u == w ? std::log(copies[u] / 20.0 * (1 - a) + a) : std::log(1 - a);
      }
    }
    return -s;
  };
  double best = 1e308, want = -1;
  for (int k = 0; k <= 99; ++k) {
    if (negLogL(k / 100.0) < best) best = negLogL(k / 100.0), want = k / 100.0;
  }
  const double got = AlfaEstimate();
  EXPECT_NEAR(got, want, 1e-9);
  EXPECT_GT(got, 0.0);
  EXPECT_NEAR(AlfaProb(got), best, 1e-9);
  EXPECT_EQ(AlfaProb(1.0), 1e300);

  // Ten offspring in full-sib families of six and four: (3α+1)/4 · 42/45.
  Sample(10, 2);
  SetBest({1, 1, 1, 1, 1, 1, 2, 2, 2, 2}, {1, 1, 1, 1, 1, 1, 2, 2, 2, 2});
  variables.smplsizedh(2) = 10;
  SibNe();
  const auto lines = SplitLines(ReadFile("t.Ne"));
  char alpha[32];
  std::snprintf(alpha, sizeof alpha, "Alpha   =%14.2f", want);
  EXPECT_EQ(lines[10], alpha);
  EXPECT_EQ(NeLines(ReadFile("t.Ne"))[0], std::llround(1.0 / (0.25 * 42 / 45)));
  EXPECT_EQ(NeLines(ReadFile("t.Ne"))[1], std::llround(1.0 / ((3 * want + 1) * 0.25 * 42 / 45)));
}

// Worked by hand: locus 1 (12, 12, 12, 11) has p = 5/8, 3/8 and H = 3/4
// for both alleles, so D = 0.75 / (15/64 · 16/7) - 1 = 0.4; locus 2 (12,
// 12, 11, 22) has p = 1/2, H = 1/2, D = -0.125. D = 0.1375, Ne =
// round(0.5/0.1375 + 0.5/1.1375) = 4; 1/Ne_l = 0.62222, -0.29167, and the
// spread with t = 12.71 (one degree of freedom) is wider than 1/Ne, so the
// interval is (round(1/(0.25 + 3.7448)), unbounded) = (0, 2147483647).
// Locus 2 alone is a heterozygote deficit: no finite Ne.
TEST_F(NeTest, HeterozygoteExcessWorkedByHand) {
  struct Case {
    int32_t loci;
    std::vector<std::string> g;
    int32_t ne, lower, upper;
  };
  const std::vector<Case> cases = {
      {2, {"1 2 1 2", "1 2 1 2", "1 2 1 1", "1 1 2 2"}, 4, 0, kInf},
      {1, {"1 2", "1 2", "1 1", "2 2"}, kInf, 0, kInf},
      {1, {"1 1", "2 2", "1 1", "2 2"}, kInf, 0, kInf},  // no heterozygote at all
  };
  for (const Case& c : cases) {
    ResetState();
    Project(c.loci, c.g);
    int32_t ne = 0, lower = -1, upper = -1;
    HeterozygoteExcess(ne, lower, upper);
    EXPECT_EQ(ne, c.ne);
    EXPECT_EQ(lower, c.lower);
    EXPECT_EQ(upper, c.upper);
  }
}

// With one offspring there is no pair: both sibship blocks unbounded with
// the interval (1, 2147483647); the exact layout under either method.
TEST_F(NeTest, OneOffspringFileLayout) {
  for (const int32_t full : {1, 0}) {
    Fresh();
    Sample(1, 2);
    variables.fulllikelihoodmethodq = full;
    SetBest({1}, {1});
    SibNe();
    const std::string rule(100, '-');
    const std::string method =
        full != 0 ? "Estimates by Pedkin full likelihood method" : "Estimates by Pedkin pair-likelihood score method";
    const auto pad = [](std::string s) { return s + std::string(100 - s.size(), ' '); };
    std::string want;
    for (const char* mating : {" : Assuming random mating", " : Assuming nonrandom mating"}) {
      want += rule + "\n" + pad(method + mating) + "\n" + rule + "\n";
      want += "Alpha   =          0.00\nNe      =    2147483647\nCI95(L) =             1\nCI95(U) =    2147483647\n";
    }
    want += "\n" + rule + "\n" + pad("Estimates by heterozygote excess method") + "\n" + rule + "\n";
    want += "Ne(Het) =    2147483647\nCI95(L) =             0\nCI95(U) =    2147483647\n";
    EXPECT_EQ(ReadFile("t.Ne"), want);
  }
}

// Edge cases of the point estimate and of the counts.
TEST_F(NeTest, PointEstimateEdges) {
  Sample(3, 2);
  EXPECT_EQ(NeValue({{0, 0}}, 0.0, 0), kInf);       // no pair
  EXPECT_EQ(NeValue({{1, 0}}, 0.0, 2), kInf);       // one offspring left
  EXPECT_EQ(NeValue({{100, 100}}, 0.0, 0), 1);      // x = 16.7: at least 1
  EXPECT_EQ(NeValue({{1, 1}}, 0.0, 0), 6);          // x = 0.25 · 2 / 3

  // A haplodiploid sample with a single diploid offspring: no paternal pair
  // can be seen (c1 = 0); the three haploid brothers give h = 3, the mixed
  // pairs m = 3, so c2 = round(6 · 4 · (3 · 3.01 + 3 · 3.01) / (0.0001 +
  // 3.01² · 2)) = 24.
  Sample(4, 2);
  variables.haplodiploid = 1;
  variables.offploid.assign(4, 1);
  variables.offploid(1) = 2;
  Mat1<int32_t> loc(4, 3, 1), parents(4, 2, 0);
  const Arr1<int32_t, 3> c = SibPairCounts(loc, parents);
  EXPECT_EQ(c(1), 0);
  EXPECT_EQ(c(2), std::lround(6.0 * 4 * (3 * 3.01 + 3 * 3.01) / (0.0001 + 2 * 3.01 * 3.01)));
  EXPECT_EQ(c(3), 0);
}

// GeneticSampling: an unbounded Ne, samples of tens of millions (whose
// n(n - 1) overflows 32 bits) and a wide spread, all within [1, 2147483647].
TEST_F(NeTest, GeneticSamplingBounds) {
  variables.idum = -7;
  int32_t lower = 0, upper = 0;
  GeneticSampling(kInf, 0.01f, lower, upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, kInf);

  // Families of Poisson(2) sizes without zeros have as many pairs as
  // members on average, so n(n - 1)/p comes back near n.
  GeneticSampling(40000000, 0.0f, lower, upper);
  EXPECT_GT(lower, 39000000);
  EXPECT_LT(upper, 41000000);
  EXPECT_LE(lower, upper);

  GeneticSampling(100, 0.0f, lower, upper);
  EXPECT_GT(lower, 50);
  EXPECT_LT(upper, 200);

  // An error as large as 1/(2 Ne) sends a quarter of the replicates past
  // any size.
  GeneticSampling(1000, 0.001f, lower, upper);
  EXPECT_GE(lower, 1);
  EXPECT_EQ(upper, kInf);
}

}  // namespace
