// State group `likelihoodvar`: the per-locus tables of the family likelihood
// engine and the compact genotype table used by the search.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

struct LikelihoodVar {
  // Loci that take part in the pairwise work; locus2[0] holds their number.
  std::vector<int32_t> locus2{0};
  // This process's share of the positions of locus2 (first, last).
  Arr1<int32_t, 2> l2thread;
  // One byte per offspring and locus2 position of this process's share,
  // offspring fastest: genotype code capped at 3.
  std::vector<uint8_t> indivgtype1;
};

extern LikelihoodVar likelihoodvar;
