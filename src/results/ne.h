// Effective population size from the sibship frequencies of the result, and
// from the excess of heterozygotes among the offspring.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// The value that stands for an unbounded size (an Ne or an interval bound).
inline constexpr int32_t kNeInfinite = 2147483647;

// Estimates Ne and writes fname + ".Ne" (process 0 only).
void SibNe();

// Sibling-pair counts of a configuration: (1) c1, (2) c2 and (3) e, the
// offspring left out because they are assigned as parents of others. loc
// holds each offspring's paternal and maternal family (columns 1, 2);
// parents(i, k) the candidate of sex k assigned to offspring i's family of
// that sex, 0 = unsampled.
Arr1<int32_t, 3> SibPairCounts(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents);

// Point estimate of Ne from the pair counts c = (c1, c2), the deviation
// alfa from Hardy-Weinberg proportions and e offspring left out; at least 1,
// kNeInfinite when the counts give no finite size.
int32_t NeValue(const Arr1<int32_t, 2>& c, double alfa, int32_t e);

// Deviation from Hardy-Weinberg proportions of the diploid offspring: the
// grid point 0.00, 0.01, ..., 1.00 of the smallest AlfaProb (ties keep the
// smaller). Fills nevariables.alfacount.
double AlfaEstimate();

// Negative log likelihood of alfa over the genotype counts of
// nevariables.alfacount; 1e300 when alfa makes the counts impossible.
double AlfaProb(double alfa);

// 95% interval of Ne by simulating samples of families of Poisson sizes
// around 1/(2 Ne) perturbed by a normal error of sd. Bounds in
// [1, kNeInfinite]. Draws from the program's uniform stream.
void GeneticSampling(int32_t ne, float sd, int32_t& lower, int32_t& upper);

// Ne from the excess of heterozygotes at codominant loci, with its 95%
// interval from the spread among loci. kNeInfinite with the interval
// (0, kNeInfinite) when there is no excess.
void HeterozygoteExcess(int32_t& ne, int32_t& lower, int32_t& upper);
