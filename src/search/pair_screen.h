// The quick pairwise screen of sibship moves: before a proposal's clusters
// go through the family likelihood, the change of the pairwise log
// likelihood ratios between the moved offspring and the offspring of the
// clusters concerned is compared with a random bar, so that most hopeless
// proposals cost a few table reads instead of a pedigree likelihood.
#pragma once

#include <cstdint>
#include <vector>

// Sum over loci with more than one allele of the expected heterozygosity
// 1 - sum p^2 (the information the screen temperature is scaled by).
double HeterozygositySum();

// Pairwise log likelihood ratio (against unrelated) of offspring i and j
// when they are in the families (fi, mi) and (fj, mj): full sibs, half
// sibs of either side, or 0 when they share no parent.
double PairRelationScore(int32_t i, int32_t j, int32_t fi, int32_t mi, int32_t fj, int32_t mj);

// True when the pair tables the screen reads are there for this sample.
bool PairScreenAvailable();

// Change of the pairwise log likelihood ratios (each pair against
// unrelated) when the offspring of group leave their current families for
// the host families host[0] (paternal) and host[1] (maternal) in cluster
// slot dest. Pairs whose relationship does not change add nothing.
double CalculatePairLogL2(const std::vector<int32_t>& group, const int32_t host[2], int32_t dest);

// The screen's scale and its pass counts, which run across temperatures.
struct ScreenScale {
  double S = 1.0;
  int64_t trials = 0;
  int64_t passes = 0;
};

// Adapts the scale at a new temperature from the pass ratio of the
// screened proposals (polygamous and all-monogamous rules differ).
void AdaptScreenScale(ScreenScale& scale, bool allmonogamous, bool quicksearch);
