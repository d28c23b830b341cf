// The prior of a configuration: its constants (set once before any search),
// the parentage part that weighs the assigned candidates against the
// proportions of parents sampled, the Ewens sibship-size part, and the
// sibship-size distribution that the Ewens part reads.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// Sets PrntLogPrb (allocated 2 x 2) and PrntWeight, and, with a sibship-size
// prior, EwenPriorFac, the expected numbers of parents (ewenmeannumprnt),
// LogEwenTheta and LogEwenConst; priortype becomes 1 for every type 1 to 4.
// A Ne prior too weak to weigh anything switches the sibship-size prior and
// the full-sibship size scaling (fsscaleq) off instead. Needs factorial,
// obsnumallele and dominantmarker.
void SetEwenPrior();

// Squared gap between the expected number of distinct families among
// smplsize offspring under the Ewens formula with parameter theta and the
// expected number of parents of sex k (ewenmeannumprnt(k)).
double EwenFunc(double theta, int32_t k);

// Refreshes SibshipSizeDist(s, k), the number of families of sex k with s
// offspring, from the configuration of IndivLocPrt. numfamily holds the
// numbers of paternal and maternal families of that configuration (a
// family index beyond them is still counted). mode 0 refreshes both sexes,
// mode 1 or 2 that sex only. The father side of a haplodiploid sample counts
// diploid offspring only; with one sex both columns are counted into
// column 1 (column 2 stays zero). The table has (3 - numsex) x smplsize rows.
void SibshipSize(const Arr1<int32_t, 3>& numfamily, int32_t mode);

// Log prior of sex k: a = distinct candidates of sex k assigned, b =
// offspring with an assigned candidate of sex k, f = number of families of
// sex k, maxsize = largest family size scanned in SibshipSizeDist (any
// bound not below the largest family gives the same value; a bound beyond
// the table is cut to it), s = number of selfed offspring.
double PriorValue(int32_t k, int32_t a, int32_t b, int32_t f, int32_t maxsize, int32_t s);

// Log prior of the configuration of IndivLocPrt and InferParentPrt: with
// the sibship-size prior on, refreshes SibshipSizeDist first (numfamily as
// in SibshipSize); fills counts by FindAssignment; sets prior to the sum of
// PriorValue over both sexes with the scan bound maxsize, and returns it.
double ConfigurationPrior(Arr1<int32_t, 4>& counts, double& prior, int32_t maxsize,
                          const Arr1<int32_t, 3>& numfamily);

// The Ewens part of the prior alone, from SibshipSizeDist as it stands,
// with the scan bound bounds(k) for sex k; 0 when no sex carries it. The
// bounds are 32-bit: with one sex a family can reach 2 x 32767 slots.
double NewEwenPrior(const Arr1<int32_t, 2>& bounds);

// Whether the prior can differ between configurations: with a sibship-size
// prior, or with candidates (whose assignment it weighs).
bool PriorMatters();

// Log prior of the current configuration (0 when it cannot differ).
double CurrentLogPrior();
