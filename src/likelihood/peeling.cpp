// Log likelihood of the families of a cluster at one locus.
//
// Parental genotypes are enumerated over the alleles the cluster shows
// (offspring and sampled parents) plus, when the locus has alleles the
// cluster does not show, one pooled allele standing for all of them: under
// the error model an unseen allele behaves the same whichever it is, and
// the population frequencies of the genotypes that carry unseen alleles
// add up exactly to those of the pooled genotypes. This keeps the tables
// small (a family of full sibs shows at most four alleles without error)
// whatever the number of alleles at the locus.
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

// Largest number of distinct alleles a cluster may show at one locus.
constexpr int32_t kMaxClusterAlleles = 80;

struct Record {
  int32_t a1, a2;  // local alleles (dominant: phenotype, 0)
  double exponent;
};

// Reused between calls, so that scoring a move allocates nothing once the
// buffers have grown to the sizes the data need.
struct LocusWork {
  std::array<int16_t, 128> local{};   // global allele -> local allele, 0 = not in the set
  std::vector<int32_t> global;        // local allele -> global allele
  std::vector<double> pfre;           // local allele frequencies, pooled last
  std::vector<std::pair<int32_t, int32_t>> pairs;  // local genotype index -> alleles
  std::vector<Record> records, haploid;
  std::vector<double> childp;
  ClusterGraph graph;
};
LocusWork work;

bool Missing(const std::pair<int32_t, int32_t>& g) { return g.first <= 0; }

// Exponent of a record of c offspring: the count, or its scaled value.
double Exponent(int32_t c) {
  if (variables.fsscaleq == 1) {
    SetScale2(c);
    return likelihoodvar.scale2[static_cast<std::size_t>(c)];
  }
  return c;
}

int32_t AddAllele(int32_t a) {
  if (work.local[static_cast<std::size_t>(a)] == 0) {
    work.global.push_back(a);
    work.local[static_cast<std::size_t>(a)] = static_cast<int16_t>(work.global.size());
  }
  return work.local[static_cast<std::size_t>(a)];
}

// Adds (or counts) one observation in a record list.
void Count(std::vector<Record>& list, int32_t a1, int32_t a2) {
  for (Record& r : list) {
    if (r.a1 == a1 && r.a2 == a2) {
      r.exponent += 1;
      return;
    }
  }
  list.push_back(Record{a1, a2, 1});
}

}  // namespace

void FamilyLocusLogL(int32_t l, double& logl) {
  const FamilyLoglVar& fv = familyloglvar;
  const int32_t n = likelihoodvar.obsnumallele(l);
  logl = 0.0;
  if (n < 2) return;
  const bool dominant = variables.dominantmarker(l) != 0;
  const bool haploidFather = variables.haplodiploid == 1;
  const double F = variables.inbreeding;

  // ---- The alleles of the cluster ----
  for (int32_t a : work.global) work.local[static_cast<std::size_t>(a)] = 0;
  work.global.clear();
  const bool allAlleles = dominant || n <= 2;
  if (allAlleles) {
    for (int32_t a = 1; a <= n; ++a) AddAllele(a);
  } else {
    const int32_t maxFamilyAlleles = variables.othererrorrate(l) < 1e-8 ? (haploidFather ? 3 : 4) : kMaxClusterAlleles;
    for (const auto& fam : fv.families) {
      int32_t shown = 0;
      std::array<int32_t, 2 * kMaxClusterAlleles + 2> seen{};
      for (int32_t i : fam.members) {
        const auto g = ObservedGenotype(0, i, l);
        if (Missing(g)) continue;
        for (int32_t a : {g.first, g.second}) {
          if (std::find(seen.begin(), seen.begin() + shown, a) == seen.begin() + shown) {
            if (shown >= maxFamilyAlleles) {
              logl = -1e300;  // more alleles than two parents can carry
              return;
            }
            seen[static_cast<std::size_t>(shown++)] = a;
          }
          AddAllele(a);
        }
      }
    }
    for (const auto& p : fv.parents) {
      if (p.candidate <= 0) continue;
      const auto g = ObservedGenotype(p.sex, p.candidate, l);
      if (Missing(g)) continue;
      AddAllele(g.first);
      AddAllele(g.second);
    }
    if (static_cast<int32_t>(work.global.size()) > kMaxClusterAlleles) {
      logl = -1e300;
      return;
    }
  }
  const int32_t na = static_cast<int32_t>(work.global.size());
  const std::vector<double>& fre = likelihoodvar.obsallelefre(l);
  work.pfre.assign(static_cast<std::size_t>(na), 0.0);
  double shown = 0.0;
  for (int32_t k = 0; k < na; ++k) {
    work.pfre[static_cast<std::size_t>(k)] = fre[static_cast<std::size_t>(work.global[static_cast<std::size_t>(k)] - 1)];
    shown += work.pfre[static_cast<std::size_t>(k)];
  }
  const bool pooled = na < n && 1.0 - shown > 1e-15;
  if (pooled) work.pfre.push_back(1.0 - shown);
  const int32_t m = na + (pooled ? 1 : 0);
  const int32_t G = m * (m + 1) / 2;
  work.pairs.assign(static_cast<std::size_t>(G) + 1, {0, 0});
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) work.pairs[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m))] = {i, j};
  }
  auto localObs = [&](const std::pair<int32_t, int32_t>& g) -> std::pair<int32_t, int32_t> {
    if (dominant) return g;
    return {work.local[static_cast<std::size_t>(g.first)], work.local[static_cast<std::size_t>(g.second)]};
  };

  // ---- Parents and their genotype weights ----
  ClusterGraph& graph = work.graph;
  graph.Clear();
  for (const auto& p : fv.parents) {
    const bool haploid = haploidFather && p.sex == 1;
    std::pair<int32_t, int32_t> obs{0, 0};
    if (p.candidate > 0) obs = ObservedGenotype(p.sex, p.candidate, l);
    const bool typed = !Missing(obs);
    if (typed) obs = localObs(obs);
    std::vector<double> w(static_cast<std::size_t>(haploid ? m : G));
    if (haploid) {
      for (int32_t k = 1; k <= m; ++k) {
        double x = work.pfre[static_cast<std::size_t>(k - 1)];
        if (typed) x *= dominant ? PrbGtoP(k, k, obs.first, 0, l) : PrbGtoPHaploid(k, obs.first, l);
        w[static_cast<std::size_t>(k - 1)] = x;
      }
    } else {
      for (int32_t g = 1; g <= G; ++g) {
        const auto [i, j] = work.pairs[static_cast<std::size_t>(g)];
        const double pi = work.pfre[static_cast<std::size_t>(i - 1)];
        double x = i == j ? pi * (F + (1 - F) * pi) : 2 * (1 - F) * pi * work.pfre[static_cast<std::size_t>(j - 1)];
        if (x < 0) x = 0;
        if (typed) x *= PrbGtoP(i, j, obs.first, obs.second, l);
        w[static_cast<std::size_t>(g - 1)] = x;
      }
    }
    graph.AddNode(std::move(w));
  }

  // ---- Family tables ----
  double logconst = 0.0;
  for (const auto& fam : fv.families) {
    work.records.clear();
    work.haploid.clear();
    for (int32_t i : fam.members) {
      const auto g = ObservedGenotype(0, i, l);
      if (Missing(g)) continue;
      const auto o = localObs(g);
      if (haploidFather && variables.offploid(i) == 1) {
        Count(work.haploid, o.first, o.second);
      } else {
        Count(work.records, o.first, o.second);
      }
    }
    if (work.records.empty() && work.haploid.empty()) continue;
    for (Record& r : work.records) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
    for (Record& r : work.haploid) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
    const std::size_t nrec = work.records.size();
    const double weight = haploidFather ? 0.5 : 0.25;
    work.childp.assign(static_cast<std::size_t>(G) * std::max<std::size_t>(nrec, 1), 0.0);
    for (int32_t g = 1; g <= G; ++g) {
      const auto [i, j] = work.pairs[static_cast<std::size_t>(g)];
      for (std::size_t r = 0; r < nrec; ++r) {
        work.childp[static_cast<std::size_t>(g - 1) * nrec + r] =
            weight * PrbGtoP(i, j, work.records[r].a1, work.records[r].a2, l);
      }
    }
    auto cp = [&](int32_t x, int32_t y, std::size_t r) {
      return work.childp[static_cast<std::size_t>(FamilyGenotypeIndex(x, y, m) - 1) * nrec + r];
    };
    // Haploid sons depend on their mother only.
    auto sons = [&](int32_t i, int32_t j) {
      double p = 1.0;
      for (const Record& r : work.haploid) {
        const double s = 0.5 * (dominant ? PrbGtoP(i, i, r.a1, 0, l) + PrbGtoP(j, j, r.a1, 0, l)
                                         : PrbGtoPHaploid(i, r.a1, l) + PrbGtoPHaploid(j, r.a1, l));
        p *= r.exponent == 1 ? s : std::pow(s, r.exponent);
      }
      return p;
    };
    auto product = [&](auto&& transmission) {
      double p = 1.0;
      for (std::size_t r = 0; r < nrec && p > 0.0; ++r) {
        const double s = transmission(r);
        p *= work.records[r].exponent == 1 ? s : std::pow(s, work.records[r].exponent);
      }
      return p;
    };
    const int32_t mother = fam.mother;
    const int32_t father = fam.father;
    const int32_t Gm = G;
    std::vector<double> table;
    if (father < 0) {
      // A mother's haploid sons only: a weight on her genotypes.
      std::vector<double>& wm = graph.weight[static_cast<std::size_t>(mother)];
      for (int32_t gm = 1; gm <= Gm; ++gm) {
        const auto [i, j] = work.pairs[static_cast<std::size_t>(gm)];
        wm[static_cast<std::size_t>(gm - 1)] *= sons(i, j);
      }
      continue;
    }
    const bool fatherHaploid = haploidFather;
    const int32_t Gf = fatherHaploid ? m : G;
    table.assign(static_cast<std::size_t>(Gf) * Gm, 0.0);
    for (int32_t gf = 1; gf <= Gf; ++gf) {
      const auto [fi, fj] = fatherHaploid ? std::pair<int32_t, int32_t>{gf, gf} : work.pairs[static_cast<std::size_t>(gf)];
      for (int32_t gm = 1; gm <= Gm; ++gm) {
        if (father == mother && gm != gf) continue;  // selfed: one genotype for both roles
        const auto [mi, mj] = work.pairs[static_cast<std::size_t>(gm)];
        double p = fatherHaploid
                       ? product([&](std::size_t r) { return cp(fi, mi, r) + cp(fi, mj, r); })
                       : product([&](std::size_t r) {
                           return cp(fi, mi, r) + cp(fi, mj, r) + cp(fj, mi, r) + cp(fj, mj, r);
                         });
        if (!work.haploid.empty() && p > 0.0) p *= sons(mi, mj);
        table[static_cast<std::size_t>(gf - 1) * Gm + gm - 1] = p;
      }
    }
    double largest = 0.0;
    for (double x : table) largest = std::max(largest, x);
    if (!(largest > 1e-300)) {
      logl = -1e300;
      return;
    }
    for (double& x : table) x /= largest;
    logconst += std::log(largest);
    graph.AddEdge(father, mother, std::move(table));
  }

  const double prune = variables.likelihoodprecision >= 3 ? 0.0 : likelihoodvar.prec3;
  const double sum = ClusterLogSum(graph, prune);
  logl = sum <= -1e300 ? -1e300 : sum + logconst;
}
