// Log likelihood of the families of a cluster at one locus.
//
// Genotypes are enumerated over the alleles that matter: a family's table
// over the alleles its offspring show, a parent's weights over the alleles
// of its families and of its own observation, each set completed by one
// pooled allele standing for all the alleles of the locus it does not hold.
// Under the error model an allele that a family does not show behaves the
// same whichever it is, and the population frequencies of the genotypes
// carrying such alleles add up exactly to those of the pooled genotypes,
// so the pooling is exact while the tables stay small: a full-sib family
// shows at most four alleles without error, however many the locus has.
#include "likelihood/peeling.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "genotype/genotype_codes.h"
#include "likelihood/cluster_sum.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Largest number of distinct alleles one family may show at one locus.
constexpr int32_t kMaxFamilyAlleles = 80;

struct Record {
  int32_t a1, a2;  // family-local alleles (dominant: phenotype, 0)
  double exponent;
};

// An allele set: global alleles in order of first appearance, the inverse
// map, and whether a pooled allele completes it (it is then number
// size() + 1).
struct AlleleSet {
  std::vector<int32_t> global;
  std::array<int16_t, 128> local{};
  bool pooled = false;

  void Reset() {
    for (int32_t a : global) local[static_cast<std::size_t>(a)] = 0;
    global.clear();
    pooled = false;
  }
  int32_t Add(int32_t a) {
    int16_t& k = local[static_cast<std::size_t>(a)];
    if (k == 0) {
      global.push_back(a);
      k = static_cast<int16_t>(global.size());
    }
    return k;
  }
  int32_t Size() const { return static_cast<int32_t>(global.size()) + (pooled ? 1 : 0); }
  // Local number of a global allele; alleles outside the set are pooled.
  int32_t Of(int32_t a) const {
    const int16_t k = local[static_cast<std::size_t>(a)];
    return k != 0 ? k : static_cast<int32_t>(global.size()) + 1;
  }
};

// Reused between calls, so that scoring a move allocates nothing once the
// buffers have grown to the sizes the data need.
struct LocusWork {
  std::vector<AlleleSet> familysets, nodesets;
  std::vector<Record> records, haploid;
  std::vector<double> childp, half, pfre;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  std::vector<int32_t> mapm;
  ClusterGraph graph;
};
LocusWork work;

bool Missing(const std::pair<int32_t, int32_t>& g) { return g.first <= 0; }

double Exponent(int32_t c) {
  if (variables.fsscaleq == 1) {
    SetScale2(c);
    return likelihoodvar.scale2[static_cast<std::size_t>(c)];
  }
  return c;
}

// x to a power: integer exponents (the plain counts) by repeated squaring,
// which is exact and far cheaper than pow in the innermost loop.
inline double Power(double x, double e) {
  const int32_t k = static_cast<int32_t>(e);
  if (static_cast<double>(k) != e) return std::pow(x, e);
  double result = 1.0;
  for (int32_t b = k; b > 0; b >>= 1, x *= x) {
    if (b & 1) result *= x;
  }
  return result;
}

void Count(std::vector<Record>& list, int32_t a1, int32_t a2) {
  for (Record& r : list) {
    if (r.a1 == a1 && r.a2 == a2) {
      r.exponent += 1;
      return;
    }
  }
  list.push_back(Record{a1, a2, 1});
}

// Unordered genotypes over m alleles in index order.
void ListPairs(int32_t m, std::vector<std::pair<int32_t, int32_t>>& pairs) {
  pairs.assign(static_cast<std::size_t>(m * (m + 1) / 2) + 1, {0, 0});
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) pairs[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m))] = {i, j};
  }
}

// Map from the genotypes of a parent (over `from`) to the rows of a
// family table (over `to`); haploid: alleles only.
void ProjectionMap(const AlleleSet& from, const AlleleSet& to, bool haploid, std::vector<int32_t>& map) {
  const int32_t mf = from.Size(), mt = to.Size();
  auto toLocal = [&](int32_t k) {
    return k <= static_cast<int32_t>(from.global.size()) ? to.Of(from.global[static_cast<std::size_t>(k - 1)])
                                                          : static_cast<int32_t>(to.global.size()) + 1;
  };
  if (haploid) {
    map.resize(static_cast<std::size_t>(mf));
    for (int32_t k = 1; k <= mf; ++k) map[static_cast<std::size_t>(k - 1)] = toLocal(k) - 1;
    return;
  }
  map.resize(static_cast<std::size_t>(mf * (mf + 1) / 2));
  for (int32_t i = 1; i <= mf; ++i) {
    for (int32_t j = i; j <= mf; ++j) {
      map[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, mf) - 1)] = FamilyGenotypeIndex(toLocal(i), toLocal(j), mt) - 1;
    }
  }
}

}  // namespace

void FamilyLocusLogL(int32_t l, double& logl) {
  const FamilyLoglVar& fv = familyloglvar;
  const int32_t n = likelihoodvar.obsnumallele(l);
  logl = 0.0;
  if (n < 2) return;
  const bool dominant = variables.dominantmarker(l) != 0;
  const bool hd = variables.haplodiploid == 1;
  const double F = variables.inbreeding;
  const std::vector<double>& fre = likelihoodvar.obsallelefre(l);
  const std::size_t nfam = fv.families.size(), npar = fv.parents.size();
  if (work.familysets.size() < nfam) work.familysets.resize(nfam);
  if (work.nodesets.size() < npar) work.nodesets.resize(npar);

  // ---- Allele sets of families and parents ----
  // At two-allele loci the sets are simply both alleles.
  const bool whole = dominant || n <= 2;
  const int32_t maxShown = variables.othererrorrate(l) < 1e-8 ? (hd ? 3 : 4) : kMaxFamilyAlleles;
  for (std::size_t f = 0; f < nfam; ++f) {
    AlleleSet& s = work.familysets[f];
    s.Reset();
    if (whole) {
      for (int32_t a = 1; a <= n; ++a) s.Add(a);
      continue;
    }
    for (int32_t i : fv.families[f].members) {
      const auto g = ObservedGenotype(0, i, l);
      if (Missing(g)) continue;
      s.Add(g.first);
      s.Add(g.second);
      if (static_cast<int32_t>(s.global.size()) > maxShown) {
        logl = -1e300;  // more alleles than two parents can pass on
        return;
      }
    }
    s.pooled = static_cast<int32_t>(s.global.size()) < n;
  }
  for (std::size_t p = 0; p < npar; ++p) {
    AlleleSet& s = work.nodesets[p];
    s.Reset();
    if (whole) {
      for (int32_t a = 1; a <= n; ++a) s.Add(a);
      continue;
    }
    const auto& par = fv.parents[p];
    if (par.candidate > 0) {
      const auto g = ObservedGenotype(par.sex, par.candidate, l);
      if (!Missing(g)) {
        s.Add(g.first);
        s.Add(g.second);
      }
    }
  }
  if (!whole) {
    for (std::size_t f = 0; f < nfam; ++f) {
      const auto& fam = fv.families[f];
      for (int32_t p : {fam.father, fam.mother}) {
        if (p < 0) continue;
        for (int32_t a : work.familysets[f].global) work.nodesets[static_cast<std::size_t>(p)].Add(a);
      }
    }
    for (std::size_t p = 0; p < npar; ++p) {
      AlleleSet& s = work.nodesets[p];
      s.pooled = static_cast<int32_t>(s.global.size()) < n;
    }
  }

  // ---- Parents: genotype weights over their own allele sets ----
  ClusterGraph& graph = work.graph;
  graph.Clear();
  for (std::size_t p = 0; p < npar; ++p) {
    const auto& par = fv.parents[p];
    const AlleleSet& s = work.nodesets[p];
    const int32_t m = s.Size();
    const bool haploid = hd && par.sex == 1;
    work.pfre.resize(static_cast<std::size_t>(m));
    double shown = 0.0;
    for (std::size_t k = 0; k < s.global.size(); ++k) {
      work.pfre[k] = fre[static_cast<std::size_t>(s.global[k] - 1)];
      shown += work.pfre[k];
    }
    if (s.pooled) work.pfre[static_cast<std::size_t>(m - 1)] = std::max(0.0, 1.0 - shown);
    std::pair<int32_t, int32_t> obs{0, 0};
    if (par.candidate > 0) obs = ObservedGenotype(par.sex, par.candidate, l);
    const bool typed = !Missing(obs);
    if (typed && !dominant) obs = {s.Of(obs.first), s.Of(obs.second)};
    ClusterGraph::Node& node = graph.NewNode(haploid ? m : m * (m + 1) / 2);
    if (haploid) {
      for (int32_t k = 1; k <= m; ++k) {
        double x = work.pfre[static_cast<std::size_t>(k - 1)];
        if (typed) x *= dominant ? PrbGtoP(k, k, obs.first, 0, l) : PrbGtoPHaploid(k, obs.first, l);
        node.w[static_cast<std::size_t>(k - 1)] = x;
      }
      continue;
    }
    for (int32_t i = 1; i <= m; ++i) {
      const double pi = work.pfre[static_cast<std::size_t>(i - 1)];
      for (int32_t j = i; j <= m; ++j) {
        double x = i == j ? pi * (F + (1 - F) * pi) : 2 * (1 - F) * pi * work.pfre[static_cast<std::size_t>(j - 1)];
        if (x < 0) x = 0;
        if (typed) x *= PrbGtoP(i, j, obs.first, obs.second, l);
        node.w[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m) - 1)] = x;
      }
    }
  }

  // ---- Families: tables over their own alleles ----
  double logconst = 0.0;
  for (std::size_t f = 0; f < nfam; ++f) {
    const auto& fam = fv.families[f];
    const AlleleSet& s = work.familysets[f];
    work.records.clear();
    work.haploid.clear();
    for (int32_t i : fam.members) {
      const auto g = ObservedGenotype(0, i, l);
      if (Missing(g)) continue;
      const int32_t a1 = dominant ? g.first : s.Of(g.first);
      const int32_t a2 = dominant ? 0 : s.Of(g.second);
      Count(hd && variables.offploid(i) == 1 ? work.haploid : work.records, a1, a2);
    }
    if (work.records.empty() && work.haploid.empty()) continue;
    for (Record& r : work.records) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
    for (Record& r : work.haploid) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
    const int32_t m = s.Size();
    const int32_t G = m * (m + 1) / 2;
    ListPairs(m, work.pairs);
    const std::size_t nrec = work.records.size();
    const double weight = hd ? 0.5 : 0.25;
    work.childp.resize(static_cast<std::size_t>(G) * std::max<std::size_t>(nrec, 1));
    for (int32_t g = 1; g <= G; ++g) {
      const auto [i, j] = work.pairs[static_cast<std::size_t>(g)];
      for (std::size_t r = 0; r < nrec; ++r) {
        work.childp[static_cast<std::size_t>(g - 1) * nrec + r] =
            weight * PrbGtoP(i, j, work.records[r].a1, work.records[r].a2, l);
      }
    }
    const double* cp = work.childp.data();
    auto child = [&](int32_t x, int32_t y) { return cp + static_cast<std::size_t>(FamilyGenotypeIndex(x, y, m) - 1) * nrec; };
    // Haploid sons depend on their mother only.
    auto sons = [&](int32_t i, int32_t j) {
      double p = 1.0;
      for (const Record& r : work.haploid) {
        const double x = 0.5 * (dominant ? PrbGtoP(i, i, r.a1, 0, l) + PrbGtoP(j, j, r.a1, 0, l)
                                         : PrbGtoPHaploid(i, r.a1, l) + PrbGtoPHaploid(j, r.a1, l));
        p *= Power(x, r.exponent);
      }
      return p;
    };
    auto power = [&](double x, std::size_t r) { return Power(x, work.records[r].exponent); };
    std::vector<int32_t>& mapm = work.mapm;
    if (fam.father < 0) {
      // A mother's haploid sons only: a weight on her genotypes.
      ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.mother)], s, false, mapm);
      ClusterGraph::Node& node = graph.nodes[static_cast<std::size_t>(fam.mother)];
      for (int32_t gm = 0; gm < node.G; ++gm) {
        const auto [i, j] = work.pairs[static_cast<std::size_t>(mapm[static_cast<std::size_t>(gm)] + 1)];
        node.w[static_cast<std::size_t>(gm)] *= sons(i, j);
      }
      continue;
    }
    const bool selfed = fam.father == fam.mother;
    const int32_t Rf = hd ? m : G;
    ClusterGraph::Edge& edge = graph.NewEdge(fam.father, fam.mother, Rf, G);
    double largest = 0.0;
    // half[(gp * m + y) * nrec + r]: the weighted probability of record r
    // summed over the two alleles a parent of genotype gp can pass, with
    // allele y from the other parent. A family entry then needs two of
    // these per record instead of four child probabilities.
    work.half.resize(static_cast<std::size_t>(G) * static_cast<std::size_t>(m) * std::max<std::size_t>(nrec, 1));
    for (int32_t gp = 1; gp <= G; ++gp) {
      const auto [pi, pj] = work.pairs[static_cast<std::size_t>(gp)];
      for (int32_t y = 1; y <= m; ++y) {
        const double* a = child(pi, y);
        const double* b = child(pj, y);
        double* h = &work.half[(static_cast<std::size_t>(gp - 1) * static_cast<std::size_t>(m) + static_cast<std::size_t>(y - 1)) * nrec];
        for (std::size_t r = 0; r < nrec; ++r) h[r] = a[r] + b[r];
      }
    }
    auto half = [&](int32_t gp, int32_t y) {
      return &work.half[(static_cast<std::size_t>(gp - 1) * static_cast<std::size_t>(m) + static_cast<std::size_t>(y - 1)) * nrec];
    };
    for (int32_t gf = 1; gf <= Rf; ++gf) {
      double* row = &edge.table[static_cast<std::size_t>(gf - 1) * static_cast<std::size_t>(G)];
      // Diploid parents play symmetric parts: the table is symmetric, so
      // only its upper triangle is computed.
      const int32_t first = hd ? 1 : gf;
      for (int32_t gm = first; gm <= G; ++gm) {
        if (selfed && gm != gf) continue;  // one genotype in both roles
        const auto [mi, mj] = work.pairs[static_cast<std::size_t>(gm)];
        double p = 1.0;
        if (hd) {
          // The haploid father's allele gf with one of the mother's two.
          const double* a = half(gm, gf);
          for (std::size_t r = 0; r < nrec && p > 0.0; ++r) p *= power(a[r], r);
        } else {
          const double* a = half(gf, mi);
          const double* b = half(gf, mj);
          for (std::size_t r = 0; r < nrec && p > 0.0; ++r) p *= power(a[r] + b[r], r);
        }
        if (!work.haploid.empty() && p > 0.0) p *= sons(mi, mj);
        row[gm - 1] = p;
        if (!hd && gm != gf) edge.table[static_cast<std::size_t>(gm - 1) * static_cast<std::size_t>(G) + static_cast<std::size_t>(gf - 1)] = p;
        largest = std::max(largest, p);
      }
    }
    if (!(largest > 1e-300)) {
      logl = -1e300;
      return;
    }
    const double inv = 1.0 / largest;
    for (double& x : edge.table) x *= inv;
    logconst += std::log(largest);
    ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.father)], s, hd, edge.pa);
    ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.mother)], s, false, edge.pb);
  }

  const double prune = variables.likelihoodprecision >= 3 ? 0.0 : likelihoodvar.prec3;
  const double sum = ClusterLogSum(graph, prune);
  logl = sum <= -1e300 ? -1e300 : sum + logconst;
}
