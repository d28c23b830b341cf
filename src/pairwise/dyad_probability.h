// Probability of the genotypes of two individuals at one locus under a
// pairwise relationship, given by Jacquard's nine condensed identity
// coefficients, with the genotyping-error model.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// Jacquard's condensed coefficients Delta1..Delta9: Delta1..Delta6 need
// inbreeding; Delta7 both genes of each individual identical by descent
// with the two of the other, Delta8 exactly one gene shared, Delta9 none.
using DyadDelta = Arr1<double, 9>;

// Coefficients of the sib relationships: haplodiploid 0 (diploid) or 1,
// relationship 0 full sibs, 1 paternal half sibs, 2 maternal half sibs.
const DyadDelta& SibDyadDelta(int32_t haplodiploid, int32_t relationship);
// Coefficients of parent and offspring.
const DyadDelta& ParentOffspringDelta();
// Coefficients of unrelated individuals.
const DyadDelta& UnrelatedDelta();

// Coefficients of the pairs with a selfed offspring in a monoecious sample
// (the individuals otherwise not inbred). Delta3/Delta4 mean the first
// member is inbred, Delta5/Delta6 the second, so the order matters:
// a selfed offspring (first) with an outbred sib through its one parent
// (second),
const DyadDelta& SelfedOutbredSibDelta();
// two selfed offspring of the same parent,
const DyadDelta& SelfedSibsDelta();
// and a parent (first) with its selfed offspring (second).
const DyadDelta& ParentSelfedOffspringDelta();

// Probability of the true genotypes (a, b) of the first and (c, d) of the
// second individual, alleles numbered in dyadprbvariables.Afr. d < 1: the
// second individual is haploid with allele c, and Delta8 is the chance that
// its gene is identical by descent with one of the first individual's (the
// other coefficients that count are Delta1, Delta2 and Delta9). b < 1 and
// d < 1: both haploid, identical by descent with chance Delta8. Genotypes
// are unordered: a heterozygote carries the factor 2 of its two orders.
double PrbGDyad(int32_t a, int32_t b, int32_t c, int32_t d, const DyadDelta& delta);

// An observation of one member of a pair at one locus: a codominant allele
// pair (a1, a2), a dominant phenotype (a1, 0), or the allele a1 of a
// haploid individual; a1 = 0 when missing.
struct DyadObs {
  int32_t a1 = 0, a2 = 0;
  bool haploid = false;
};

// Probability of the two observations at locus l under delta, summed over
// the true genotypes of both with the locus's error model. A missing
// observation leaves the probability of the other one (1 when both are
// missing). The alleles are reduced to those the pair shows plus one pooled
// allele, whose frequencies are left in dyadprbvariables.Afr.
double PrbPDyad(int32_t l, const DyadObs& o1, const DyadObs& o2, const DyadDelta& delta);

// result = natural logarithm of PrbPDyad, or -1e38 when the probability is
// not above 1e-300 (the pair is impossible at this locus).
void Compute_Dyad_Locus_LogL(int32_t l, const DyadObs& o1, const DyadObs& o2, const DyadDelta& delta,
                             double& result);
