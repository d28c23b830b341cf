// State group `writevar`: texts the result writers share.
#pragma once

#include <string>
#include <vector>

#include "state/arrays.h"

struct WriteVar {
  // CFre[k], k = 0..10000: the probability k / 10000 with three decimals,
  // so that a probability is written by looking up its nearest entry.
  // Empty until the genotype files are first written.
  std::vector<std::string> CFre;
  // The allele names of the current locus, in full, by allele index
  // (entry 0: the missing allele, "0").
  std::vector<std::string> CAlleleID;
  // AssignedParentProb(i, k): the probability that the paternity (k = 1) or
  // maternity (k = 2) file gives offspring i's parent of the best
  // configuration; negative where that file lists no such candidate (an
  // unsampled parent, or none listed). Filled with those files.
  Mat1<double> AssignedParentProb;
};

extern WriteVar writevar;
