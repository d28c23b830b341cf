// State group `nevariables`: the genotype tables of the effective-size
// estimation, which the deviation-from-Hardy-Weinberg estimate fills once
// and its likelihood reads at every point of the grid.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

struct NeVariables {
  // alfacount(l): counts over the diploid offspring at locus l. A
  // codominant locus of n alleles: entries [0..n-1] homozygotes of alleles
  // 1..n, entry [n] heterozygotes; a dominant locus: phenotypes 1 and 2.
  // Empty for loci that take no part (fewer than two observed alleles).
  Vec1<std::vector<int64_t>> alfacount;
};

extern NeVariables nevariables;
