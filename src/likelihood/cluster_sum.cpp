// Exact sum over the genotypes of the parents of a family cluster, by
// absorbing pendant parents, combining parents of two links, and
// conditioning on a layer parent only where the cluster has no simpler
// structure left.
#include "likelihood/cluster_sum.h"

#include <algorithm>
#include <deque>
#include <cmath>
#include <limits>

ClusterGraph::Node& ClusterGraph::NewNode(int32_t G) {
  if (static_cast<std::size_t>(nnodes) == nodes.size()) nodes.emplace_back();
  Node& n = nodes[static_cast<std::size_t>(nnodes++)];
  n.G = G;
  n.w.assign(static_cast<std::size_t>(G), 0.0);
  return n;
}

ClusterGraph::Edge& ClusterGraph::NewEdge(int32_t a, int32_t b, int32_t Ra, int32_t Rb) {
  if (static_cast<std::size_t>(nedges) == edges.size()) edges.emplace_back();
  Edge& e = edges[static_cast<std::size_t>(nedges++)];
  e.a = a;
  e.b = b;
  e.Ra = Ra;
  e.Rb = Rb;
  e.table.assign(static_cast<std::size_t>(Ra) * static_cast<std::size_t>(Rb), 0.0);
  e.pa.clear();
  e.pb.clear();
  return e;
}

int32_t ClusterGraph::AddNode(const std::vector<double>& w) {
  Node& n = NewNode(static_cast<int32_t>(w.size()));
  n.w = w;
  return nnodes - 1;
}

void ClusterGraph::AddEdge(int32_t a, int32_t b, const std::vector<double>& table) {
  Edge& e = NewEdge(a, b, nodes[static_cast<std::size_t>(a)].G, nodes[static_cast<std::size_t>(b)].G);
  e.table = table;
}

namespace {

constexpr double kImpossible = -std::numeric_limits<double>::infinity();

// A table between nodes a and b: dense over their genotypes, or reduced
// with maps (the edge's own form).
struct Factor {
  int32_t a = 0, b = 0;
  bool alive = true;
  bool dense = true;
  int32_t Ra = 0, Rb = 0;
  std::vector<double> m;
  std::vector<int32_t> pa, pb;
};

struct Work {
  std::vector<int32_t> G;
  std::vector<std::vector<double>> u;
  std::vector<char> alive;
  // Factor slots; only the first nfactors are in use, the rest keep their
  // buffers for the next evaluation.
  std::vector<Factor> factors;
  std::size_t nfactors = 0;
  std::vector<std::vector<int32_t>> adj;
  std::vector<int32_t> degree;  // live factors at each node
  std::vector<double> agg, v;  // scratch of pendant absorption
  std::vector<int32_t> live;

  int32_t Other(const Factor& f, int32_t p) const { return f.a == p ? f.b : f.a; }
  int32_t Degree(int32_t p) const { return degree[static_cast<std::size_t>(p)]; }
  // A factor summed into its neighbours no longer links its nodes.
  void Kill(Factor& f) {
    f.alive = false;
    --degree[static_cast<std::size_t>(f.a)];
    --degree[static_cast<std::size_t>(f.b)];
  }
  void Live(int32_t p, std::vector<int32_t>& out) const {
    out.clear();
    for (int32_t id : adj[static_cast<std::size_t>(p)]) {
      if (factors[static_cast<std::size_t>(id)].alive) out.push_back(id);
    }
  }
  // Value of the factor for genotype xp of p and yq of the other end.
  double At(const Factor& f, int32_t p, int32_t xp, int32_t yq) const {
    const int32_t x = f.a == p ? xp : yq, y = f.a == p ? yq : xp;
    if (f.dense) return f.m[static_cast<std::size_t>(x) * static_cast<std::size_t>(G[static_cast<std::size_t>(f.b)]) + static_cast<std::size_t>(y)];
    const int32_t r = f.pa.empty() ? x : f.pa[static_cast<std::size_t>(x)];
    const int32_t c = f.pb.empty() ? y : f.pb[static_cast<std::size_t>(y)];
    return f.m[static_cast<std::size_t>(r) * static_cast<std::size_t>(f.Rb) + static_cast<std::size_t>(c)];
  }
  // Turns a reduced factor into a dense one over its nodes' genotypes.
  void Densify(Factor& f) {
    if (f.dense) return;
    const int32_t Ga = G[static_cast<std::size_t>(f.a)], Gb = G[static_cast<std::size_t>(f.b)];
    std::vector<double> m(static_cast<std::size_t>(Ga) * static_cast<std::size_t>(Gb));
    for (int32_t x = 0; x < Ga; ++x) {
      for (int32_t y = 0; y < Gb; ++y) m[static_cast<std::size_t>(x) * Gb + y] = At(f, f.a, x, y);
    }
    f.m = std::move(m);
    f.dense = true;
    f.pa.clear();
    f.pb.clear();
  }
};

double Normalize(std::vector<double>& v) {
  double mx = 0.0;
  for (double x : v) mx = std::max(mx, x);
  if (!(mx > 0.0)) return kImpossible;
  if (mx != 1.0) {
    const double inv = 1.0 / mx;
    for (double& x : v) x *= inv;
  }
  return std::log(mx);
}

// A fresh factor slot.
Factor& NewFactor(Work& w) {
  if (w.nfactors == w.factors.size()) w.factors.emplace_back();
  Factor& f = w.factors[w.nfactors++];
  f.alive = true;
  return f;
}

// Adds the factor in the last slot between its two nodes, merging it into
// an existing factor of the same two nodes when there is one.
double AddFactor(Work& w) {
  Factor& nf = w.factors[w.nfactors - 1];
  const int32_t a = nf.a, b = nf.b;
  for (int32_t id : w.adj[static_cast<std::size_t>(a)]) {
    Factor& f = w.factors[static_cast<std::size_t>(id)];
    if (!f.alive || w.Other(f, a) != b) continue;
    w.Densify(f);
    const int32_t Ga = w.G[static_cast<std::size_t>(a)], Gb = w.G[static_cast<std::size_t>(b)];
    for (int32_t x = 0; x < Ga; ++x) {
      for (int32_t y = 0; y < Gb; ++y) {
        const double val = w.At(nf, a, x, y);
        if (f.a == a) f.m[static_cast<std::size_t>(x) * Gb + y] *= val;
        else f.m[static_cast<std::size_t>(y) * Ga + x] *= val;
      }
    }
    --w.nfactors;  // the new table lives on in the old factor
    return Normalize(f.m);
  }
  const int32_t id = static_cast<int32_t>(w.nfactors - 1);
  w.adj[static_cast<std::size_t>(a)].push_back(id);
  w.adj[static_cast<std::size_t>(b)].push_back(id);
  ++w.degree[static_cast<std::size_t>(a)];
  ++w.degree[static_cast<std::size_t>(b)];
  return Normalize(nf.m);
}

double LogSumExp(double a, double b) {
  if (a == kImpossible) return b;
  if (b == kImpossible) return a;
  const double mx = std::max(a, b);
  return mx + std::log(std::exp(a - mx) + std::exp(b - mx));
}

double Eliminate(Work& w, double prune);

// Conditions on node c: sums, over its genotypes, the cluster with c fixed.
// Genotypes visited by conditioning in the current sum. A densely linked
// cluster (every parent with three or more mates) makes the number of
// layers, and so the work, grow exponentially; past a budget the layers
// keep only their weightier genotypes, so that no evaluation can stall the
// search. Clusters of real pedigrees stay far below the budget.
thread_local int64_t layerbranches = 0;
constexpr int64_t kLayerBudget = 20000;

// One working copy per depth of conditioning, reused from branch to branch
// and from call to call: copying into a copy of the same shape keeps its
// buffers, so a branch costs a copy of the tables but no allocation.
thread_local std::deque<Work> branchpool;  // grows without moving the copies in use
thread_local std::deque<std::vector<int32_t>> livepool;
thread_local std::size_t branchdepth = 0;

double Condition(const Work& w, int32_t c, double prune) {
  const std::vector<double>& uc = w.u[static_cast<std::size_t>(c)];
  double total = kImpossible;
  const std::size_t depth = branchdepth++;
  if (branchpool.size() <= depth) {
    branchpool.resize(depth + 1);
    livepool.resize(depth + 1);
  }
  struct Leave {
    ~Leave() { --branchdepth; }
  } leave;
  std::vector<int32_t>& live = livepool[depth];
  w.Live(c, live);
  for (int32_t g = 0; g < w.G[static_cast<std::size_t>(c)]; ++g) {
    const double wg = uc[static_cast<std::size_t>(g)];
    const double limit = layerbranches < kLayerBudget       ? prune
                         : layerbranches < 10 * kLayerBudget ? std::max(prune, 0.01)
                                                             : std::max(prune, 0.2);
    if (!(wg > 0.0) || wg < limit) continue;
    ++layerbranches;
    Work& branch = branchpool[depth];
    branch = w;
    double logacc = std::log(wg);
    bool possible = true;
    for (int32_t id : live) {
      Factor& f = branch.factors[static_cast<std::size_t>(id)];
      const int32_t q = branch.Other(f, c);
      std::vector<double>& uq = branch.u[static_cast<std::size_t>(q)];
      for (int32_t y = 0; y < branch.G[static_cast<std::size_t>(q)]; ++y) uq[static_cast<std::size_t>(y)] *= branch.At(f, c, g, y);
      branch.Kill(f);
      const double s = Normalize(uq);
      if (s == kImpossible) {
        possible = false;
        break;
      }
      logacc += s;
    }
    if (!possible) continue;
    branch.alive[static_cast<std::size_t>(c)] = 0;
    const double rest = Eliminate(branch, prune);
    if (rest == kImpossible) continue;
    total = LogSumExp(total, logacc + rest);
  }
  return total;
}

// Absorbs pendant node p into the other end q of factor f.
double AbsorbPendant(Work& w, int32_t p, Factor& f) {
  const int32_t q = w.Other(f, p);
  const std::vector<double>& up = w.u[static_cast<std::size_t>(p)];
  std::vector<double>& uq = w.u[static_cast<std::size_t>(q)];
  const int32_t Gp = w.G[static_cast<std::size_t>(p)], Gq = w.G[static_cast<std::size_t>(q)];
  if (f.dense) {
    for (int32_t y = 0; y < Gq; ++y) {
      if (uq[static_cast<std::size_t>(y)] == 0.0) continue;
      double s = 0.0;
      for (int32_t x = 0; x < Gp; ++x) {
        if (up[static_cast<std::size_t>(x)] != 0.0) s += up[static_cast<std::size_t>(x)] * w.At(f, p, x, y);
      }
      uq[static_cast<std::size_t>(y)] *= s;
    }
  } else {
    // Gather p's weights onto the table's reduced genotypes, sum them
    // through the table, then spread the result over q's genotypes.
    const bool prow = f.a == p;
    const int32_t Rp = prow ? f.Ra : f.Rb, Rq = prow ? f.Rb : f.Ra;
    const std::vector<int32_t>& mp = prow ? f.pa : f.pb;
    const std::vector<int32_t>& mq = prow ? f.pb : f.pa;
    w.agg.assign(static_cast<std::size_t>(Rp), 0.0);
    for (int32_t x = 0; x < Gp; ++x) w.agg[static_cast<std::size_t>(mp.empty() ? x : mp[static_cast<std::size_t>(x)])] += up[static_cast<std::size_t>(x)];
    w.v.assign(static_cast<std::size_t>(Rq), 0.0);
    for (int32_t r = 0; r < Rp; ++r) {
      const double a = w.agg[static_cast<std::size_t>(r)];
      if (a == 0.0) continue;
      if (prow) {
        const double* row = &f.m[static_cast<std::size_t>(r) * static_cast<std::size_t>(f.Rb)];
        for (int32_t c = 0; c < Rq; ++c) w.v[static_cast<std::size_t>(c)] += a * row[c];
      } else {
        for (int32_t c = 0; c < Rq; ++c) w.v[static_cast<std::size_t>(c)] += a * f.m[static_cast<std::size_t>(c) * static_cast<std::size_t>(f.Rb) + static_cast<std::size_t>(r)];
      }
    }
    for (int32_t y = 0; y < Gq; ++y) uq[static_cast<std::size_t>(y)] *= w.v[static_cast<std::size_t>(mq.empty() ? y : mq[static_cast<std::size_t>(y)])];
  }
  w.Kill(f);
  return Normalize(uq);
}

double Eliminate(Work& w, double prune) {
  double logacc = 0.0;
  const int32_t n = static_cast<int32_t>(w.G.size());
  while (true) {
    int32_t best = -1, bestdeg = 0;
    double bestcost = std::numeric_limits<double>::max();
    int32_t maxdegnode = -1, maxdeg = -1;
    for (int32_t p = 0; p < n; ++p) {
      if (!w.alive[static_cast<std::size_t>(p)]) continue;
      const int32_t d = w.Degree(p);
      if (d > maxdeg) {
        maxdeg = d;
        maxdegnode = p;
      }
      if (d > 2) continue;
      double cost = d;  // closing or absorbing first, then the cheapest combination
      if (d == 2) {
        w.Live(p, w.live);
        cost = 3.0 + static_cast<double>(w.G[static_cast<std::size_t>(p)]) *
                         w.G[static_cast<std::size_t>(w.Other(w.factors[static_cast<std::size_t>(w.live[0])], p))] *
                         w.G[static_cast<std::size_t>(w.Other(w.factors[static_cast<std::size_t>(w.live[1])], p))];
      }
      if (cost < bestcost) {
        bestcost = cost;
        best = p;
        bestdeg = d;
      }
      // A parent with at most one link is summed out at once: nothing is
      // cheaper, and in the usual clusters (trees) it makes the whole
      // elimination linear.
      if (d <= 1) break;
    }
    if (best >= 0 && bestdeg <= 1) maxdegnode = best;
    if (maxdegnode < 0) return logacc;  // every parent summed out
    if (best < 0) {
      const double rest = Condition(w, maxdegnode, prune);
      return rest == kImpossible ? kImpossible : logacc + rest;
    }
    const int32_t p = best;
    w.alive[static_cast<std::size_t>(p)] = 0;
    if (bestdeg == 0) {
      double s = 0.0;
      for (double x : w.u[static_cast<std::size_t>(p)]) s += x;
      if (!(s > 0.0)) return kImpossible;
      logacc += std::log(s);
      continue;
    }
    w.Live(p, w.live);
    if (bestdeg == 1) {
      Factor& link = w.factors[static_cast<std::size_t>(w.live[0])];
      const int32_t q = w.Other(link, p);
      const double s = AbsorbPendant(w, p, link);
      if (s == kImpossible) return kImpossible;
      logacc += s;
      // With the evidence of its absorbed mate, a parent's genotypes far
      // below its best one add nothing the precision keeps; dropping them
      // spares every later sum over this parent.
      if (prune > 0.0) {
        for (double& x : w.u[static_cast<std::size_t>(q)]) {
          if (x < prune) x = 0.0;
        }
      }
      continue;
    }
    // Two links: the parent becomes one combined table between its mates.
    const std::vector<double>& up = w.u[static_cast<std::size_t>(p)];
    const int32_t Gp = w.G[static_cast<std::size_t>(p)];
    const int32_t id1 = w.live[0], id2 = w.live[1];
    const int32_t q1 = w.Other(w.factors[static_cast<std::size_t>(id1)], p);
    const int32_t q2 = w.Other(w.factors[static_cast<std::size_t>(id2)], p);
    const int32_t G1 = w.G[static_cast<std::size_t>(q1)], G2 = w.G[static_cast<std::size_t>(q2)];
    Factor& nf = NewFactor(w);
    nf.a = q1;
    nf.b = q2;
    nf.dense = true;
    nf.m.assign(static_cast<std::size_t>(G1) * G2, 0.0);
    const Factor& f1 = w.factors[static_cast<std::size_t>(id1)];
    const Factor& f2 = w.factors[static_cast<std::size_t>(id2)];
    for (int32_t x = 0; x < Gp; ++x) {
      const double ux = up[static_cast<std::size_t>(x)];
      if (ux == 0.0) continue;
      for (int32_t y1 = 0; y1 < G1; ++y1) {
        const double a = ux * w.At(f1, p, x, y1);
        if (a == 0.0) continue;
        double* row = &nf.m[static_cast<std::size_t>(y1) * G2];
        for (int32_t y2 = 0; y2 < G2; ++y2) row[y2] += a * w.At(f2, p, x, y2);
      }
    }
    w.Kill(w.factors[static_cast<std::size_t>(id1)]);
    w.Kill(w.factors[static_cast<std::size_t>(id2)]);
    const double s = AddFactor(w);
    if (s == kImpossible) return kImpossible;
    logacc += s;
  }
}

// Reused between calls: the common clusters (a family, a parent with its
// mates) then need no allocation at all.
thread_local Work work;

}  // namespace

double ClusterLogSum(const ClusterGraph& graph, double prune) {
  layerbranches = 0;
  Work& w = work;
  const std::size_t n = static_cast<std::size_t>(graph.nnodes);
  w.G.resize(n);
  w.u.resize(n);
  w.alive.assign(n, 1);
  w.adj.resize(n);
  w.degree.assign(n, 0);
  double logacc = 0.0;
  for (std::size_t p = 0; p < n; ++p) {
    const auto& node = graph.nodes[p];
    w.G[p] = node.G;
    w.u[p].assign(node.w.begin(), node.w.end());
    w.adj[p].clear();
    const double s = Normalize(w.u[p]);
    if (s == kImpossible) return -1e300;
    logacc += s;
  }
  w.nfactors = 0;
  for (int32_t k = 0; k < graph.nedges; ++k) {
    const auto& e = graph.edges[static_cast<std::size_t>(k)];
    auto row = [&](int32_t x) { return e.pa.empty() ? x : e.pa[static_cast<std::size_t>(x)]; };
    auto col = [&](int32_t y) { return e.pb.empty() ? y : e.pb[static_cast<std::size_t>(y)]; };
    if (e.a == e.b) {
      // A selfed family depends on one parent's genotype only.
      std::vector<double>& ua = w.u[static_cast<std::size_t>(e.a)];
      for (int32_t g = 0; g < w.G[static_cast<std::size_t>(e.a)]; ++g) {
        ua[static_cast<std::size_t>(g)] *= e.table[static_cast<std::size_t>(row(g)) * static_cast<std::size_t>(e.Rb) + static_cast<std::size_t>(col(g))];
      }
      const double s = Normalize(ua);
      if (s == kImpossible) return -1e300;
      logacc += s;
      continue;
    }
    Factor& f = NewFactor(w);
    f.a = e.a;
    f.b = e.b;
    f.dense = false;
    f.Ra = e.Ra;
    f.Rb = e.Rb;
    f.m.assign(e.table.begin(), e.table.end());
    f.pa.assign(e.pa.begin(), e.pa.end());
    f.pb.assign(e.pb.begin(), e.pb.end());
    const double s = AddFactor(w);
    if (s == kImpossible) return -1e300;
    logacc += s;
  }
  const double rest = Eliminate(w, prune);
  if (rest == kImpossible) return -1e300;
  return logacc + rest;
}
