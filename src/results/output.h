// The output step: after the best run has been chosen, the best
// configuration becomes the current one and the result files that describe
// it are written, with posterior probabilities taken from the archive.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// Runs the whole output step on every process; process 0 writes the shared
// files, every process its part of the allele-frequency file.
void Output();

// indivParent(i, k) = the candidate of sex k assigned to offspring i's
// family of that sex in the configuration loc, from the family-level
// assignment familyParents (family x sex, 0 = unsampled). A haploid
// offspring has no father (0).
void MergeParentage(const Mat1<int32_t>& loc, const Mat1<int32_t>& familyParents, Mat1<int32_t>& indivParent);

// Recomputes the clusters (column 3) of the configuration in IndivLocPrt:
// maximal sets of offspring linked through shared fathers or mothers,
// numbered 1, 2, ... in order of their first member. Returns their number
// and records it as that configuration's cluster count.
int32_t ReCluster();
