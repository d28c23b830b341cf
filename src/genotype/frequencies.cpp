// Allele and genotype frequencies, selfed-offspring probabilities and the
// scaled family counts.
#include "genotype/frequencies.h"

#include <algorithm>
#include <cmath>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

double GenotypeFre(int32_t i, int32_t j, int32_t l, double F) {
  const std::vector<double>& p = likelihoodvar.obsallelefre(l);
  const double pi = p[static_cast<std::size_t>(i - 1)];
  if (i == j) {
    const double f = pi * (F + (1 - F) * pi);
    // Negative F (outbreeding) can push a rare homozygote below zero.
    return (F < -1e-300 && f < 0) ? 0.0 : f;
  }
  return 2 * (1 - F) * pi * p[static_cast<std::size_t>(j - 1)];
}

void ComputeGtypeFre(int32_t l1, int32_t l2) {
  LikelihoodVar& lv = likelihoodvar;
  const double F = variables.inbreeding;
  if (lv.locus2gtypefre.rows() != 12 ||
      lv.locus2gtypefre.cols() != static_cast<std::size_t>(variables.numloci)) {
    lv.locus2gtypefre.assign(12, static_cast<std::size_t>(variables.numloci), 0.0);
    lv.l2lb = 1;
  }
  for (int32_t l = l1; l <= l2; ++l) {
    if (lv.obsnumallele(l) != 2) continue;
    auto col = [&](int32_t k) -> double& { return lv.locus2gtypefre(k, l); };
    const double g[3] = {GenotypeFre(1, 1, l, F), GenotypeFre(1, 2, l, F), GenotypeFre(2, 2, l, F)};
    static const int32_t pairs[3][2] = {{1, 1}, {1, 2}, {2, 2}};
    for (int32_t k = 0; k < 3; ++k) col(k + 1) = g[k];
    col(4) = lv.obsallelefre(l)[0];
    col(5) = lv.obsallelefre(l)[1];
    const bool dominant = variables.dominantmarker(l) != 0;
    const int32_t nobs = dominant ? 2 : 3;
    for (int32_t o = 0; o < nobs; ++o) {
      double sum = 0.0;
      for (int32_t t = 0; t < 3; ++t) {
        sum += dominant ? g[t] * PrbGtoP(pairs[t][0], pairs[t][1], o + 1, 0, l)
                        : g[t] * PrbGtoP(pairs[t][0], pairs[t][1], pairs[o][0], pairs[o][1], l);
      }
      col(6 + o) = sum;
    }
    if (variables.haplodiploid == 1) {
      for (int32_t t = 1; t <= 2; ++t) {
        for (int32_t o = 1; o <= 2; ++o) col(8 + 2 * (t - 1) + o) = col(3 + t) * PrbGtoPHaploid(t, o, l);
      }
    }
  }
}

void RecomputeAlleleFre(int32_t l, std::vector<double> counts) {
  const Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t n = lv.obsnumallele(l);
  if (n < 2) return;
  std::vector<double>& p = lv.obsallelefre(l);
  counts.resize(static_cast<std::size_t>(n), 0.0);
  const bool dominant = v.dominantmarker(l) != 0;
  const double p2 = p.size() >= 2 ? p[1] : 0.0;
  // The candidates no family of the best configuration takes stand for
  // themselves; the assigned ones are among the inferred parents already.
  // In a one-sex sample both columns assign parents of the one pool.
  const Mat1<int32_t>& assigned = v.BtInferParent;
  for (int32_t s = 1; s <= std::min(v.numsex, 2); ++s) {
    const int32_t C = std::max(v.numchild(s), 0);
    if (C < 1 || v.cndgtype(s).size() < static_cast<std::size_t>(l)) continue;
    std::vector<uint8_t> marked(static_cast<std::size_t>(C) + 1, 0);
    for (int32_t i = 1; i <= v.smplsize && static_cast<std::size_t>(i) <= assigned.rows(); ++i) {
      for (int32_t k = 1; k <= 2 && static_cast<std::size_t>(k) <= assigned.cols(); ++k) {
        const int32_t c = assigned(i, k);
        if ((v.numsex == 1 || k == s) && c >= 1 && c <= C) marked[static_cast<std::size_t>(c)] = 1;
      }
    }
    const bool haploid = v.ploidy(s) == 1;
    for (int32_t c = 1; c <= C; ++c) {
      if (marked[static_cast<std::size_t>(c)] != 0) continue;
      const auto [a, b] = ObservedGenotype(s, c, l);
      if (a <= 0) continue;
      if (dominant && !haploid) {
        // The expected allele content of a dominant phenotype under
        // Hardy-Weinberg proportions.
        if (a == 2) {
          counts[1] += 2.0;
        } else {
          counts[0] += 2.0 / (1.0 + p2);
          counts[1] += 2.0 * p2 / (1.0 + p2);
        }
        continue;
      }
      counts[static_cast<std::size_t>(a - 1)] += 1.0;
      if (!haploid && b > 0) counts[static_cast<std::size_t>(b - 1)] += 1.0;
    }
  }
  double total = 0.0;
  for (double x : counts) total += x;
  // Few copies: an allele not met must not get frequency 0.
  if (total < 30.0) {
    for (double& x : counts) x += 1.0;
    total += n;
  }
  for (int32_t a = 0; a < n; ++a) p[static_cast<std::size_t>(a)] = counts[static_cast<std::size_t>(a)] / total;
}

double PrntSelfedOffProb(int32_t a, int32_t b, int32_t o1, int32_t o2, int32_t l) {
  if (a == b) return PrbGtoP(a, a, o1, o2, l);
  return (PrbGtoP(a, a, o1, o2, l) + 2 * PrbGtoP(std::min(a, b), std::max(a, b), o1, o2, l) +
          PrbGtoP(b, b, o1, o2, l)) /
         4;
}

// Classes, by what the observation shares with the parent:
//  codominant, homozygous parent aa: 1 obs aa, 2 obs ax, 3 obs xx, 4 obs xy;
//  codominant, heterozygous parent ab: 5 obs ab, 6 obs aa or bb, 7 obs ax or
//  bx, 8 obs xx, 9 obs xy;
//  dominant: 1 + 2 * (parent genotype class 0..2) + (phenotype - 1).
int32_t SelfClass(int32_t a, int32_t b, int32_t o1, int32_t o2, int32_t l) {
  if (variables.dominantmarker(l) != 0) return 1 + 2 * (a + b - 2) + (o1 - 1);
  const bool ina1 = o1 == a || o1 == b;
  const bool ina2 = o2 == a || o2 == b;
  if (a == b) {
    if (o1 == o2) return ina1 ? 1 : 3;
    return (ina1 || ina2) ? 2 : 4;
  }
  if (o1 == o2) return ina1 ? 6 : 8;
  if (ina1 && ina2) return 5;
  return (ina1 || ina2) ? 7 : 9;
}

void CalculatePrbGtoPSelf(int32_t l1, int32_t l2) {
  LikelihoodVar& lv = likelihoodvar;
  const std::size_t nloci = static_cast<std::size_t>(variables.numloci);
  if (lv.prbgtopself.size() != nloci) lv.prbgtopself.assign(nloci);
  if (lv.prbgtopselfconst.size() != nloci) lv.prbgtopselfconst.assign(nloci, 0.0);
  for (int32_t l = l1; l <= l2; ++l) {
    std::vector<double>& table = lv.prbgtopself(l);
    const int32_t n = lv.obsnumallele(l);
    if (n < 2) {
      table.clear();
      continue;
    }
    if (variables.dominantmarker(l) != 0) {
      table.assign(6, 0.0);
      for (int32_t g = 0; g < 3; ++g) {
        const int32_t a = g == 2 ? 2 : 1, b = g == 0 ? 1 : 2;
        for (int32_t o = 1; o <= 2; ++o) table[static_cast<std::size_t>(SelfClass(a, b, o, 0, l) - 1)] = PrntSelfedOffProb(a, b, o, 0, l);
      }
      continue;
    }
    // One representative (parent, observation) pair per class; alleles 3
    // and 4 exist only at loci with enough alleles.
    struct Rep {
      int32_t a, b, o1, o2;
    };
    const Rep reps[] = {{1, 1, 1, 1}, {1, 1, 1, 2}, {1, 1, 2, 2}, {1, 1, 2, 3}, {1, 2, 1, 2},
                        {1, 2, 1, 1}, {1, 2, 1, 3}, {1, 2, 3, 3}, {1, 2, 3, 4}};
    table.assign(9, 0.0);
    for (const Rep& r : reps) {
      if (std::max({r.a, r.b, r.o1, r.o2}) > n) continue;
      table[static_cast<std::size_t>(SelfClass(r.a, r.b, r.o1, r.o2, l) - 1)] =
          PrntSelfedOffProb(r.a, r.b, r.o1, r.o2, l);
    }
  }
}

void SetScale2Const() {
  LikelihoodVar& lv = likelihoodvar;
  double S = 0.0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (lv.obsnumallele(l) <= 1) continue;
    double sumsq = 0.0;
    for (double p : lv.obsallelefre(l)) sumsq += p * p;
    if (sumsq <= 0.0) continue;
    const double D = variables.droprate(l), E = variables.othererrorrate(l);
    S += (1.0 / sumsq - 1.0) * std::max(0.0, 1.0 - D - 2.0 * E);
  }
  lv.scale2const = std::exp(-2.0 / std::sqrt(1.0 + std::fabs(S)));
}

namespace {
// e of the exponent: 4 times the mean other-error rate of the two-allele
// loci, or 1 above a mean of 0.2. Without any two-allele locus (common with
// microsatellites) the loci with more alleles stand in, and with no
// polymorphic locus at all e is 0, so the exponent is always defined.
double Scale2ErrorRate() {
  double sum2 = 0.0, sumall = 0.0;
  int32_t n2 = 0, nall = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    const int32_t n = likelihoodvar.obsnumallele(l);
    if (n < 2) continue;
    sumall += variables.othererrorrate(l);
    ++nall;
    if (n == 2) {
      sum2 += variables.othererrorrate(l);
      ++n2;
    }
  }
  const double mean = n2 > 0 ? sum2 / n2 : (nall > 0 ? sumall / nall : 0.0);
  return mean > 0.2 ? 1.0 : 4.0 * mean;
}
}  // namespace

void SetScale2(int32_t N) {
  LikelihoodVar& lv = likelihoodvar;
  if (N < 0) N = 0;
  if (static_cast<int32_t>(lv.scale2.size()) > N) return;
  lv.scale2.assign(static_cast<std::size_t>(N) + 1, 0.0);
  double b = 1.0;
  if (variables.fsscaleq == 1) {
    if (lv.scale2errorrate < 0) lv.scale2errorrate = Scale2ErrorRate();
    const double e = lv.scale2errorrate;
    b = e + (1 - e) * (1.01 - lv.scale2const / 16);
  }
  if (b < 0.9999999999999999) {
    const double c = (2 - std::pow(2.0, b)) / std::log(2.0);
    for (int32_t k = 1; k <= N; ++k) lv.scale2[static_cast<std::size_t>(k)] = std::pow(k, b) + c * std::log(static_cast<double>(k));
  } else {
    for (int32_t k = 1; k <= N; ++k) lv.scale2[static_cast<std::size_t>(k)] = k;
  }
  lv.scale2[0] = 0.0;
}
