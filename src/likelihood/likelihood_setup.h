// Set-up of the likelihood engine: locus classes, their division among
// processes, and every per-locus table the family likelihood reads.
#pragma once

#include <cstdint>

// first = 1 on the call after data preparation; l1..l2: the loci whose
// error tables are rebuilt.
void InitialFsProb(int32_t first, int32_t l1, int32_t l2);

// Sorts the loci into locus3, locus2 (codominant first) and locus1, and
// divides them among the processes.
void SetLocusClasses();
