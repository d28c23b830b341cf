// The cluster sum against a brute-force enumeration of every genotype of
// every parent, on clusters of every shape the elimination meets.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <random>

#include "likelihood/cluster_sum.h"
#include "support/fixture.h"

namespace {

using ClusterSumTest = PedkinTest;

double BruteForceLog(const ClusterGraph& g) {
  const std::size_t n = static_cast<std::size_t>(g.nnodes);
  std::vector<int32_t> x(n, 0);
  // Terms are summed in log space: tiny weights would underflow a plain
  // product over a dozen factors.
  std::vector<double> terms;
  while (true) {
    double logp = 0.0;
    auto mul = [&](double v) { logp = (v > 0 && logp > -1e300) ? logp + std::log(v) : -1e300; };
    for (std::size_t k = 0; k < n; ++k) mul(g.nodes[k].w[static_cast<std::size_t>(x[k])]);
    for (int32_t k2 = 0; k2 < g.nedges; ++k2) {
      const auto& e = g.edges[static_cast<std::size_t>(k2)];
      const int32_t Gb = g.nodes[static_cast<std::size_t>(e.b)].G;
      mul(e.table[static_cast<std::size_t>(x[static_cast<std::size_t>(e.a)]) * Gb + x[static_cast<std::size_t>(e.b)]]);
    }
    if (logp > -1e300) terms.push_back(logp);
    std::size_t k = 0;
    while (k < n && ++x[k] == g.nodes[k].G) x[k++] = 0;
    if (k == n) break;
  }
  if (terms.empty()) return -1e300;
  const double mx = *std::max_element(terms.begin(), terms.end());
  double sum = 0.0;
  for (double t : terms) sum += std::exp(t - mx);
  return mx + std::log(sum);
}

ClusterGraph RandomGraph(std::mt19937& rng, int32_t nodes, const std::vector<std::pair<int, int>>& edges,
                         double zeroShare, double scale) {
  ClusterGraph g;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int32_t k = 0; k < nodes; ++k) {
    const int32_t G = std::uniform_int_distribution<int32_t>(1, 4)(rng);
    std::vector<double> w(static_cast<std::size_t>(G));
    for (double& x : w) x = u(rng) < zeroShare ? 0.0 : u(rng) * scale;
    g.AddNode(w);
  }
  for (const auto& [a, b] : edges) {
    std::vector<double> t(static_cast<std::size_t>(g.nodes[static_cast<std::size_t>(a)].G * g.nodes[static_cast<std::size_t>(b)].G));
    for (double& x : t) x = u(rng) < zeroShare ? 0.0 : u(rng) * scale;
    g.AddEdge(a, b, t);
  }
  return g;
}

TEST_F(ClusterSumTest, EqualsBruteForceOnEveryShape) {
  struct Shape {
    const char* name;
    int32_t nodes;
    std::vector<std::pair<int, int>> edges;
  };
  const std::vector<Shape> shapes = {
      {"one family", 2, {{0, 1}}},
      {"half sibs through a father", 4, {{0, 1}, {0, 2}, {0, 3}}},
      {"chain father-mother-father", 3, {{0, 1}, {2, 1}}},
      {"four-cycle", 4, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}},
      {"complete bipartite 3x3", 6, {{0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}}},
      {"complete graph of 4", 4, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}},
      {"selfed family", 1, {{0, 0}}},
      {"both roles (monoecious)", 2, {{0, 1}, {1, 0}, {0, 0}}},
      {"parent without family", 3, {{0, 1}}},
      {"two separate families", 4, {{0, 1}, {2, 3}}},
  };
  std::mt19937 rng(2026);
  for (const auto& s : shapes) {
    for (int trial = 0; trial < 40; ++trial) {
      const double zeros = trial % 4 == 0 ? 0.5 : 0.0;
      const double scale = trial % 3 == 0 ? 1e-120 : 1.0;
      const ClusterGraph g = RandomGraph(rng, s.nodes, s.edges, zeros, scale);
      const double expected = BruteForceLog(g);
      const double got = ClusterLogSum(g);
      if (expected == -1e300) {
        EXPECT_EQ(got, -1e300) << s.name;
      } else {
        EXPECT_NEAR(got, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << s.name << " trial " << trial;
      }
    }
  }
}

TEST_F(ClusterSumTest, LargeClustersDoNotUnderflow) {
  // A father with 200 families whose tables are all tiny: the plain product
  // would underflow long before the end.
  ClusterGraph g;
  g.AddNode({0.5, 0.5});
  double expected = std::log(0.5 + 0.5);  // father
  for (int k = 0; k < 200; ++k) {
    const int32_t m = g.AddNode({1.0});
    g.AddEdge(0, m, {1e-10, 1e-10});
  }
  expected += 200 * std::log(1e-10);
  EXPECT_NEAR(ClusterLogSum(g), expected, 1e-9 * std::fabs(expected));
}

// Six fathers all mated to six mothers: exact conditioning would visit
// millions of genotype combinations; the layer budget keeps the sum finite
// and quick.
TEST_F(ClusterSumTest, DenseClustersStayBounded) {
  std::mt19937 rng(9);
  ClusterGraph g;
  std::uniform_real_distribution<double> u(0.05, 1.0);
  for (int k = 0; k < 12; ++k) {
    std::vector<double> w(15);
    for (double& x : w) x = u(rng);
    g.AddNode(w);
  }
  for (int f = 0; f < 6; ++f) {
    for (int m = 6; m < 12; ++m) {
      std::vector<double> t(225);
      for (double& x : t) x = u(rng);
      g.AddEdge(f, m, t);
    }
  }
  const double logl = ClusterLogSum(g);
  EXPECT_TRUE(std::isfinite(logl));
  EXPECT_GT(logl, -1e300);
}

}  // namespace
