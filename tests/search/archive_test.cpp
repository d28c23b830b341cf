// The archive of good configurations: records, signature, duplicates,
// ordering and bound, removals, and rebuilding from a run archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "search/archive.h"
#include "search/configuration.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using Ints = std::vector<int32_t>;

// A configuration given per offspring: paternal and maternal family, and
// the candidate father and mother of the offspring (empty = none).
struct Config {
  Ints pat, mat;
  Ints dad, mum;
  double logl = -100.0;
};

// Labels in order of first appearance: two label vectors describe the same
// partition exactly when their relabelled forms are equal.
Ints Canon(const Ints& labels) {
  std::map<int32_t, int32_t> seen;
  Ints out;
  for (int32_t x : labels) out.push_back(seen.emplace(x, static_cast<int32_t>(seen.size()) + 1).first->second);
  return out;
}

// Monoecious: one pool of parents, so the two columns are relabelled
// together (pat1, mat1, pat2, mat2, ...).
Ints CanonJoint(const Ints& pat, const Ints& mat) {
  Ints both;
  for (std::size_t i = 0; i < pat.size(); ++i) {
    both.push_back(pat[i]);
    both.push_back(mat[i]);
  }
  return Canon(both);
}

// Clusters: offspring linked through a shared parent, labelled in order of
// their first member. In a monoecious sample both columns name one pool.
Ints TestClusters(const Ints& pat, const Ints& mat, bool monoecious) {
  const std::size_t n = pat.size();
  Ints label(n);
  std::iota(label.begin(), label.end(), 0);
  // n passes of taking the least label of a linked offspring reach every path.
  for (std::size_t pass = 0; pass < n; ++pass) {
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        const bool cross = monoecious && (pat[i] == mat[j] || mat[i] == pat[j]);
        if (pat[i] == pat[j] || mat[i] == mat[j] || cross) label[i] = std::min(label[i], label[j]);
      }
    }
  }
  return Canon(label);
}

int32_t Count(const Ints& labels) {
  const Ints c = Canon(labels);
  return c.empty() ? 0 : *std::ranges::max_element(c);
}

Mat1<int32_t> Columns(const std::vector<Ints>& cols, std::size_t n) {
  Mat1<int32_t> m(n, cols.size(), 0);
  for (std::size_t k = 0; k < cols.size(); ++k) {
    for (std::size_t j = 0; j < cols[k].size(); ++j) m(static_cast<long>(j + 1), static_cast<long>(k + 1)) = cols[k][j];
  }
  return m;
}

Ints Column(const Mat1<int32_t>& m, int32_t k) {
  Ints out;
  for (std::size_t i = 1; i <= m.rows(); ++i) out.push_back(m(static_cast<long>(i), k));
  return out;
}

class ArchiveTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.numsex = 2;
    variables.fulllikelihoodmethodq = 1;
  }

  void Mating(int32_t numsex, int32_t mono1, int32_t mono2) {
    variables.numsex = numsex;
    variables.monogamy(1) = mono1;
    variables.monogamy(2) = mono2;
    variables.allmonogamy = mono1 == 1 && mono2 == 1 ? 1 : 0;
    variables.anymonogamy = mono1 == 1 || mono2 == 1 ? 1 : 0;
  }

  int32_t Load(const Config& c) {
    Variables& v = variables;
    v.smplsize = static_cast<int32_t>(c.pat.size());
    const Ints cl = TestClusters(c.pat, c.mat, v.numsex == 1);
    v.CrIndivLoc = Columns({c.pat, c.mat, cl}, c.pat.size());
    v.InferParent = Columns({c.dad, c.mum}, c.pat.size());
    v.CrLogLikelihood = c.logl;
    UseCurrentConfig();
    return Count(cl);
  }

  void Offer(const Config& c, int32_t mode) { ArchiveConfigAdd(mode, Load(c)); }

  static std::vector<double> Logls() {
    std::vector<double> out;
    for (const auto& r : variables.ConfigArchive) out.push_back(r.logl);
    return out;
  }

  static Ints Target(const ConfigRecord& r, int32_t k) {
    double logl = 0.0;
    ConvertConfig(r, logl);
    return Column(variables.OffTgt, k);
  }
};

TEST_F(ArchiveTest, NewConfigThenConvertConfigGivesTheConfigurationBack) {
  struct Case {
    const char* name;
    int32_t numsex, mono1, mono2, nc1, nc2;
    Config c;
    bool maternal, cluster;  // columns kept in the record
  };
  const Ints big = {1, 2, 32767, 32768, 32769, 65535};
  // Monogamous records keep fewer columns (maternal labels come back as the
  // same partition); family indices up to 65535 have their rows.
  const std::vector<Case> cases = {
      {"polygamous", 2, 0, 0, 6, 2,
       {{1, 1, 2, 3, 3, 4}, {1, 2, 2, 3, 4, 4}, {2, 2, 0, 5, 5, 0}, {0, 0, 0, 0, 1, 1}, -20.0}, true, true},
      {"large indices", 2, 0, 0, 9, 0, {big, big, {7, 0, 0, 0, 0, 9}, {}, -7.5}, true, true},
      {"monogamous", 2, 1, 1, 2, 4, {{1, 1, 2, 3}, {2, 2, 3, 1}, {1, 1, 0, 0}, {0, 0, 4, 4}, -3.0}, false, false},
      {"monoecious", 1, 0, 0, 3, 3, {{1, 2, 3, 5}, {4, 1, 3, 6}, {2, 0, 0, 3}, {0, 2, 0, 0}, -6.0}, true, true},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    variables = Variables{};
    Mating(cs.numsex, cs.mono1, cs.mono2);
    variables.numchild(1) = cs.nc1;
    variables.numchild(2) = cs.nc2;
    const int32_t nc = Load(cs.c);
    const ConfigRecord r = NewConfig(nc);
    EXPECT_EQ(std::tuple(r.maternal.empty(), r.cluster.empty()), std::tuple(!cs.maternal, !cs.cluster));
    double logl = 0.0;
    ConvertConfig(r, logl);
    EXPECT_EQ(logl, cs.c.logl);
    const std::size_t n = cs.c.pat.size();
    ASSERT_EQ(variables.OffTgt.rows(), n);
    const Ints mat = Column(variables.OffTgt, 2);
    EXPECT_EQ(Column(variables.OffTgt, 1), cs.c.pat);
    EXPECT_EQ(cs.maternal ? mat : Canon(mat), cs.maternal ? cs.c.mat : Canon(cs.c.mat));
    EXPECT_EQ(Canon(Column(variables.OffTgt, 3)), TestClusters(cs.c.pat, cs.c.mat, cs.numsex == 1));
    for (std::size_t j = 0; j < n; ++j) {
      const auto i = static_cast<int32_t>(j + 1);
      EXPECT_EQ(variables.PrntTgt(variables.OffTgt(i, 1), 1), cs.c.dad.empty() ? 0 : cs.c.dad[j]) << i;
      EXPECT_EQ(variables.PrntTgt(variables.OffTgt(i, 2), 2), cs.c.mum.empty() ? 0 : cs.c.mum[j]) << i;
    }
  }
}

// S = g1 - 2 g2 + 3 g3 - ... over an even count of labels g (in order of
// first appearance), minus g(N) for even N, plus (N - 1) g(N) for odd N,
// modulo 2^32: random labels, relabelled, and large samples whose sum far
// exceeds 32 bits. Column 1 names the clusters when all are monogamous.
TEST_F(ArchiveTest, CharacterValueAgainstADirectSum) {
  std::mt19937 rng(9);
  const auto direct = [](const Ints& labels) {
    const Ints g = Canon(labels);
    const auto n = static_cast<int64_t>(g.size());
    int64_t s = 0;
    for (int64_t i = 1; i <= n - n % 2; ++i) s += (i % 2 == 1 ? 1 : -1) * i * g[static_cast<std::size_t>(i - 1)];
    s += n % 2 == 0 ? -int64_t{g.back()} : (n - 1) * g.back();
    return static_cast<uint32_t>(static_cast<uint64_t>(s));
  };
  std::vector<Ints> cases;
  for (int32_t t = 0; t < 200; ++t) {
    Ints labels(static_cast<std::size_t>(1 + t % 9));
    for (auto& x : labels) x = std::uniform_int_distribution<int32_t>(1, 5)(rng) * 7 + 3;
    cases.push_back(labels);
  }
  for (int32_t n : {32767, 32766}) {
    Ints labels;
    for (int32_t i = 1; i <= n; ++i) labels.push_back(i % 2 == 1 ? 40000 - (i + 1) / 2 : 39999);
    cases.push_back(labels);
  }
  for (const Ints& col3 : cases) {
    for (int32_t allmono : {0, 1}) {
      Mating(2, allmono, allmono);
      variables.smplsize = static_cast<int32_t>(col3.size());
      const Ints ones(col3.size(), 1);
      const std::vector<Ints> cols = allmono ? std::vector<Ints>{col3, col3, ones} : std::vector<Ints>{ones, ones, col3};
      variables.CrIndivLoc = Columns(cols, col3.size());
      UseCurrentConfig();
      ASSERT_EQ(CharacterValue(Count(col3)), direct(col3)) << ::testing::PrintToString(col3);
    }
  }
}

const Config kA{{1, 1, 2}, {1, 2, 2}, {}, {}, -100.0};  // one cluster
const Config kB{{1, 2, 3}, {1, 2, 3}, {}, {}, -100.0};  // three clusters
const Config kC{{1, 1, 2}, {1, 1, 2}, {}, {}, -100.0};  // two clusters

Config WithLogl(Config c, double logl) {
  c.logl = logl;
  return c;
}

TEST_F(ArchiveTest, OrderAndCapacityOfAThousandRecords) {
  Offer(WithLogl(kA, -105.0), 1);
  Offer(WithLogl(kB, -100.0), 1);
  Offer(WithLogl(kA, -100.0), 2);
  EXPECT_EQ(Logls(), (std::vector<double>{-100.0, -100.0, -105.0}));
  EXPECT_EQ(Target(variables.ConfigArchive.front(), 1), kA.pat);  // newest first among equals
  variables.ConfigArchive.clear();
  // Records far apart in log likelihood are never compared with each other.
  for (int32_t k = 0; k < 1000; ++k) Offer(WithLogl(kA, -1000.0 - k), 3);
  // A better one that is no duplicate removes the worst; a worse one goes
  // in and out again. Mode 3 is unbounded; the next bounded addition
  // removes one record.
  Offer(WithLogl(kB, -999.0), 1);
  Offer(WithLogl(kB, -5000.0), 2);
  for (int32_t k = 0; k < 5; ++k) Offer(WithLogl(kC, -10.0 - k), 3);
  Offer(WithLogl(kC, -1.0), 2);
  const auto& a = variables.ConfigArchive;
  EXPECT_EQ(std::tuple(a.size(), a.front().logl, a.back().logl), std::tuple(1005u, -1.0, -1997.0));
}

// Offers a, then b in modes 1 and 2. The window is 0.001, at most 10 (0.1
// with pairwise scores), at least 0.5 in a monoecious sample (5.5 with a
// prior); a log likelihood of 0 compares equal values only. Monogamous
// records name clusters by the families of one sex and keep no maternal
// column, yet the mothers follow their families.
TEST_F(ArchiveTest, DuplicatesOnHandPickedConfigurations) {
  struct Case {
    int32_t numsex, mono, full, priortype;
    Config a, b;
    bool duplicate;
  };
  const Config m1{{1, 1, 2}, {2, 2, 1}, {0, 0, 1}, {3, 3, 0}};
  const Config m2{{2, 2, 1}, {3, 3, 1}, {0, 0, 1}, {3, 3, 0}, -100.0005};
  const Config far = WithLogl(kA, -5e6), swapped{m2.pat, m2.mat, m2.dad, {0, 0, 3}, m2.logl};
  const std::vector<Case> cases = {
      {2, 0, 1, 0, kA, WithLogl(kA, -100.0009), true},    {2, 0, 1, 0, kA, WithLogl(kA, -100.002), false},
      {2, 0, 1, 0, far, WithLogl(kA, -5e6 + 9.9), true},  {2, 0, 1, 0, far, WithLogl(kA, -5e6 + 10.5), false},
      {2, 0, 0, 0, far, WithLogl(kA, -5e6 + 0.2), false}, {1, 0, 1, 0, kA, WithLogl(kA, -100.4), true},
      {1, 0, 1, 1, kA, WithLogl(kA, -105.4), true},       {1, 0, 1, 1, kA, WithLogl(kA, -105.6), false},
      {2, 0, 1, 0, WithLogl(kA, 0.0), WithLogl(kA, -1e-9), false},
      {2, 1, 1, 0, {{1, 1, 2}, {1, 1, 2}, {}, {}}, {{2, 2, 1}, {3, 3, 1}, {}, {}, -100.0005}, true},
      {2, 1, 1, 0, m1, m2, true},                         {2, 1, 1, 0, m1, swapped, false},
  };
  variables.numchild(1) = 3;
  variables.numchild(2) = 3;
  for (std::size_t t = 0; t < cases.size(); ++t) {
    const Case& cs = cases[t];
    Mating(cs.numsex, cs.mono, cs.mono);
    variables.fulllikelihoodmethodq = cs.full;
    variables.priortype = cs.priortype;
    for (int32_t mode : {1, 2}) {
      variables.ConfigArchive.clear();
      Offer(cs.a, 1);
      Offer(cs.b, mode);
      EXPECT_EQ(variables.ConfigArchive.size(), cs.duplicate ? 1u : 2u) << "case " << t << " mode " << mode;
    }
  }
}

TEST_F(ArchiveTest, DuplicateTestAgreesWithCanonicalFormsOnRandomConfigurations) {
  std::mt19937 rng(20240607);
  auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  variables.numchild(1) = 2;
  variables.numchild(2) = 2;
  int32_t duplicates = 0, trials = 0;
  for (int32_t numsex : {2, 1}) {
    variables.numsex = numsex;
    for (int32_t t = 0; t < 400; ++t, ++trials) {
      const auto n = static_cast<std::size_t>(uniform(2, 6));
      // Families and the candidate parent of each family (index 0 unused);
      // b is a relabelled copy of a, sometimes with one change.
      Ints pat(n), mat(n), dadOf(7), mumOf(7), perm1 = {0, 1, 2, 3, 4, 5, 6};
      for (auto& x : pat) x = uniform(1, 3);
      for (auto& x : mat) x = uniform(1, numsex == 1 ? 5 : 3);
      for (int32_t f = 1; f <= 6; ++f) {
        dadOf[f] = uniform(0, 4) > 2 ? uniform(1, 2) : 0;
        mumOf[f] = uniform(0, 4) > 2 ? uniform(1, 2) : 0;
      }
      Ints perm2 = perm1, dadOf2(7), mumOf2(7);
      if (uniform(0, 9) < 6) {
        std::shuffle(perm1.begin() + 1, perm1.end(), rng);
        std::shuffle(perm2.begin() + 1, perm2.end(), rng);
        if (numsex == 1) perm2 = perm1;
      }
      Ints pat2 = pat, mat2 = mat;
      for (auto& x : pat2) x = perm1[x];
      for (auto& x : mat2) x = perm2[x];
      for (int32_t f = 1; f <= 6; ++f) {
        dadOf2[perm1[f]] = dadOf[f];
        mumOf2[perm2[f]] = mumOf[f];
      }
      switch (uniform(0, 5)) {
        case 0: pat2[static_cast<std::size_t>(uniform(0, static_cast<int32_t>(n) - 1))] = uniform(1, 6); break;
        case 1: mat2[static_cast<std::size_t>(uniform(0, static_cast<int32_t>(n) - 1))] = uniform(1, 6); break;
        case 2: dadOf2[uniform(1, 6)] = uniform(0, 2); break;
        default: break;
      }
      const auto perOffspring = [](const Ints& fam, const Ints& of) {
        Ints out;
        for (int32_t f : fam) out.push_back(of[f]);
        return out;
      };
      const Config a{pat, mat, perOffspring(pat, dadOf), perOffspring(mat, mumOf), -50.0};
      const Config b{pat2, mat2, perOffspring(pat2, dadOf2), perOffspring(mat2, mumOf2), -50.0002};
      const bool same = (numsex == 1 ? CanonJoint(a.pat, a.mat) == CanonJoint(b.pat, b.mat)
                                     : Canon(a.pat) == Canon(b.pat) && Canon(a.mat) == Canon(b.mat)) &&
                        a.dad == b.dad && a.mum == b.mum;
      duplicates += same ? 1 : 0;
      for (int32_t mode : {1, 2}) {
        variables.ConfigArchive.clear();
        Offer(a, 1);
        Offer(b, mode);
        ASSERT_EQ(variables.ConfigArchive.size(), same ? 1u : 2u) << "trial " << t << " mode " << mode;
      }
      Load(a);
      const Mat1<int32_t> loc1 = variables.CrIndivLoc, par1 = variables.InferParent;
      Load(b);
      EXPECT_EQ(EqualConfigTest(loc1, par1, variables.CrIndivLoc, variables.InferParent), same);
    }
  }
  // Both outcomes must be well represented for the comparison to mean much.
  EXPECT_GT(duplicates, trials / 5);
  EXPECT_LT(duplicates, trials * 4 / 5);
}

TEST_F(ArchiveTest, RemovalKeepsRecordsAtOrAboveTheFloor) {
  for (double l : {-12.0, -1.0, -11.0, -5.0}) Offer(WithLogl(kA, l), 3);
  variables.MinLogLikelihood = -11.0;
  ArchiveConfigRemove();
  EXPECT_EQ(Logls(), (std::vector<double>{-1.0, -5.0, -11.0}));
  ArchiveConfigRemoveAll();
  EXPECT_TRUE(variables.ConfigArchive.empty());
}

// A configuration of the wrong shape is passed over (without candidates
// there are no assignment vectors); a haploid offspring has no father even
// in a family that has one.
TEST_F(ArchiveTest, RestoreFromRunShapes) {
  struct Case {
    int32_t fathers, haploid;  // candidate fathers; offspring with no father (0 = none)
    std::vector<RunArchiveConfig> run;
    Ints pat, mat, cl, dads;
  };
  const std::vector<Case> cases = {
      {0, 0, {{-1.0, {{1, 1}, {1, 1}, {1, 1}}}, {-3.0, {{1, 1, 2}, {1, 2, 2}, {1, 1, 1}}}},
       {1, 1, 2}, {1, 2, 2}, {1, 1, 1}, {0, 0, 0}},
      {1, 2, {{-3.0, {{1, 1, 2}, {1, 1, 2}, {1, 1, 2}, {1, 0, 0}}}},
       {1, 1, 2}, {1, 1, 2}, {1, 1, 2}, {1, 0, 0}},
  };
  for (const auto& cs : cases) {
    variables = Variables{};
    Mating(2, 0, 0);
    variables.smplsize = 3;
    variables.numchild(1) = cs.fathers;
    variables.haplodiploid = cs.haploid > 0 ? 1 : 0;
    variables.offploid.assign(3, 2);
    if (cs.haploid > 0) variables.offploid(cs.haploid) = 1;
    ArchiveRestoreFromRun(cs.run);
    EXPECT_EQ(std::tuple(variables.ConfigArchive.size(), variables.btloglikelihood), std::tuple(1u, -3.0));
    const Mat1<int32_t>& loc = variables.BtIndivLoc;
    EXPECT_EQ(std::tuple(Column(loc, 1), Column(loc, 2), Column(loc, 3)), std::tuple(cs.pat, cs.mat, cs.cl));
    EXPECT_EQ(std::tuple(Column(variables.BtInferParent, 1), Column(variables.BtInferParent, 2)),
              std::tuple(cs.dads, Ints(3, 0)));
  }
}

}  // namespace
