// The genotyping-error model. Seven classes of (true, observed) genotype
// pairs cover every case at a codominant locus, so that the probability of
// any observation costs a few comparisons and one table read.
#include "genotype/error_model.h"

#include <algorithm>
#include <cmath>

#include "state/likelihoodvar.h"
#include "state/variables.h"

double ErrScale(int32_t n, double e) {
  const double s = std::sqrt(2.25 / n);
  return e * (1.0 - s) + s * (1.0 - std::exp(-e));
}

int32_t ConfigGtoP(int32_t t1, int32_t t2, int32_t o1, int32_t o2) {
  if (o2 < 1) return t1 + t2 - 1;
  const bool trueHet = t1 != t2;
  if (o1 == o2) {  // observed homozygote
    if (trueHet) return (o1 == t1 || o1 == t2) ? 2 : 4;
    return o1 == t1 ? 5 : 4;
  }
  // observed heterozygote
  const int shared = (o1 == t1 || o1 == t2 ? 1 : 0) + (o2 == t1 || o2 == t2 ? 1 : 0);
  if (trueHet) {
    if (shared == 2) return 1;
    return shared == 1 ? 3 : 7;
  }
  return shared >= 1 ? 6 : 7;
}

namespace {

double CodominantClassProb(int32_t cls, int32_t n, double D, double E) {
  const double f = E / n;
  const double d1 = 1.0 + D;
  switch (cls) {
    case 1: return ((1 - E + f) * (1 - E + f) + f * f) * (1 - D) / d1;
    case 2: return ((1 + D - n * D) * f + (1 - D) * f * f * (1 - n) + D) / d1;
    case 3: return (1 - E + 2 * f) * f * (1 - D) / d1;
    case 4: return (2 * D * (1 - f) / d1 + f) * f;
    case 5: return (1 - E + f) * (2 * D * (1 - 1.0 / n) * E / d1 + (1 - E + f));
    case 6: return (1 - E + f) * f * (2 - 2 * D) / d1;
    default: return f * f * (2 - 2 * D) / d1;
  }
}

// Probability of the dominant phenotype (1) given true genotype class
// 1 = (1,1), 2 = (1,2), 3 = (2,2).
double DominantPhenotype1Prob(int32_t cls, int32_t n, double D, double E) {
  const double f = E / n;
  const double d1 = 1.0 + D;
  switch (cls) {
    case 1: return (E / d1 + 1 - f) * (1 - f);
    case 2: return (1 - f) * f + (E * f + 1 - E) / d1;
    default: return (E / 4 + (1 - f) / d1) * E;
  }
}

}  // namespace

double PrbG_P(int32_t o1, int32_t o2, int32_t t1, int32_t t2, int32_t n, double D, double E,
              int32_t cls) {
  if (o2 < 1 && t2 < 1) {  // haploid individual
    const double f = E / n;
    return o1 == t1 ? 1 - E + f : f;
  }
  if (o2 < 1) {  // dominant phenotype
    const double p1 = DominantPhenotype1Prob(cls > 0 ? cls : t1 + t2 - 1, n, D, E);
    return o1 == 1 ? p1 : 1 - p1;
  }
  return CodominantClassProb(cls > 0 ? cls : ConfigGtoP(t1, t2, o1, o2), n, D, E);
}

double ScaledErrorRate(int32_t l) {
  const int32_t n = likelihoodvar.obsnumallele(l);
  double E = ErrScale(n, variables.othererrorrate(l));
  const double D = variables.droprate(l);
  // Selfing makes biallelic loci very sensitive to a zero error rate when
  // dropout is present; a small floor keeps such families possible.
  if (variables.dominantmarker(l) == 0 && n == 2 && variables.numsex == variables.allowinbreeding &&
      E < 1e-6 && D / (1 + D) > 1e-6) {
    E = 1e-6;
  }
  return E;
}

void PhenotypeGivenGenotype(int32_t l1, int32_t l2) {
  LikelihoodVar& lv = likelihoodvar;
  const std::size_t nloci = static_cast<std::size_t>(variables.numloci);
  if (lv.transrate.size() != nloci) lv.transrate.assign(nloci);
  if (lv.transratehaploid.size() != nloci) lv.transratehaploid.assign(nloci);
  for (int32_t l = l1; l <= l2; ++l) {
    const int32_t n = lv.obsnumallele(l);
    lv.transrate(l).fill(0.0);
    lv.transratehaploid(l).fill(0.0);
    if (n <= 1) continue;
    const double D = variables.droprate(l);
    const double E = ScaledErrorRate(l);
    if (variables.dominantmarker(l) != 0) {
      for (int32_t c = 1; c <= 3; ++c) lv.transrate(l)(c) = DominantPhenotype1Prob(c, n, D, E);
    } else {
      for (int32_t c = 1; c <= 7; ++c) lv.transrate(l)(c) = CodominantClassProb(c, n, D, E);
    }
    if (variables.haplodiploid == 1) {
      const double f = E / n;
      lv.transratehaploid(l)(1) = 1 - E + f;
      lv.transratehaploid(l)(2) = f;
    }
  }
}

void InitialPrbGtoP(int32_t l1, int32_t l2) {
  LikelihoodVar& lv = likelihoodvar;
  int32_t count = 0;
  for (int32_t l = l1; l <= l2; ++l) {
    if (lv.locuserror(l) != 0) ++count;
  }
  if (count == 0) return;
  lv.markererror3.assign(static_cast<std::size_t>(variables.numloci), 0);
  lv.prbgtophom.assign(3, static_cast<std::size_t>(count), 0.0);
  lv.prbgtophet.assign(4, static_cast<std::size_t>(count), 0.0);
  int32_t k = 0;
  for (int32_t l = l1; l <= l2; ++l) {
    if (lv.locuserror(l) == 0) continue;
    lv.markererror3(l) = ++k;
    FillErrorClassColumn(l);
  }
}

void FillErrorClassColumn(int32_t l) {
  LikelihoodVar& lv = likelihoodvar;
  const int32_t k = lv.markererror3(l);
  const auto& t = lv.transrate(l);
  lv.prbgtophom(1, k) = t(4);
  lv.prbgtophom(2, k) = t(2);
  lv.prbgtophom(3, k) = t(5);
  lv.prbgtophet(1, k) = t(7);
  lv.prbgtophet(2, k) = t(3);
  lv.prbgtophet(3, k) = t(1);
  lv.prbgtophet(4, k) = t(6);
}

double PrbGtoP(int32_t t1, int32_t t2, int32_t o1, int32_t o2, int32_t l) {
  const auto& t = likelihoodvar.transrate(l);
  if (variables.dominantmarker(l) != 0) {
    const double p1 = t(t1 + t2 - 1);
    return o1 == 1 ? p1 : 1 - p1;
  }
  return t(ConfigGtoP(t1, t2, o1, o2));
}

double PrbGtoPHaploid(int32_t t, int32_t o, int32_t l) {
  const auto& h = likelihoodvar.transratehaploid(l);
  return o == t ? h(1) : h(2);
}


void ComputeProb(int32_t l, const std::vector<GenotypeRecord>& records, int32_t m,
                 std::vector<double>& prob, bool packed, double& logmax) {
  const int32_t G = m * (m + 1) / 2;
  const std::size_t nrec = records.size();
  const bool haploidFather = variables.haplodiploid == 1;
  const double weight = haploidFather ? 0.5 : 0.25;
  const double D = variables.droprate(l);
  const double E = variables.othererrorrate(l);
  const bool raiseZeros = haploidFather && m == 3 && D > 1e-300 && E < 1e-300;

  // childp[(g - 1) * nrec + r]: weighted probability of record r given the
  // child genotype of index g.
  std::vector<double> childp(static_cast<std::size_t>(G) * nrec);
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) {
      const int32_t g = FamilyGenotypeIndex(i, j, m);
      for (std::size_t r = 0; r < nrec; ++r) {
        double p = PrbGtoP(i, j, records[r].a1, records[r].a2, l);
        if (raiseZeros && p < 1e-300) p = 1e-6;
        childp[static_cast<std::size_t>(g - 1) * nrec + r] = weight * p;
      }
    }
  }
  auto cp = [&](int32_t a, int32_t b, std::size_t r) {
    return childp[static_cast<std::size_t>(FamilyGenotypeIndex(a, b, m) - 1) * nrec + r];
  };
  // Product over the records of the summed transmission probabilities.
  auto family = [&](auto&& transmission) {
    double product = 1.0;
    for (std::size_t r = 0; r < nrec && product >= 1e-300; ++r) {
      const double sum = transmission(r);
      if (sum < 1e-300) return 0.0;
      product *= records[r].count == 1 ? sum : std::pow(sum, records[r].count);
    }
    return product < 1e-300 ? 0.0 : product;
  };

  double largest = 0.0;
  if (haploidFather) {
    prob.assign(static_cast<std::size_t>(m) * G, 0.0);
    for (int32_t k = 1; k <= m; ++k) {
      for (int32_t i = 1; i <= m; ++i) {
        for (int32_t j = i; j <= m; ++j) {
          const double p = family([&](std::size_t r) { return cp(k, i, r) + cp(k, j, r); });
          prob[static_cast<std::size_t>(k - 1) * G + FamilyGenotypeIndex(i, j, m) - 1] = p;
          largest = std::max(largest, p);
        }
      }
    }
  } else {
    prob.assign(packed ? static_cast<std::size_t>(G) * (G + 1) / 2 : static_cast<std::size_t>(G) * G,
                0.0);
    std::vector<std::pair<int32_t, int32_t>> pairs(static_cast<std::size_t>(G) + 1);
    for (int32_t i = 1; i <= m; ++i) {
      for (int32_t j = i; j <= m; ++j) pairs[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m))] = {i, j};
    }
    std::size_t slot = 0;
    for (int32_t gf = 1; gf <= G; ++gf) {
      const auto [i, j] = pairs[static_cast<std::size_t>(gf)];
      for (int32_t gm = packed ? gf : 1; gm <= G; ++gm) {
        const auto [k, n] = pairs[static_cast<std::size_t>(gm)];
        const double p = family([&](std::size_t r) {
          return cp(i, k, r) + cp(i, n, r) + cp(j, k, r) + cp(j, n, r);
        });
        prob[packed ? slot++ : static_cast<std::size_t>(gf - 1) * G + gm - 1] = p;
        largest = std::max(largest, p);
      }
    }
  }
  if (largest <= 0.0) {
    logmax = -1e300;
    return;
  }
  for (double& p : prob) p /= largest;
  logmax = std::log(largest);
}

void ComputeProbDominant(int32_t l, int32_t obs, std::array<double, 9>& table) {
  // Allele pairs of the three genotypes (1,1), (1,2), (2,2).
  static const int32_t alleles[3][2] = {{1, 1}, {1, 2}, {2, 2}};
  auto pchild = [&](int32_t a, int32_t b) {
    return PrbGtoP(std::min(a, b), std::max(a, b), obs, 0, l);
  };
  table.fill(0.0);
  if (variables.haplodiploid == 1) {
    for (int32_t f = 0; f < 2; ++f) {
      for (int32_t g = 0; g < 3; ++g) {
        table[static_cast<std::size_t>(3 * f + g)] =
            0.5 * (pchild(f + 1, alleles[g][0]) + pchild(f + 1, alleles[g][1]));
      }
    }
    return;
  }
  for (int32_t f = 0; f < 3; ++f) {
    for (int32_t g = 0; g < 3; ++g) {
      double sum = 0.0;
      for (int32_t x : alleles[f]) {
        for (int32_t y : alleles[g]) sum += pchild(x, y);
      }
      table[static_cast<std::size_t>(3 * f + g)] = 0.25 * sum;
    }
  }
}

namespace {

double SingleGtypeDirect(double F, int32_t ploidy, int32_t l, int32_t o1, int32_t o2) {
  const LikelihoodVar& lv = likelihoodvar;
  const std::vector<double>& p = lv.obsallelefre(l);
  const bool witherror = lv.locuserror(l) != 0;
  if (ploidy != 2) {
    const double pa = p[static_cast<std::size_t>(o1 - 1)];
    return pa * lv.transratehaploid(l)(1) + (1 - pa) * lv.transratehaploid(l)(2);
  }
  const auto& t = lv.transrate(l);
  if (variables.dominantmarker(l) != 0) {
    const double p1 = p[0], p2 = p[1];
    if (o1 == 1) {
      double P = 2 * (1 - F) * p1 * p2 * t(2) + ((1 - F) * p1 + F) * p1 * t(1);
      if (witherror) P += p2 * ((1 - F) * p2 + F) * t(3);
      return P;
    }
    double P = ((1 - F) * p2 + F) * p2 * (1 - t(3));
    if (witherror) P += p1 * (F + (1 - F) * p1) * (1 - t(1)) + 2 * (1 - F) * p1 * p2 * (1 - t(2));
    return P;
  }
  const double pa = p[static_cast<std::size_t>(o1 - 1)];
  if (o1 == o2) {
    const double q = 1 - pa;
    double P = (pa * (1 - F) + F) * pa * t(5);
    if (witherror) P += 2 * (1 - F) * pa * q * t(2) + q * (F + (1 - F) * q) * t(4);
    return P;
  }
  const double pb = p[static_cast<std::size_t>(o2 - 1)];
  const double q = 1 - pa - pb;
  double P = 2 * (1 - F) * pa * pb * t(1);
  if (witherror) {
    P += ((pa * pa + pb * pb) * (1 - F) + F * (1 - q)) * t(6) + 2 * q * (1 - q) * (1 - F) * t(3) +
         (F + (1 - F) * q) * q * t(7);
  }
  return P;
}

}  // namespace

void ClearSingleGtypeCache() { likelihoodvar.locus2logl = Mat1<double>(); }

void ProbSingleGtype(double F, int32_t ploidy, int32_t l, int32_t o1, int32_t o2, double& P) {
  LikelihoodVar& lv = likelihoodvar;
  const bool dominant = variables.dominantmarker(l) != 0;
  if (lv.obsnumallele(l) < 2 || o1 <= 0 || (!dominant && ploidy == 2 && o2 <= 0)) {
    P = 1.0;
    return;
  }
  if (lv.obsnumallele(l) != 2 || ploidy != 2) {
    P = SingleGtypeDirect(F, ploidy, l, o1, o2);
    return;
  }
  // Two-allele loci repeat the same three observations endlessly: cache them.
  if (lv.locus2logl.empty() || std::fabs(F - lv.locus2loglinbreeding) > 1e-10) {
    lv.locus2logl.assign(3, static_cast<std::size_t>(variables.numloci), 0.0);
    lv.locus2loglinbreeding = F;
  }
  const int32_t g = dominant ? o1 : (o1 == o2 ? (o1 == 1 ? 1 : 3) : 2);
  double& cached = lv.locus2logl(g, l);
  if (cached <= 0.0) cached = SingleGtypeDirect(F, ploidy, l, o1, o2);
  P = cached;
}
