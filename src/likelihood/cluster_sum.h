// Exact sum over the genotypes of the parents of a family cluster.
//
// A cluster is a graph: parents are nodes, each with a weight per genotype
// (population frequency times the probability of its own observation when
// it was sampled); full-sib families are edges carrying a table over the
// genotype pairs of their two parents (a self-loop for a selfed family).
// The cluster's probability is the sum over all parental genotypes of the
// product of weights and tables. Parents are summed out in the cheapest
// order: a parent left without families closes a term, a pendant parent is
// absorbed into its only mate, a parent linking two mates becomes one
// combined table between them, and only when every parent has three or more
// links is one of them conditioned on, genotype by genotype (a layer).
// Everything is scaled to its largest entry, with the logarithms collected
// apart, so large clusters never underflow.
#pragma once

#include <cstdint>
#include <vector>

struct ClusterGraph {
  // Genotype count and weights of each node.
  std::vector<int32_t> ngenotype;
  std::vector<std::vector<double>> weight;
  // Edges: endpoints and table (row = genotype of a, column = genotype of
  // b, row-major; for a self-loop a == b and only the diagonal is used).
  struct Edge {
    int32_t a = 0, b = 0;
    std::vector<double> table;
  };
  std::vector<Edge> edges;

  int32_t AddNode(std::vector<double> w) {
    ngenotype.push_back(static_cast<int32_t>(w.size()));
    weight.push_back(std::move(w));
    return static_cast<int32_t>(weight.size()) - 1;
  }
  void AddEdge(int32_t a, int32_t b, std::vector<double> table) {
    edges.push_back(Edge{a, b, std::move(table)});
  }
  void Clear() {
    ngenotype.clear();
    weight.clear();
    edges.clear();
  }
};

// Natural logarithm of the cluster's probability; -1e300 when it is zero.
// Genotypes whose weight falls below `prune` times the largest weight of
// their parent are left out of a layer (0 keeps everything).
double ClusterLogSum(const ClusterGraph& graph, double prune = 0.0);
