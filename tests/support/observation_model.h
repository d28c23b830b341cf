// The genotyping-error model written out independently from its error
// classes, for brute-force sums over true genotypes in tests, and the
// allele frequencies of the joint genotype probabilities of a pair.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "likelihood/pedigree_oracle.h"
#include "state/dyadprbvariables.h"

// Probability of observing obs given the true genotype at a locus of n
// alleles with dropout D and other-error rate E (scaled as the model scales
// it). Codominant: allele pairs; dominant: obs.first is the phenotype (1
// shows the dominant allele 1); haploid: one allele. Missing: 1. With
// selfingFloor, the floor that a sample with selfing puts under E at a
// codominant locus of two alleles.
struct ObservationModel {
  int32_t n;
  bool dominant;
  double D, E, f;
  explicit ObservationModel(const OracleLocus& L, bool selfingFloor = false) : n(L.n), dominant(L.dominant), D(L.D) {
    const double s = std::sqrt(2.25 / n);
    E = L.E * (1 - s) + s * (1 - std::exp(-L.E));
    if (selfingFloor && !dominant && n == 2 && E < 1e-6 && D / (1 + D) > 1e-6) E = 1e-6;
    f = E / n;
  }
  double Class(int32_t c) const {
    switch (c) {
      case 1: return ((1 - E + f) * (1 - E + f) + f * f) * (1 - D) / (1 + D);
      case 2: return ((1 + D - n * D) * f + (1 - D) * f * f * (1 - n) + D) / (1 + D);
      case 3: return (1 - E + 2 * f) * f * (1 - D) / (1 + D);
      case 4: return (2 * D * (1 - f) / (1 + D) + f) * f;
      case 5: return (1 - E + f) * (2 * D * (1 - 1.0 / n) * E / (1 + D) + (1 - E + f));
      case 6: return (1 - E + f) * f * (2 - 2 * D) / (1 + D);
      default: return f * f * (2 - 2 * D) / (1 + D);
    }
  }
  double Diploid(GenoPair obs, int32_t x, int32_t y) const {
    if (obs.first <= 0) return 1.0;
    if (dominant) {
      const int32_t ones = (x == 1) + (y == 1);
      const double p1 = ones == 2   ? (E / (1 + D) + 1 - f) * (1 - f)
                        : ones == 1 ? (1 - f) * f + (E * f + 1 - E) / (1 + D)
                                    : (E / 4 + (1 - f) / (1 + D)) * E;
      return obs.first == 1 ? p1 : 1 - p1;
    }
    const auto [o1, o2] = obs;
    const int32_t shared = (o1 == x || o1 == y) + (o2 != o1 && (o2 == x || o2 == y));
    if (x != y) {
      if (o1 == o2) return Class(shared == 1 ? 2 : 4);
      if ((o1 == x && o2 == y) || (o1 == y && o2 == x)) return Class(1);
      return Class(shared == 1 ? 3 : 7);
    }
    if (o1 == o2) return Class(o1 == x ? 5 : 4);
    return Class(o1 == x || o2 == x ? 6 : 7);
  }
  // A haploid with the true gene t (a dominant haploid shows its allele as
  // its phenotype).
  double Haploid(GenoPair obs, int32_t t) const {
    if (obs.first <= 0) return 1.0;
    return obs.first == t ? 1 - E + f : f;
  }
};

inline void SetAfr(const std::vector<double>& p) {
  for (std::size_t k = 0; k < p.size(); ++k) dyadprbvariables.Afr(static_cast<long>(k + 1)) = p[k];
  dyadprbvariables.nafr = static_cast<int32_t>(p.size());
}
