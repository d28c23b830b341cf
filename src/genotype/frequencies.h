// Allele and genotype frequencies: true-genotype frequencies with
// inbreeding, observation probabilities of two-allele loci, the
// re-estimation of allele frequencies from inferred parents, selfed
// offspring, and the scaled family-count table.
#pragma once

#include <cstdint>
#include <vector>

// Frequency of the true genotype (i, j) at locus l with inbreeding F.
double GenotypeFre(int32_t i, int32_t j, int32_t l, double F);

// Fills locus2gtypefre for the two-allele loci in l1..l2.
void ComputeGtypeFre(int32_t l1, int32_t l2);

// New allele frequencies of locus l (into obsallelefre(l)) from counts
// (alleles 1..n at [0..n-1]; shorter means 0): the expected allele counts
// of the parents whose genotypes were inferred, to which the candidates
// that the best configuration does not assign as parents add their own
// observed alleles. Loci of fewer than two alleles keep theirs.
void RecomputeAlleleFre(int32_t l, std::vector<double> counts);

// Probability of a selfed offspring's observation (o1, o2) given its
// parent's genotype (a, b) at locus l.
double PrntSelfedOffProb(int32_t a, int32_t b, int32_t o1, int32_t o2, int32_t l);

// Canonical class of (parent genotype, observation) for prbgtopself.
int32_t SelfClass(int32_t a, int32_t b, int32_t o1, int32_t o2, int32_t l);

// Fills prbgtopself for loci l1..l2.
void CalculatePrbGtoPSelf(int32_t l1, int32_t l2);

// The shape constant of the scaled family counts from the allele
// frequencies and error rates.
void SetScale2Const();

// Ensures scale2[0..N] exists and is filled.
void SetScale2(int32_t N);
