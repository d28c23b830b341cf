// The start of the pairwise-guided full-likelihood search: families formed
// from the pairs that the pair likelihoods classify as full sibs.
#pragma once

#include <cstdint>

// Whether the search is the pairwise-guided full likelihood.
bool PairwiseGuided();

// Turns the initial configuration (every offspring a family of its own) into
// the full-sib families that the pair classification suggests: offspring
// linked by full-sib pairs share their father's and their mother's family.
// Applies to diploid, dioecious samples without prior knowledge of
// relationships (with it, the plain initial configuration stands). Returns
// the number of offspring that joined another's family.
int32_t GuidedFirstConfig();
