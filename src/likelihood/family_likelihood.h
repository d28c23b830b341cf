// The family likelihood driver and the likelihoods of single individuals.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// logl: log likelihood of the families in familyloglvar, summed over the
// loci of every process. threshold: the caller rejects anything below it,
// so the sum may stop as soon as it falls below (-1e300: no threshold).
// check, sortflag and mode as the search passes them.
void FamilyLikelihood(double& logl, double threshold, int32_t check, int32_t sortflag, int32_t mode);

// logl(i): log likelihood of each individual (sex 0 offspring, 1 or 2 the
// candidates of that sex) as an unrelated member of the population with
// inbreeding coefficient F; n individuals.
void SingleIndivLikelihood(double F, int32_t n, int32_t sex, Vec1<double>& logl);

// The same for the candidates of every sex that has them, with their sums.
void SingleParentLikelihood(double F);
