// Genotyping-error-rate estimation: for every locus, the allelic-dropout
// and other-error rates that maximise the likelihood of the data given the
// best configuration, each with the limits where the log likelihood has
// fallen two units below its maximum (about a 95% interval).
#pragma once

#include <cstdint>
#include <vector>

#include "numeric/minimise.h"
#include "numeric/random.h"
#include "state/arrays.h"
#include "state/familyloglvar.h"

// The minimiser's objective for the locus errratelocus: x holds its free
// rates (dropout first when both are free). Returns 1e100 when a rate lies
// outside rangeerrorrate, otherwise |L- - loglerrorrateconst|, L- being the
// negative log likelihood of the locus over the clusters set by
// SetErrorRateClusters and the candidates no cluster holds (1e300 when the
// data are impossible under the rates). A result that is not a number stops
// the program.
double LogLErrorRate(const Vec1<double>& x);

// In a monoecious sample, one parent node per sampled individual among the
// parents of familyloglvar: nodes that carry the same candidate (one
// individual heading families under two family numbers) become one, whose
// genotype is read from the father list (the two lists hold the same
// individuals alike). Nothing changes in a dioecious sample.
void SetMonoPrnt();

// The clusters LogLErrorRate sums over, laid out as the likelihood engine
// reads them; candidates that none of them holds as a parent enter as
// unrelated individuals.
void SetErrorRateClusters(std::vector<FamilyLoglVar> clusters);

// The rates of one locus: start value, estimate, lower and upper limit.
struct ErrorRateResult {
  Arr1<double, 4> drop;
  Arr1<double, 4> other;
  // False when the minimiser ran out of iterations on the way to the
  // estimate kept: the rates are the best point it reached.
  bool converged = true;
  int64_t evaluations = 0;
};

// Estimates the free rates (locerrrateupdate(l)) of locus l, which has two
// or more observed alleles, over the clusters set. The rates and tables of
// the locus are the project's again on return.
void EstimateLocusErrorRate(int32_t l, ErrorRateResult& out);

// Minimises f over n free rates within [lower, upper] with Powell's method
// from up to 20 random starts (each rate drawn below 5e-6, each initial step
// below 1e-4), keeping the best minimum and stopping once a start ends
// within 0.01 of the best before it. notconverged: the start whose minimum
// is kept ran out of iterations.
void MinimiseFromRandomStarts(const Objective& f, int32_t n, const Vec1<double>& lower, const Vec1<double>& upper,
                              ItemRandom& rng, Vec1<double>& best, double& fbest, bool& notconverged);

// The error-rate step of the output: every process estimates the loci of
// its block, the results are gathered to process 0, which writes
// ".ErrorRate" (the header, and a row per locus with two or more observed
// alleles when estimation is on and the genotypes are held) and reports
// the loci whose minimisation did not converge.
void ErrorRateEstimation();
