// Calibration of the pairwise parentage assignments: offspring and candidate
// parents are simulated from the sample's allele frequencies, error rates
// and missing data, with as many candidates as the sample has and the true
// parent among them as often as the proportion of parents sampled says;
// the advantage (delta) of the best candidate's parent-offspring score over
// the second best is recorded with whether the best is the true parent, and
// the deltas at which the share of right assignments falls to 95, 90, ...,
// 50 per cent become the thresholds of the confidence levels.
#pragma once

#include <cstdint>
#include <vector>

#include "numeric/random.h"
#include "state/arrays.h"

// Replications of the simulation of one sex, shared among the processes.
inline constexpr int32_t kSimuReplications = 10000;
// Largest simulated population of potential parents of a sex.
inline constexpr int32_t kSimuMaxPopulation = 10000;

// Runs the simulation for the diploid (ploidy 2) or haploid (ploidy 1)
// offspring of the sample, for each sex with candidates (haploid offspring
// have mothers only), and fills simuvariables.Threshold (diploid) or
// ThresholdH (haploid) for those sexes; the other columns are left as they
// are. Every process must call it; all end with the same thresholds,
// whatever their number. The program's own random streams are not used.
void DetermineDeltaValue(int32_t ploidy);

// Drawing tables (cumulative allele frequencies, missing-data shares) and
// the simulated population of each sex with candidates.
void IniSimuVariables();

// Draws one simulated individual at every scored locus, kind 1 a member of
// the population of the given ploidy (true genotype from the allele
// frequencies), kind 2 a diploid offspring of `father` (haploid when its
// second alleles are 0) and `mother`, kind 3 a haploid offspring of
// `mother`. truth receives two alleles per locus (the second 0 when
// haploid), obs (when not null) the observation, with the locus's
// genotyping errors and its share `missing` of missing data. Parents are
// true genotypes as truth holds them.
void SimuGenotype(int32_t kind, ItemRandom& rng, int32_t ploidy, const uint8_t* father, const uint8_t* mother,
                  const Vec1<double>* missing, std::vector<uint8_t>& truth, uint16_t* obs);

// Observation index of ploidy `ploidy` at scored locus position k of the
// alleles a1, a2 (a dominant phenotype as a1 with a2 = 0, a haploid allele
// as a1): 0 missing.
int32_t SimuObsIndex(int32_t k, int32_t ploidy, int32_t a1, int32_t a2);

// Builds the score tables for offspring of ploidy `offploidy` and
// candidates of ploidy `cndploidy` (a no-op when they are built).
void SetSimuScores(int32_t offploidy, int32_t cndploidy);

// Parent-offspring score at scored locus position k of the offspring
// observation o and the candidate observation c: the log likelihood of
// the two as parent and offspring less their log likelihoods as unrelated
// individuals; 0 when either is missing, -1e38 when impossible.
float Compute_PODyad_LogL(int32_t k, int32_t o, int32_t c);

// The score summed over the scored loci (saturating at -1e38). suffix(k),
// k = 0..loci, bounds what loci k.. can still add; the sum stops as soon as
// it cannot reach `bound` any more, and is then below it.
double Compute_Dyad_LogL(const uint16_t* off, const uint16_t* cnd, double bound, const std::vector<double>& suffix);

// Turns n replications (delta values and whether the best candidate was
// the true parent) into the ten thresholds of column `sex` of table:
// sorted by delta, the share of right assignments among the r largest is
// smoothed over the ranks r - 10..r + 10, and the threshold of level c
// (95, 90, ..., 50) is the delta of the first rank from the top whose
// smoothed share is not above c per cent (the largest delta when even the
// top is below it, the smallest when no rank falls to it). With n = 0 no
// delta reaches any level.
void DetermineThreshold(int32_t sex, int32_t n, const double* delta, const uint8_t* correct, Mat1<double>& table);

// The confidence level k = 0..10 of an assignment with advantage delta:
// the number of thresholds of column sex that delta falls short of; the
// confidence is 100 - 5k per cent.
int32_t ConfidenceLevel(double delta, int32_t sex, const Mat1<double>& table);
