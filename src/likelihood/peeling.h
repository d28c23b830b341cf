// Log likelihood of the families of a cluster at one locus: the family
// tables over the cluster's alleles, the parents' genotype weights, and the
// sum over the genotypes of every parent.
#pragma once

#include <cstdint>

// logl = the locus log likelihood of the families in familyloglvar;
// -1e300 when they are impossible at this locus.
void FamilyLocusLogL(int32_t l, double& logl);

// Forgets the family tables kept for reuse; needed whenever the error
// rates (and so every table) change.
void ClearFamilyTableCache();
