// Inbreeding coefficient from the genotypes of the sample.
#include "likelihood/inbreeding.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include "genotype/genotype_codes.h"
#include "likelihood/family_likelihood.h"
#include "numeric/minimise.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Allele and homozygote counts of one locus over the diploid individuals
// genotyped there.
struct LocusCounts {
  std::vector<double> alleles;  // copies of each allele
  std::vector<double> homs;     // true homozygotes of each allele
  double N = 0.0;               // individuals genotyped
  std::vector<double> freq;     // allele frequencies of the iteration
};

bool Diploid(int32_t sex, int32_t k) {
  return sex == 0 ? variables.offploid(k) == 2 : variables.ploidy(sex) == 2;
}

LocusCounts CountLocus(int32_t l) {
  const Variables& v = variables;
  const int32_t n = likelihoodvar.obsnumallele(l);
  const std::vector<double>& p = likelihoodvar.obsallelefre(l);
  const double D = v.droprate(l);
  LocusCounts c;
  c.alleles.assign(static_cast<std::size_t>(n), 0.0);
  c.homs.assign(static_cast<std::size_t>(n), 0.0);
  for (int32_t sex = 0; sex <= 2; ++sex) {
    const int32_t count = sex == 0 ? v.smplsize : v.numchild(sex);
    for (int32_t k = 1; k <= count; ++k) {
      if (!Diploid(sex, k)) continue;
      const auto [a, b] = ObservedGenotype(sex, k, l);
      if (a < 1 || b < 1) continue;
      c.N += 1.0;
      const auto ia = static_cast<std::size_t>(a - 1), ib = static_cast<std::size_t>(b - 1);
      if (a != b) {
        c.alleles[ia] += 1.0;
        c.alleles[ib] += 1.0;
        continue;
      }
      // An observed homozygote may be a heterozygote that lost an allele:
      // it counts as a true homozygote with weight w, and its second copy
      // is shared among the other alleles with the rest.
      double w = 1.0;
      if (D >= 0.0001) w = p[ia] / (2.0 * (1.0 - p[ia]) * D / (1.0 + D) + p[ia]);
      c.homs[ia] += w;
      c.alleles[ia] += 1.0 + w;
      for (std::size_t x = 0; x < c.alleles.size(); ++x) {
        if (x != ia) c.alleles[x] += (1.0 - w) / (n - 1);
      }
    }
  }
  return c;
}

}  // namespace

double InbFunc(double F) {
  const Variables& v = variables;
  double sum = 0.0;
  for (int32_t sex = 0; sex <= 2; ++sex) {
    if (sex > 0 && (v.numchild(sex) < 1 || v.ploidy(sex) != 2)) continue;
    const int32_t n = sex == 0 ? v.smplsize : v.numchild(sex);
    Vec1<double> logl;
    SingleIndivLikelihood(F, n, sex, logl);
    for (int32_t k = 1; k <= n; ++k) {
      if (sex == 0 && v.offploid(k) != 2) continue;
      if (logl(k) <= -1e300) return 1e300;
      sum -= logl(k);
      if (sum >= 1e300) return 1e300;
    }
  }
  return sum;
}

void InitialInbCoe(double& F) {
  const Variables& v = variables;
  if (v.displayq != 0) std::cout << "Estimating initial inbreeding coefficient..." << std::endl;
  std::vector<LocusCounts> loci;
  double num = 0.0, den = 0.0;
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (v.dominantmarker(l) != 0 || likelihoodvar.obsnumallele(l) < 2) continue;
    LocusCounts c = CountLocus(l);
    if (c.N <= 0.0) continue;
    double total = 0.0, observed = 0.0, squares = 0.0;
    for (double x : c.alleles) total += x;
    c.freq.resize(c.alleles.size());
    for (std::size_t i = 0; i < c.alleles.size(); ++i) {
      const double p = c.alleles[i] / total;
      c.freq[i] = p;
      squares += p * p;
      observed += c.homs[i];
    }
    num += observed - c.N * squares;
    den += c.N - c.N * squares;
    loci.push_back(std::move(c));
  }
  F = 0.0;
  if (den <= 1e-300 || loci.empty()) return;
  F = num / den;
  for (int iter = 0; iter < 10000; ++iter) {
    double next = 0.0;
    for (LocusCounts& c : loci) {
      // The identical-by-descent copies of the homozygotes at the current
      // F; the other copies give the next frequencies.
      double ibd = 0.0, sum = 0.0;
      std::vector<double> rest(c.alleles.size());
      for (std::size_t i = 0; i < rest.size(); ++i) {
        const double d = c.freq[i] * (1.0 - F) + F;
        const double part = std::fabs(d) > 1e-300 ? c.homs[i] * F / d : 0.0;
        ibd += part;
        rest[i] = std::max(c.alleles[i] - part, 0.0);
        sum += rest[i];
      }
      if (sum > 0.0) {
        for (std::size_t i = 0; i < rest.size(); ++i) c.freq[i] = rest[i] / sum;
      }
      next += ibd / c.N;
    }
    next /= static_cast<double>(loci.size());
    const double change = std::fabs(next - F);
    F = next;
    if (change <= 0.001 * std::fabs(next) || change <= 1e-20) break;
  }
  // An estimate that makes some individual impossible is searched again
  // by the likelihood of the individuals.
  if (InbFunc(F) >= 1e300) {
    double best = 0.0;
    const double fmin = Brent(-F, 0.0, F, [](double x) { return InbFunc(x); }, 0.001, best);
    F = fmin >= 1e300 ? 0.0 : best;
  }
  F = std::clamp(F, -0.99, 0.99);
}
