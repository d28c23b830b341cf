// Allele frequencies estimated together with the configuration: new
// frequencies from the parents inferred in the best configuration, and the
// refresh of every table and stored log likelihood computed from the old
// ones.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

// Re-estimates the allele frequencies from the best configuration and
// refreshes what depends on them; every process calls it. With
// updateallelefre 2 (between repeats) it writes the frequencies and
// nextrepeat to the repeat checkpoint and refreshes the tables only (the
// next repeat starts afresh); with 1 (inside a search) it also recomputes
// the cluster log likelihoods of the current configuration, the log
// likelihood of the best one, and those of the archived configurations.
// pairwise: the pair tables are computed again too.
void Update(int32_t nextrepeat, bool pairwise);

// The tables the likelihoods read that derive from the allele frequencies:
// the genotype frequencies of two-allele loci, the single log likelihoods
// of offspring and candidates, and, with pairwise, the pair tables (when
// they are in use). Forgets the cluster log likelihoods kept by the search.
void RefreshFrequencyTables(bool pairwise);

// Whether the tables were made from the allele frequencies as they are now
// (at start-up, from the starting frequencies).
bool FrequencyTablesCurrent();

// The output step's estimate: counts(l) holds the parents' expected allele
// counts of the loci this process inferred (empty for the others, and for
// every locus when nothing was inferred). Every process ends with the new
// frequencies of every locus that some process inferred, and the tables
// made from them.
void AlleleFreFromInference(const Vec1<std::vector<double>>& counts);
