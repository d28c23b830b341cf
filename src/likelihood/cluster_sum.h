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
//
// A family's table is usually much smaller than its parents' genotype
// spaces: it depends on a parent's genotype only through the alleles the
// family shows. An edge therefore holds its table over reduced genotypes,
// with a map from each parent's genotypes to the table's rows or columns.
#pragma once

#include <cstdint>
#include <vector>

struct ClusterGraph {
  struct Node {
    int32_t G = 0;
    std::vector<double> w;
  };
  // table[row * Rb + col]; pa[x] = row of genotype x of node a, pb[y] =
  // column of genotype y of node b (empty map: the identity). For a
  // self-loop (a == b) only entries with row == col are used.
  //
  // An edge may instead point to a table kept elsewhere (ext), which the
  // sum reads in place and never changes: the family tables that the
  // likelihood keeps between evaluations need no copy. Such a table (of a
  // pair of distinct parents) has already been scaled to its largest
  // entry as the sum would scale it, with the logarithm of the factor
  // removed in extlog; a self-loop's external table is used as it is.
  struct Edge {
    int32_t a = 0, b = 0, Ra = 0, Rb = 0;
    std::vector<double> table;
    std::vector<int32_t> pa, pb;
    const double* ext = nullptr;
    double extlog = 0.0;
    const double* Table() const { return ext != nullptr ? ext : table.data(); }
  };
  // Slots are reused between evaluations so that their buffers keep their
  // capacity: only the first nnodes nodes and nedges edges are in use.
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  int32_t nnodes = 0, nedges = 0;

  void Clear() { nnodes = nedges = 0; }
  Node& NewNode(int32_t G);
  Edge& NewEdge(int32_t a, int32_t b, int32_t Ra, int32_t Rb);
  // An edge reading its table from ext (see Edge); its maps are still to
  // be filled.
  Edge& NewExternalEdge(int32_t a, int32_t b, int32_t Ra, int32_t Rb, const double* ext, double extlog);
  // Convenience forms with dense tables.
  int32_t AddNode(const std::vector<double>& w);
  void AddEdge(int32_t a, int32_t b, const std::vector<double>& table);
};

// Natural logarithm of the cluster's probability; -1e300 when it is zero.
// Genotypes of a layer parent whose weight falls below `prune` times its
// largest are passed over (0 keeps everything).
double ClusterLogSum(const ClusterGraph& graph, double prune = 0.0);
