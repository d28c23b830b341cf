// The archive-derived files against probabilities worked out afresh from the
// parsed ".ConfigArchive"; an empty archive gives the best probability 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "results/output.h"
#include "search/archive.h"
#include "state/variables.h"
#include "support/columns.h"
#include "output_fixture.h"
#include "support/fixture.h"

namespace {

using Strings = std::vector<std::string>;

Strings Split(const std::string& line, char sep) {
  Strings out;
  std::string item;
  std::istringstream in(line);
  while (std::getline(in, item, sep)) out.push_back(item);
  return out;
}

// One configuration as ".ConfigArchive" shows it.
struct Shown {
  double logl = 0.0;
  Strings father, mother;
  std::vector<int> cluster;
};

std::vector<Shown> ParseArchive(const std::string& text) {
  std::vector<Shown> configs;
  const Strings lines = SplitLines(text);
  EXPECT_EQ(lines.at(0), "Archived Configurations with corresponding log likelihood");
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const Strings f = Split(lines[k], ',');
    if (f.at(0) == "Config#") {
      EXPECT_EQ(f.at(1), std::to_string(configs.size() + 1));
      configs.push_back({std::stod(f.at(3)), {}, {}, {}});
      EXPECT_EQ(lines.at(++k), "OffspringID,FatherID,MotherID,ClusterIndex");
      continue;
    }
    configs.back().father.push_back(f.at(1));
    configs.back().mother.push_back(f.at(2));
    configs.back().cluster.push_back(std::stoi(f.at(3)));
  }
  return configs;
}

std::vector<double> Shares(const std::vector<Shown>& configs) {
  double top = -1e300, total = 0.0;
  for (const Shown& c : configs) top = std::max(top, c.logl);
  std::vector<double> w;
  for (const Shown& c : configs) total += w.emplace_back(std::exp(c.logl - top));
  for (double& x : w) x /= total;
  return w;
}

// Labels by order of first appearance among the listed offspring.
std::vector<int> Canonical(const Strings& labels, const std::vector<int>& members) {
  std::map<std::string, int> seen;
  std::vector<int> out;
  for (const int i : members) out.push_back(seen.emplace(labels[i], static_cast<int>(seen.size())).first->second);
  return out;
}

bool Unsampled(const std::string& id) { return id.empty() || id[0] == '*' || id[0] == '#'; }

class ArchiveFilesTest : public OutputFixture {
 public:
  // A configuration: paternal and maternal families, clusters, and the
  // candidate of every offspring's father and mother (0 = unsampled).
  struct Config {
    std::vector<int32_t> pat, mat, cluster, dad, mum;
    double logl;
  };

 protected:
  // Six offspring at three loci, two candidate fathers and two mothers.
  void SetUp() override {
    OutputFixture::SetUp();
    PrepareProject("ar.dat",
                   "'archive'\nar\n6\n3\n5\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n3\nMK@\n0@\n0.02@\n"
                   "0.02@\n"
                   "O1 1 2 5 6 1 3\nO2 1 3 5 5 1 1\nO3 2 3 6 6 2 3\nO4 4 4 7 8 2 4\nO5 4 1 7 7 4 4\nO6 2 2 5 8 1 2\n"
                   "0.5 0.5\n2 2\nD1 1 1 5 5 1 1\nD2 2 4 6 7 2 4\nM1 2 3 6 6 1 3\nM2 1 4 8 8 4 4\n"
                   "0 0\n0 0\n0\n0\n0\n0\n0\n0\n");
    variables.displayq = 0;
  }

  static void SetBest(const Config& c) { OutputFixture::SetBest(c.pat, c.mat, c.cluster, c.dad, c.mum, c.logl); }
  static void Archive(const Config& c) { OutputFixture::Archive(c.pat, c.mat, c.cluster, c.logl, c.dad, c.mum); }

  // Rows of ".BestCluster": cluster, probability, offspring, father, mother.
  static std::vector<Strings> BestClusterRows() {
    std::vector<Strings> rows;
    const Strings lines = SplitLines(ReadFile("ar.BestCluster"));
    for (std::size_t k = 1; k < lines.size(); ++k) {
      std::istringstream in(lines[k]);
      Strings f(5);
      for (auto& x : f) in >> x;
      rows.push_back(f);
    }
    return rows;
  }
};

// O1-O3 sons of D1 (O1, O2 also of M1), O4-O5 full sibs, O6 alone.
const ArchiveFilesTest::Config kBest{
    {1, 1, 1, 2, 2, 3}, {1, 1, 2, 3, 3, 4}, {1, 1, 1, 2, 2, 3}, {1, 1, 1, 0, 0, 0}, {1, 1, 0, 0, 0, 0}, -100.0};

TEST_F(ArchiveFilesTest, ProbabilitiesAgreeWithTheWrittenArchive) {
  const std::vector<Config> alternatives = {
      // O3 joins the full sibs O4, O5.
      {{1, 1, 2, 2, 2, 3}, {1, 1, 3, 3, 3, 4}, {1, 1, 2, 2, 2, 3}, {1, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0}, -100.7},
      // D2 for D1; O6 a maternal half sib of O4, O5.
      {{1, 1, 1, 2, 2, 3}, {1, 1, 2, 3, 3, 3}, {1, 1, 1, 2, 2, 2}, {2, 2, 2, 0, 0, 0}, {1, 1, 0, 0, 0, 0}, -102.0},
      // The mother of O1, O2 unsampled; the best relabelled.
      {{2, 2, 2, 1, 1, 3}, {1, 1, 2, 3, 3, 4}, {2, 2, 2, 1, 1, 3}, {1, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, -101.2},
      // Everyone unrelated.
      {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, -104.0},
  };
  SetBest(kBest);
  Archive(kBest);
  for (const Config& c : alternatives) Archive(c);
  Output();

  const std::vector<Shown> configs = ParseArchive(ReadFile("ar.ConfigArchive"));
  ASSERT_EQ(configs.size(), 5u);
  const std::vector<double> w = Shares(configs);
  const int n = 6;
  auto name = [](int i) { return "O" + std::to_string(i + 1); };

  // Parent pairs, unsampled parents shown by their bare marks.
  std::map<std::pair<std::string, std::string>, double> expectedPairs;
  for (std::size_t c = 0; c < configs.size(); ++c) {
    for (int i = 0; i < n; ++i) {
      auto bare = [](const std::string& id) { return Unsampled(id) ? id.substr(0, 1) : id; };
      expectedPairs[{name(i), bare(configs[c].father[i]) + "," + bare(configs[c].mother[i])}] += w[c];
    }
  }
  const Strings pairRows = SplitLines(ReadFile("ar.ParentPair"));
  EXPECT_EQ(pairRows.at(0), "OffspringID,InferredDad,InferredMum,Probability");
  std::size_t expectedRows = 0;
  for (const auto& [key, p] : expectedPairs) expectedRows += p >= 0.01 ? 1 : 0;
  EXPECT_EQ(pairRows.size() - 1, expectedRows);
  for (std::size_t k = 1; k < pairRows.size(); ++k) {
    const Strings f = Split(pairRows[k], ',');
    ASSERT_EQ(f.size(), 4u) << pairRows[k];
    EXPECT_NEAR(std::stod(f[3]), expectedPairs.at({f[0], f[1] + "," + f[2]}), 1e-4) << pairRows[k];
  }

  // Clusters: the same members under one label, no others, and the same
  // paternal and maternal partitions inside.
  const std::vector<Strings> bestRows = BestClusterRows();
  ASSERT_EQ(bestRows.size(), 6u);
  Strings bestFather(n), bestMother(n);
  std::map<int, std::vector<int>> bestClusters;
  for (const Strings& r : bestRows) {
    const int i = std::stoi(r[2].substr(1)) - 1;
    bestFather[i] = r[3];
    bestMother[i] = r[4];
    bestClusters[std::stoi(r[0])].push_back(i);
  }
  for (const Strings& r : bestRows) {
    const std::vector<int>& s = bestClusters[std::stoi(r[0])];
    double expected = 0.0;
    for (std::size_t c = 0; c < configs.size(); ++c) {
      const Shown& x = configs[c];
      const int label = x.cluster[s[0]];
      const bool same = std::all_of(s.begin(), s.end(), [&](int i) { return x.cluster[i] == label; }) &&
                        std::count(x.cluster.begin(), x.cluster.end(), label) == static_cast<long>(s.size()) &&
                        Canonical(x.father, s) == Canonical(bestFather, s) &&
                        Canonical(x.mother, s) == Canonical(bestMother, s);
      if (same) expected += w[c];
    }
    EXPECT_NEAR(std::stod(r[1]), expected, 1e-4) << "cluster of " << r[2];
  }

  // Full-sib families: every member with one father and mother (inclusive),
  // and nobody else with them (exclusive).
  const Strings fsRows = SplitLines(ReadFile("ar.BestFSFamily"));
  ASSERT_EQ(fsRows.size(), 5u);
  for (std::size_t k = 1; k < fsRows.size(); ++k) {
    std::istringstream in(fsRows[k]);
    std::string index, list;
    double inc = 0.0, exc = 0.0;
    in >> index >> inc >> exc >> list;
    std::vector<int> s;
    for (const std::string& m : Split(list, ',')) s.push_back(std::stoi(m.substr(1)) - 1);
    double expInc = 0.0, expExc = 0.0;
    for (std::size_t c = 0; c < configs.size(); ++c) {
      const Shown& x = configs[c];
      auto parents = [&](int i) { return x.father[i] + "," + x.mother[i]; };
      const std::string p = parents(s[0]);
      if (!std::all_of(s.begin(), s.end(), [&](int i) { return parents(i) == p; })) continue;
      expInc += w[c];
      int holders = 0;
      for (int i = 0; i < n; ++i) holders += parents(i) == p ? 1 : 0;
      if (holders == static_cast<int>(s.size())) expExc += w[c];
    }
    EXPECT_NEAR(inc, expInc, 1e-4) << fsRows[k];
    EXPECT_NEAR(exc, expExc, 1e-4) << fsRows[k];
  }

  // Full-sib pairs: the archive frequency, weighed by the pair's own
  // likelihood unless the two share a sampled parent in the best
  // configuration, whose pairs are listed at their archive frequency.
  std::map<std::pair<int, int>, double> freq;
  for (std::size_t c = 0; c < configs.size(); ++c) {
    for (int i = 0; i < n; ++i) {
      for (int j = i + 1; j < n; ++j) {
        const Shown& x = configs[c];
        if (x.father[i] == x.father[j] && x.mother[i] == x.mother[j]) freq[{i + 1, j + 1}] += w[c];
      }
    }
  }
  std::ifstream records("ar.FSDyadUF", std::ios::binary);
  std::set<std::pair<int, int>> listed;
  int32_t i = 0, j = 0;
  double p = 0.0;
  while (records.read(reinterpret_cast<char*>(&i), 4) && records.read(reinterpret_cast<char*>(&j), 4) &&
         records.read(reinterpret_cast<char*>(&p), 8)) {
    ASSERT_LT(i, j);
    listed.insert({i, j});
    const bool sampled = (bestFather[i - 1] == bestFather[j - 1] && !Unsampled(bestFather[i - 1])) ||
                         (bestMother[i - 1] == bestMother[j - 1] && !Unsampled(bestMother[i - 1]));
    if (sampled) {
      EXPECT_NEAR(p, (freq[{i, j}]), 1e-4) << i << " " << j;
    } else {
      EXPECT_LE(p, (freq[{i, j}]) + 1e-12) << i << " " << j;
    }
  }
  for (const auto& [pair, f] : freq) {
    const auto [a, b] = pair;
    if (f >= 0.001 && bestFather[a - 1] == bestFather[b - 1] && !Unsampled(bestFather[a - 1])) {
      EXPECT_EQ(listed.count(pair), 1u) << a << " " << b;
    }
  }
  EXPECT_EQ(SplitLines(ReadFile("ar.FullSibDyad")).size(), listed.size() + 1);

  // Each distribution column is a distribution.
  const Strings dist = SplitLines(ReadFile("ar.Distribution"));
  std::vector<double> sums(7, 0.0);
  for (std::size_t k = 1; k < dist.size(); ++k) {
    std::istringstream in(dist[k]);
    int number = 0;
    in >> number;
    EXPECT_EQ(number, static_cast<int>(k));
    for (double& s : sums) {
      double x = 0.0;
      in >> x;
      s += x;
    }
  }
  for (std::size_t col = 0; col < 7; ++col) EXPECT_NEAR(sums[col], 1.0, 5e-4 * dist.size()) << "column " << col + 1;
}

TEST_F(ArchiveFilesTest, EmptyArchiveReportsTheBestWithProbabilityOne) {
  SetBest(kBest);
  Output();
  const std::vector<Shown> configs = ParseArchive(ReadFile("ar.ConfigArchive"));
  ASSERT_EQ(configs.size(), 1u);
  EXPECT_DOUBLE_EQ(configs[0].logl, -100.0);
  for (const Strings& r : BestClusterRows()) EXPECT_EQ(r[1], "1.0000");
  const Strings fsRows = SplitLines(ReadFile("ar.BestFSFamily"));
  for (std::size_t k = 1; k < fsRows.size(); ++k) EXPECT_NE(fsRows[k].find("     1.0000     1.0000    "), std::string::npos);
  const Strings pairRows = SplitLines(ReadFile("ar.ParentPair"));
  ASSERT_EQ(pairRows.size(), 7u);
  EXPECT_EQ(pairRows[1], "O1,D1,M1, 1.0000");
  EXPECT_EQ(pairRows[4], "O4,*,#, 1.0000");
  const Strings dist = SplitLines(ReadFile("ar.Distribution"));
  ASSERT_GE(dist.size(), 2u);
  // Three fathers (D1 and two unsampled), four mothers, four full-sib families.
  EXPECT_EQ(dist.at(3).substr(0, 27), "     3               1.0000");
}

}  // namespace
