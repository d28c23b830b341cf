// Probability tables of one full-sib family at one locus.
#include "likelihood/family_tables.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "genotype/error_model.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

double Power(double x, double e) {
  const int32_t k = static_cast<int32_t>(e);
  if (static_cast<double>(k) != e) return std::pow(x, e);
  return IntegerPower(x, k);
}

double SonsProbability(int32_t l, const FamilyData& data, int32_t i, int32_t j) {
  // A haploid son shows his one allele (at a dominant locus, its
  // phenotype), subject to the haploid error model only.
  double p = 1.0;
  for (const FamilyRecord& r : data.haploid) {
    const double x = 0.5 * (PrbGtoPHaploid(i, r.a1, l) + PrbGtoPHaploid(j, r.a1, l));
    p *= Power(x, r.exponent);
  }
  return p;
}

namespace {

struct Scratch {
  std::vector<std::pair<int32_t, int32_t>> pairs;  // genotype index -> alleles
  std::vector<int32_t> index;                      // (x, y) -> genotype index - 1
  std::vector<double> childp, half;
  std::vector<int32_t> counts;
  int32_t m = 0;
};
Scratch scratch;

void SetAlleles(int32_t m) {
  if (scratch.m == m) return;
  scratch.m = m;
  const int32_t G = m * (m + 1) / 2;
  scratch.pairs.assign(static_cast<std::size_t>(G) + 1, {0, 0});
  scratch.index.assign(static_cast<std::size_t>((m + 1) * (m + 1)), 0);
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) {
      const int32_t g = FamilyGenotypeIndex(i, j, m);
      scratch.pairs[static_cast<std::size_t>(g)] = {i, j};
      scratch.index[static_cast<std::size_t>(i * (m + 1) + j)] = g - 1;
      scratch.index[static_cast<std::size_t>(j * (m + 1) + i)] = g - 1;
    }
  }
}

// The table from child probabilities: childp[(g - 1) * nrec + r] is the
// probability of record r for a child of genotype g, times the chance of
// one transmission (1/4, or 1/2 with a haploid father).
double TableFromChildProbabilities(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  const bool hd = variables.haplodiploid == 1;
  const int32_t G = m * (m + 1) / 2;
  const int32_t Rf = hd ? m : G;
  const std::size_t nrec = data.records.size();
  const std::size_t stride = static_cast<std::size_t>(m + 1);
  table.assign(static_cast<std::size_t>(Rf) * static_cast<std::size_t>(G), 0.0);
  // half[(gp * m + y) * nrec + r]: record r summed over the two alleles a
  // parent of genotype gp passes, with allele y from the other parent: a
  // family entry then needs two of these per record instead of four.
  scratch.half.resize(static_cast<std::size_t>(G) * static_cast<std::size_t>(m) * std::max<std::size_t>(nrec, 1));
  for (int32_t gp = 1; gp <= G; ++gp) {
    const auto [pi, pj] = scratch.pairs[static_cast<std::size_t>(gp)];
    for (int32_t y = 1; y <= m; ++y) {
      const double* a = &scratch.childp[static_cast<std::size_t>(scratch.index[static_cast<std::size_t>(pi) * stride + static_cast<std::size_t>(y)]) * nrec];
      const double* b = &scratch.childp[static_cast<std::size_t>(scratch.index[static_cast<std::size_t>(pj) * stride + static_cast<std::size_t>(y)]) * nrec];
      double* h = &scratch.half[(static_cast<std::size_t>(gp - 1) * static_cast<std::size_t>(m) + static_cast<std::size_t>(y - 1)) * nrec];
      for (std::size_t r = 0; r < nrec; ++r) h[r] = a[r] + b[r];
    }
  }
  auto half = [&](int32_t gp, int32_t y) {
    return &scratch.half[(static_cast<std::size_t>(gp - 1) * static_cast<std::size_t>(m) + static_cast<std::size_t>(y - 1)) * nrec];
  };
  // Exponents are counts of offspring unless the scaled likelihood is on:
  // whole numbers are then raised by repeated squaring, read once here.
  bool whole = true;
  scratch.counts.resize(nrec);
  for (std::size_t r = 0; r < nrec; ++r) {
    const double e = data.records[r].exponent;
    scratch.counts[r] = static_cast<int32_t>(e);
    whole = whole && static_cast<double>(scratch.counts[r]) == e;
  }
  const int32_t* counts = scratch.counts.data();
  auto power = [&](double x, std::size_t r) {
    return whole ? IntegerPower(x, counts[r]) : Power(x, data.records[r].exponent);
  };
  double largest = 0.0;
  for (int32_t gf = 1; gf <= Rf; ++gf) {
    double* row = &table[static_cast<std::size_t>(gf - 1) * static_cast<std::size_t>(G)];
    // Diploid parents play symmetric parts: only the upper triangle is
    // computed.
    for (int32_t gm = hd ? 1 : gf; gm <= G; ++gm) {
      if (selfed && gm != gf) continue;  // one genotype in both roles
      const auto [mi, mj] = scratch.pairs[static_cast<std::size_t>(gm)];
      double p = 1.0;
      if (hd) {
        // The haploid father's allele gf with either of the mother's.
        const double* a = half(gm, gf);
        for (std::size_t r = 0; r < nrec && p > 0.0; ++r) p *= power(a[r], r);
      } else {
        const double* a = half(gf, mi);
        const double* b = half(gf, mj);
        for (std::size_t r = 0; r < nrec && p > 0.0; ++r) p *= power(a[r] + b[r], r);
      }
      if (!data.haploid.empty() && p > 0.0) p *= SonsProbability(l, data, mi, mj);
      row[gm - 1] = p;
      if (!hd && gm != gf) table[static_cast<std::size_t>(gm - 1) * static_cast<std::size_t>(G) + static_cast<std::size_t>(gf - 1)] = p;
      largest = std::max(largest, p);
    }
  }
  return largest;
}

// Child probabilities under the error model.
double WithErrors(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  SetAlleles(m);
  const int32_t G = m * (m + 1) / 2;
  const std::size_t nrec = data.records.size();
  const double weight = variables.haplodiploid == 1 ? 0.5 : 0.25;
  scratch.childp.resize(static_cast<std::size_t>(G) * std::max<std::size_t>(nrec, 1));
  for (int32_t g = 1; g <= G; ++g) {
    const auto [i, j] = scratch.pairs[static_cast<std::size_t>(g)];
    for (std::size_t r = 0; r < nrec; ++r) {
      scratch.childp[static_cast<std::size_t>(g - 1) * nrec + r] = weight * PrbGtoP(i, j, data.records[r].a1, data.records[r].a2, l);
    }
  }
  return TableFromChildProbabilities(l, data, m, selfed, table);
}

// Without typing errors a child's observation is its genotype.
double WithoutErrors(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  SetAlleles(m);
  const int32_t G = m * (m + 1) / 2;
  const std::size_t nrec = data.records.size();
  const double weight = variables.haplodiploid == 1 ? 0.5 : 0.25;
  scratch.childp.assign(static_cast<std::size_t>(G) * std::max<std::size_t>(nrec, 1), 0.0);
  for (std::size_t r = 0; r < nrec; ++r) {
    const int32_t g = FamilyGenotypeIndex(data.records[r].a1, data.records[r].a2, m);
    scratch.childp[static_cast<std::size_t>(g - 1) * nrec + r] = weight;
  }
  return TableFromChildProbabilities(l, data, m, selfed, table);
}

}  // namespace

double FsProbCompute1(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  return WithoutErrors(l, data, m, selfed, table);
}

double FsProbComputeSnp(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  // Two alleles: three genotypes per parent, nine parental pairs.
  return WithoutErrors(l, data, m, selfed, table);
}

double FsProbCompute2(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  return WithErrors(l, data, m, selfed, table);
}

double FsProbCompute21(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  // One distinct genotype: each entry is one summed transmission
  // probability raised to the family's exponent.
  return WithErrors(l, data, m, selfed, table);
}

double FsProbCompute3(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  return WithErrors(l, data, m, selfed, table);
}

namespace {
// Tables of dominant families depend only on the exponents of the two
// phenotypes; they are kept while the evaluation stays at one locus.
struct DomCache {
  int32_t locus = 0;
  int32_t hd = -1;
  double D = -1.0, E = -1.0;  // the error rates the tables were made with
  std::map<std::pair<double, double>, std::pair<std::vector<double>, double>> tables;
};
DomCache domcache;
}  // namespace

double FsProbComputeDom(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  if (!data.haploid.empty() || selfed) return WithErrors(l, data, m, selfed, table);
  double c1 = 0.0, c2 = 0.0;
  for (const FamilyRecord& r : data.records) (r.a1 == 1 ? c1 : c2) += r.exponent;
  if (domcache.locus != l || domcache.hd != variables.haplodiploid || domcache.D != variables.droprate(l) ||
      domcache.E != variables.othererrorrate(l)) {
    domcache.tables.clear();
    domcache.locus = l;
    domcache.hd = variables.haplodiploid;
    domcache.D = variables.droprate(l);
    domcache.E = variables.othererrorrate(l);
  }
  auto it = domcache.tables.find({c1, c2});
  if (it != domcache.tables.end()) {
    table = it->second.first;
    return it->second.second;
  }
  const double largest = WithErrors(l, data, m, selfed, table);
  if (domcache.tables.size() < 4096) domcache.tables.emplace(std::make_pair(c1, c2), std::make_pair(table, largest));
  return largest;
}

double FsProbCompute(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table) {
  if (variables.dominantmarker(l) != 0) return FsProbComputeDom(l, data, m, selfed, table);
  if (likelihoodvar.locuserror(l) == 0) {
    return likelihoodvar.obsnumallele(l) <= 2 ? FsProbComputeSnp(l, data, m, selfed, table)
                                              : FsProbCompute1(l, data, m, selfed, table);
  }
  if (m > 8) return FsProbCompute3(l, data, m, selfed, table);
  if (data.records.size() == 1 && data.haploid.empty()) return FsProbCompute21(l, data, m, selfed, table);
  return FsProbCompute2(l, data, m, selfed, table);
}
