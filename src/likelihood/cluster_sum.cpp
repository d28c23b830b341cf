// Exact sum over the genotypes of the parents of a family cluster, by
// absorbing pendant parents, combining parents of two links, and
// conditioning on a layer parent only where the cluster has no simpler
// structure left.
#include "likelihood/cluster_sum.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kImpossible = -std::numeric_limits<double>::infinity();

struct Factor {
  int32_t a = 0, b = 0;
  bool alive = true;
  std::vector<double> m;  // m[x * G(b) + y]
};

struct Work {
  std::vector<int32_t> G;
  std::vector<std::vector<double>> u;
  std::vector<char> alive;
  std::vector<Factor> factors;
  std::vector<std::vector<int32_t>> adj;  // factor ids per node

  double At(const Factor& f, int32_t p, int32_t xp, int32_t yq) const {
    return f.a == p ? f.m[static_cast<std::size_t>(xp) * G[static_cast<std::size_t>(f.b)] + yq]
                    : f.m[static_cast<std::size_t>(yq) * G[static_cast<std::size_t>(f.b)] + xp];
  }
  int32_t Other(const Factor& f, int32_t p) const { return f.a == p ? f.b : f.a; }

  int32_t Degree(int32_t p) const {
    int32_t d = 0;
    for (int32_t id : adj[static_cast<std::size_t>(p)]) d += factors[static_cast<std::size_t>(id)].alive ? 1 : 0;
    return d;
  }
  // Live factors of p (at most `max` of them).
  void Live(int32_t p, std::vector<int32_t>& out) const {
    out.clear();
    for (int32_t id : adj[static_cast<std::size_t>(p)]) {
      if (factors[static_cast<std::size_t>(id)].alive) out.push_back(id);
    }
  }
};

// Divides v by its largest entry; returns the log of that entry, or
// kImpossible when every entry is zero.
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

// Adds a factor between a and b, merging it into an existing one.
double AddFactor(Work& w, int32_t a, int32_t b, std::vector<double> m) {
  for (int32_t id : w.adj[static_cast<std::size_t>(a)]) {
    Factor& f = w.factors[static_cast<std::size_t>(id)];
    if (!f.alive || w.Other(f, a) != b) continue;
    const int32_t Ga = w.G[static_cast<std::size_t>(a)], Gb = w.G[static_cast<std::size_t>(b)];
    for (int32_t x = 0; x < Ga; ++x) {
      for (int32_t y = 0; y < Gb; ++y) {
        const double v = m[static_cast<std::size_t>(x) * Gb + y];
        if (f.a == a) f.m[static_cast<std::size_t>(x) * Gb + y] *= v;
        else f.m[static_cast<std::size_t>(y) * Ga + x] *= v;
      }
    }
    return Normalize(f.m);
  }
  const int32_t id = static_cast<int32_t>(w.factors.size());
  w.factors.push_back(Factor{a, b, true, std::move(m)});
  w.adj[static_cast<std::size_t>(a)].push_back(id);
  w.adj[static_cast<std::size_t>(b)].push_back(id);
  return Normalize(w.factors.back().m);
}

double LogSumExp(double a, double b) {
  if (a == kImpossible) return b;
  if (b == kImpossible) return a;
  const double mx = std::max(a, b);
  return mx + std::log(std::exp(a - mx) + std::exp(b - mx));
}

double Eliminate(Work& w, double prune);

// Conditions on node c: sums, over its genotypes, the cluster with c fixed.
double Condition(const Work& w, int32_t c, double prune) {
  const std::vector<double>& uc = w.u[static_cast<std::size_t>(c)];
  double total = kImpossible;
  std::vector<int32_t> live;
  w.Live(c, live);
  for (int32_t g = 0; g < w.G[static_cast<std::size_t>(c)]; ++g) {
    const double wg = uc[static_cast<std::size_t>(g)];
    if (!(wg > 0.0) || wg < prune) continue;
    Work branch = w;
    double logacc = std::log(wg);
    bool possible = true;
    for (int32_t id : live) {
      Factor& f = branch.factors[static_cast<std::size_t>(id)];
      const int32_t q = branch.Other(f, c);
      std::vector<double>& uq = branch.u[static_cast<std::size_t>(q)];
      for (int32_t y = 0; y < branch.G[static_cast<std::size_t>(q)]; ++y) uq[static_cast<std::size_t>(y)] *= branch.At(f, c, g, y);
      f.alive = false;
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

double Eliminate(Work& w, double prune) {
  double logacc = 0.0;
  std::vector<int32_t> live;
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
        w.Live(p, live);
        cost = 3.0 + static_cast<double>(w.G[static_cast<std::size_t>(p)]) *
                         w.G[static_cast<std::size_t>(w.Other(w.factors[static_cast<std::size_t>(live[0])], p))] *
                         w.G[static_cast<std::size_t>(w.Other(w.factors[static_cast<std::size_t>(live[1])], p))];
      }
      if (cost < bestcost) {
        bestcost = cost;
        best = p;
        bestdeg = d;
      }
    }
    if (maxdegnode < 0) return logacc;  // every parent summed out
    if (best < 0) {
      const double rest = Condition(w, maxdegnode, prune);
      return rest == kImpossible ? kImpossible : logacc + rest;
    }
    const int32_t p = best;
    const std::vector<double>& up = w.u[static_cast<std::size_t>(p)];
    const int32_t Gp = w.G[static_cast<std::size_t>(p)];
    w.alive[static_cast<std::size_t>(p)] = 0;
    if (bestdeg == 0) {
      double s = 0.0;
      for (double x : up) s += x;
      if (!(s > 0.0)) return kImpossible;
      logacc += std::log(s);
      continue;
    }
    w.Live(p, live);
    if (bestdeg == 1) {
      Factor& f = w.factors[static_cast<std::size_t>(live[0])];
      const int32_t q = w.Other(f, p);
      std::vector<double>& uq = w.u[static_cast<std::size_t>(q)];
      for (int32_t y = 0; y < w.G[static_cast<std::size_t>(q)]; ++y) {
        if (uq[static_cast<std::size_t>(y)] == 0.0) continue;
        double s = 0.0;
        for (int32_t x = 0; x < Gp; ++x) {
          if (up[static_cast<std::size_t>(x)] != 0.0) s += up[static_cast<std::size_t>(x)] * w.At(f, p, x, y);
        }
        uq[static_cast<std::size_t>(y)] *= s;
      }
      f.alive = false;
      const double s = Normalize(uq);
      if (s == kImpossible) return kImpossible;
      logacc += s;
      continue;
    }
    // Two links: the parent becomes one combined table between its mates.
    Factor& f1 = w.factors[static_cast<std::size_t>(live[0])];
    Factor& f2 = w.factors[static_cast<std::size_t>(live[1])];
    const int32_t q1 = w.Other(f1, p), q2 = w.Other(f2, p);
    const int32_t G1 = w.G[static_cast<std::size_t>(q1)], G2 = w.G[static_cast<std::size_t>(q2)];
    std::vector<double> m(static_cast<std::size_t>(G1) * G2, 0.0);
    for (int32_t x = 0; x < Gp; ++x) {
      const double ux = up[static_cast<std::size_t>(x)];
      if (ux == 0.0) continue;
      for (int32_t y1 = 0; y1 < G1; ++y1) {
        const double a = ux * w.At(f1, p, x, y1);
        if (a == 0.0) continue;
        double* row = &m[static_cast<std::size_t>(y1) * G2];
        for (int32_t y2 = 0; y2 < G2; ++y2) row[y2] += a * w.At(f2, p, x, y2);
      }
    }
    f1.alive = false;
    f2.alive = false;
    const double s = AddFactor(w, q1, q2, std::move(m));
    if (s == kImpossible) return kImpossible;
    logacc += s;
  }
}

}  // namespace

double ClusterLogSum(const ClusterGraph& graph, double prune) {
  Work w;
  const std::size_t n = graph.weight.size();
  w.G = graph.ngenotype;
  w.u = graph.weight;
  w.alive.assign(n, 1);
  w.adj.assign(n, {});
  double logacc = 0.0;
  for (std::size_t p = 0; p < n; ++p) {
    const double s = Normalize(w.u[p]);
    if (s == kImpossible) return -1e300;
    logacc += s;
  }
  for (const auto& e : graph.edges) {
    if (e.a == e.b) {
      // A selfed family depends on one parent's genotype only.
      std::vector<double>& ua = w.u[static_cast<std::size_t>(e.a)];
      const int32_t Ga = w.G[static_cast<std::size_t>(e.a)];
      for (int32_t g = 0; g < Ga; ++g) ua[static_cast<std::size_t>(g)] *= e.table[static_cast<std::size_t>(g) * Ga + g];
      const double s = Normalize(ua);
      if (s == kImpossible) return -1e300;
      logacc += s;
    } else {
      const double s = AddFactor(w, e.a, e.b, e.table);
      if (s == kImpossible) return -1e300;
      logacc += s;
    }
  }
  // Prune relative to each layer parent's own largest weight, which is 1
  // after normalisation.
  const double rest = Eliminate(w, prune);
  if (rest == kImpossible) return -1e300;
  return logacc + rest;
}
