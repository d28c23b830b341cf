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
  e.ext = nullptr;
  e.extlog = 0.0;
  return e;
}

ClusterGraph::Edge& ClusterGraph::NewExternalEdge(int32_t a, int32_t b, int32_t Ra, int32_t Rb, const double* ext,
                                                  double extlog) {
  if (static_cast<std::size_t>(nedges) == edges.size()) edges.emplace_back();
  Edge& e = edges[static_cast<std::size_t>(nedges++)];
  e.a = a;
  e.b = b;
  e.Ra = Ra;
  e.Rb = Rb;
  e.table.clear();
  e.pa.clear();
  e.pb.clear();
  e.ext = ext;
  e.extlog = extlog;
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

// A table between nodes a and b, stored over reduced genotypes: Ra x Rb
// entries, with maps pa, pb from the nodes' genotypes to its rows and
// columns (nullptr: the identity, Ra or Rb being then the node's number of
// genotypes). The maps are read in place from the graph's edges. The table
// is held here (m) or read in place from the graph's edge or the caller's
// store (ext); it is never written there: a factor that must change is
// first expanded into a table of its own over the full genotypes.
//
// `dense` chooses how a pendant node is summed through the factor: an
// edge's table is summed over its reduced genotypes, a table the
// elimination made (dense) genotype by genotype of the nodes, values that
// repeat being computed once. Both orders are kept as they are so that the
// sums stay the same to the last bit whatever the storage.
struct Factor {
  int32_t a = 0, b = 0;
  bool alive = true;
  bool dense = true;
  int32_t Ra = 0, Rb = 0;
  std::vector<double> m;
  const double* ext = nullptr;
  const int32_t* pa = nullptr;
  const int32_t* pb = nullptr;
  const double* M() const { return ext != nullptr ? ext : m.data(); }
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
  std::vector<char> done;
  std::vector<double> transposed;
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
    const int32_t r = f.pa == nullptr ? x : f.pa[x];
    const int32_t c = f.pb == nullptr ? y : f.pb[y];
    return f.M()[static_cast<std::size_t>(r) * static_cast<std::size_t>(f.Rb) + static_cast<std::size_t>(c)];
  }
  // Turns a factor into a dense one held here over its nodes' full
  // genotypes.
  void Densify(Factor& f) {
    if (f.dense && f.ext == nullptr && f.pa == nullptr && f.pb == nullptr) return;
    const int32_t Ga = G[static_cast<std::size_t>(f.a)], Gb = G[static_cast<std::size_t>(f.b)];
    // Built apart, then swapped in: the factor's old buffer becomes the
    // next expansion's, so that nothing is allocated once warmed up.
    thread_local std::vector<double> m;
    m.resize(static_cast<std::size_t>(Ga) * static_cast<std::size_t>(Gb));
    for (int32_t x = 0; x < Ga; ++x) {
      for (int32_t y = 0; y < Gb; ++y) m[static_cast<std::size_t>(x) * Gb + y] = At(f, f.a, x, y);
    }
    f.m.swap(m);
    f.ext = nullptr;
    f.dense = true;
    f.pa = nullptr;
    f.pb = nullptr;
    f.Ra = Ga;
    f.Rb = Gb;
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
  f.ext = nullptr;
  f.pa = nullptr;
  f.pb = nullptr;
  return f;
}

// Adds the factor in the last slot between its two nodes, merging it into
// an existing factor of the same two nodes when there is one. A factor
// already scaled to its largest entry (scaled, with the logarithm prelog
// of the factor removed) is not scanned again.
double AddFactor(Work& w, bool scaled = false, double prelog = 0.0) {
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
    const double s = Normalize(f.m);
    return s == kImpossible ? kImpossible : s + prelog;
  }
  const int32_t id = static_cast<int32_t>(w.nfactors - 1);
  w.adj[static_cast<std::size_t>(a)].push_back(id);
  w.adj[static_cast<std::size_t>(b)].push_back(id);
  ++w.degree[static_cast<std::size_t>(a)];
  ++w.degree[static_cast<std::size_t>(b)];
  return scaled ? prelog : Normalize(nf.m);
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

// Copies into b what a branch of the conditioning reads or changes: the
// weights of the live parents and the tables of the live factors. Dead
// factors keep only their links, and the copy reuses b's buffers.
void CopyForBranch(const Work& w, Work& b) {
  b.G = w.G;
  b.alive = w.alive;
  b.degree = w.degree;
  b.adj = w.adj;
  b.u.resize(w.u.size());
  for (std::size_t p = 0; p < w.u.size(); ++p) {
    if (w.alive[p]) b.u[p] = w.u[p];
  }
  b.nfactors = w.nfactors;
  if (b.factors.size() < w.nfactors) b.factors.resize(w.nfactors);
  for (std::size_t id = 0; id < w.nfactors; ++id) {
    const Factor& f = w.factors[id];
    Factor& g = b.factors[id];
    g.a = f.a;
    g.b = f.b;
    g.alive = f.alive;
    g.dense = f.dense;
    g.Ra = f.Ra;
    g.Rb = f.Rb;
    g.ext = f.ext;
    g.pa = f.pa;
    g.pb = f.pb;
    if (f.alive && f.ext == nullptr) g.m = f.m;
  }
}

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
    CopyForBranch(w, branch);
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
    // Genotypes of q that share a column of the table share their sum.
    const bool prow = f.a == p;
    const int32_t Rq = prow ? f.Rb : f.Ra;
    const int32_t* mq = prow ? f.pb : f.pa;
    w.v.resize(static_cast<std::size_t>(Rq));
    w.done.assign(static_cast<std::size_t>(Rq), 0);
    for (int32_t y = 0; y < Gq; ++y) {
      if (uq[static_cast<std::size_t>(y)] == 0.0) continue;
      const int32_t c = mq == nullptr ? y : mq[y];
      if (!w.done[static_cast<std::size_t>(c)]) {
        double s = 0.0;
        for (int32_t x = 0; x < Gp; ++x) {
          if (up[static_cast<std::size_t>(x)] != 0.0) s += up[static_cast<std::size_t>(x)] * w.At(f, p, x, y);
        }
        w.v[static_cast<std::size_t>(c)] = s;
        w.done[static_cast<std::size_t>(c)] = 1;
      }
      uq[static_cast<std::size_t>(y)] *= w.v[static_cast<std::size_t>(c)];
    }
  } else {
    // Gather p's weights onto the table's reduced genotypes, sum them
    // through the table, then spread the result over q's genotypes.
    const bool prow = f.a == p;
    const int32_t Rp = prow ? f.Ra : f.Rb, Rq = prow ? f.Rb : f.Ra;
    const int32_t* mp = prow ? f.pa : f.pb;
    const int32_t* mq = prow ? f.pb : f.pa;
    const double* m = f.M();
    w.agg.assign(static_cast<std::size_t>(Rp), 0.0);
    double* agg = w.agg.data();
    const double* upd = up.data();
    if (mp == nullptr) {
      for (int32_t x = 0; x < Gp; ++x) agg[x] += upd[x];
    } else {
      for (int32_t x = 0; x < Gp; ++x) agg[mp[x]] += upd[x];
    }
    w.v.assign(static_cast<std::size_t>(Rq), 0.0);
    double* v = w.v.data();
    for (int32_t r = 0; r < Rp; ++r) {
      const double a = agg[r];
      if (a == 0.0) continue;
      if (prow) {
        const double* row = m + static_cast<std::size_t>(r) * static_cast<std::size_t>(f.Rb);
        for (int32_t c = 0; c < Rq; ++c) v[c] += a * row[c];
      } else {
        const double* col = m + r;
        for (int32_t c = 0; c < Rq; ++c) v[c] += a * col[static_cast<std::size_t>(c) * static_cast<std::size_t>(f.Rb)];
      }
    }
    double* uqd = uq.data();
    if (mq == nullptr) {
      for (int32_t y = 0; y < Gq; ++y) uqd[y] *= v[y];
    } else {
      for (int32_t y = 0; y < Gq; ++y) uqd[y] *= v[mq[y]];
    }
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
    Factor& nf = NewFactor(w);
    const Factor& f1 = w.factors[static_cast<std::size_t>(id1)];
    const Factor& f2 = w.factors[static_cast<std::size_t>(id2)];
    // The combined table depends on q1 and q2 only through the columns
    // they have in f1 and f2: it is made over those, with their maps.
    const bool p1 = f1.a == p, p2 = f2.a == p;
    const int32_t* mp1 = p1 ? f1.pa : f1.pb;
    const int32_t* mp2 = p2 ? f2.pa : f2.pb;
    const int32_t R1 = p1 ? f1.Rb : f1.Ra, R2 = p2 ? f2.Rb : f2.Ra;
    const std::size_t step1 = p1 ? 1 : static_cast<std::size_t>(f1.Rb);  // along q1
    const std::size_t step2 = p2 ? 1 : static_cast<std::size_t>(f2.Rb);
    const std::size_t line1 = p1 ? static_cast<std::size_t>(f1.Rb) : 1;  // along p
    const std::size_t line2 = p2 ? static_cast<std::size_t>(f2.Rb) : 1;
    const double* m1 = f1.M();
    const double* m2 = f2.M();
    if (step2 != 1) {
      // f2 read along its columns: a transposed copy makes the innermost
      // loop below run over consecutive entries.
      const int32_t Rp2 = p2 ? f2.Ra : f2.Rb;
      w.transposed.resize(static_cast<std::size_t>(Rp2) * static_cast<std::size_t>(R2));
      for (int32_t r2 = 0; r2 < R2; ++r2) {
        for (int32_t rp = 0; rp < Rp2; ++rp) {
          w.transposed[static_cast<std::size_t>(rp) * static_cast<std::size_t>(R2) + static_cast<std::size_t>(r2)] =
              m2[static_cast<std::size_t>(r2) * step2 + static_cast<std::size_t>(rp) * line2];
        }
      }
      m2 = w.transposed.data();
    }
    const std::size_t row2 = step2 != 1 ? static_cast<std::size_t>(R2) : line2;
    nf.a = q1;
    nf.b = q2;
    nf.dense = true;
    nf.Ra = R1;
    nf.Rb = R2;
    nf.pa = p1 ? f1.pb : f1.pa;
    nf.pb = p2 ? f2.pb : f2.pa;
    nf.m.assign(static_cast<std::size_t>(R1) * static_cast<std::size_t>(R2), 0.0);
    for (int32_t x = 0; x < Gp; ++x) {
      const double ux = up[static_cast<std::size_t>(x)];
      if (ux == 0.0) continue;
      const double* t1 = m1 + static_cast<std::size_t>(mp1 == nullptr ? x : mp1[x]) * line1;
      const double* t2 = m2 + static_cast<std::size_t>(mp2 == nullptr ? x : mp2[x]) * row2;
      for (int32_t r1 = 0; r1 < R1; ++r1) {
        const double a = ux * t1[static_cast<std::size_t>(r1) * step1];
        if (a == 0.0) continue;
        double* row = &nf.m[static_cast<std::size_t>(r1) * static_cast<std::size_t>(R2)];
        for (int32_t r2 = 0; r2 < R2; ++r2) row[r2] += a * t2[r2];
      }
    }
    w.Kill(w.factors[static_cast<std::size_t>(id1)]);
    w.Kill(w.factors[static_cast<std::size_t>(id2)]);
    const double s = AddFactor(w);
    if (s == kImpossible) return kImpossible;
    logacc += s;
  }
}

// A selfed family (a self-loop) depends on one parent's genotype only: its
// table's diagonal, the probability of the offspring's observations given
// that the parent, of that genotype, passed on both their genes, becomes a
// factor of the parent's own weights before anything else is summed. The
// logarithm of the scale taken out is returned.
double AbsorbSelfedOffspring(Work& w, const ClusterGraph::Edge& e) {
  const double* table = e.Table();
  std::vector<double>& ua = w.u[static_cast<std::size_t>(e.a)];
  for (int32_t g = 0; g < w.G[static_cast<std::size_t>(e.a)]; ++g) {
    const std::size_t r = static_cast<std::size_t>(e.pa.empty() ? g : e.pa[static_cast<std::size_t>(g)]);
    const std::size_t c = static_cast<std::size_t>(e.pb.empty() ? g : e.pb[static_cast<std::size_t>(g)]);
    ua[static_cast<std::size_t>(g)] *= table[r * static_cast<std::size_t>(e.Rb) + c];
  }
  return Normalize(ua);
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
    if (e.a == e.b) {
      const double s = AbsorbSelfedOffspring(w, e);
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
    if (e.ext != nullptr) {
      f.ext = e.ext;
    } else {
      f.m.assign(e.table.begin(), e.table.end());
    }
    f.pa = e.pa.empty() ? nullptr : e.pa.data();
    f.pb = e.pb.empty() ? nullptr : e.pb.data();
    const double s = AddFactor(w, e.ext != nullptr, e.extlog);
    if (s == kImpossible) return -1e300;
    logacc += s;
  }
  const double rest = Eliminate(w, prune);
  if (rest == kImpossible) return -1e300;
  return logacc + rest;
}
