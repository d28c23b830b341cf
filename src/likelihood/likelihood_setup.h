// Set-up of the per-locus tables of the family likelihood engine.
#pragma once

#include <cstdint>

// Genotype-frequency and family-probability tables for loci first..last,
// and the list of loci used by the pairwise work.
void InitialFSProb(int32_t mode, int32_t first, int32_t last);
