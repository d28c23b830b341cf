// The family likelihood driver and the likelihoods of single individuals.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// logl: log likelihood of the families in familyloglvar, summed over the
// loci of every process. threshold: the caller rejects anything below it,
// so the sum may stop as soon as it falls below (-1e300: no threshold).
// check and sortflag as the search passes them; mode 1 or 2 says the
// families hold that many offspring, so that the pair tables may stand in
// for the pedigree (UsePairwiseLogL), 0 and -1 never.
void FamilyLikelihood(double& logl, double threshold, int32_t check, int32_t sortflag, int32_t mode);

// The log likelihood of the families in familyloglvar from the single and
// pair tables instead of the pedigree, nChild being the caller's family
// size (1 or 2): use = 0 when the shortcut does not apply. One offspring
// without a sampled or known parent: its log likelihood as an unrelated
// individual (with inbreeding, its family likelihood, computed once and
// kept). Two offspring of a dioecious sample (nChild = 2), without
// inbreeding, without allele-frequency updates, with the pair tables made,
// neither with a sampled or known parent: the full-sib entry when they are
// one family, the half-sib entry of the parent they share, the maternal
// half-sib entry for a son and a daughter of one mother, and the sum of the
// two single log likelihoods when they share no parent; an impossible
// entry gives -1e300. No size term is included.
void UsePairwiseLogL(int32_t& use, double& logL, int32_t nChild);

// logl(i): log likelihood of each individual (sex 0 offspring, 1 or 2 the
// candidates of that sex) as an unrelated member of the population with
// inbreeding coefficient F; n individuals.
void SingleIndivLikelihood(double F, int32_t n, int32_t sex, Vec1<double>& logl);

// The same for the candidates of every sex that has them, with their sums.
void SingleParentLikelihood(double F);
