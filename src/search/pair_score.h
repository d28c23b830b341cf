// The pairwise-score likelihood of a configuration (analysis method 0):
// every pair of offspring scored from the pair tables under the
// relationship that the configuration gives it (two offspring that share
// no parent count as unrelated: the sum of their single log likelihoods),
// and every candidate parent with every offspring as parent and offspring
// where the candidate is assigned, as unrelated otherwise. The search
// scores a move by the change of this total, found from the pairs the move
// touches.
//
// The total is held split among the offspring: each one's share is its
// single terms plus half of every related pair it is in, so that a
// cluster's value is the sum over its members (the cluster log likelihoods
// of the search) and a move changes the shares of the offspring of the
// families it changes only.
#pragma once

#include <cstdint>
#include <vector>

struct PendingMove;

// True when the search scores configurations by pairwise scores.
bool PairScoreMethod();

// The relationship that their families give two offspring i and j (in a
// one-sex sample the two family indices of each are its two parents of one
// pool; both the same parent means selfed).
enum class SibType {
  kUnrelated,
  kFullSibs,
  kPaternalHalfSibs,  // in a diploid or one-sex sample: half sibs of either side
  kMaternalHalfSibs,  // haplodiploid: through the mother, or a son with a sib
  kSelfedSibs,        // two selfed offspring of one parent
  kSelfedOutbred,     // i selfed, j an outbred offspring of i's parent
  kOutbredSelfed,     // the converse
};
SibType FindSibType(int32_t i, int32_t j, int32_t fi, int32_t mi, int32_t fj, int32_t mj);

// Plain log likelihood of offspring i and j under a relationship other than
// unrelated, read from the pair tables (-1e38 when impossible).
double CalculateOffPairLogL(SibType type, int32_t i, int32_t j);

// Log likelihood of offspring i alone: as an outbred or a selfed offspring
// of unsampled parents.
double SingleOffspringLogL(int32_t i, bool selfed);

// The parent-offspring part of offspring i: over the candidates of each sex
// that has them (the one pool in a one-sex sample), the pair log likelihood
// of each assigned candidate c1 (father side) and c2 (mother side) with i,
// and the single log likelihoods of i and the candidate for every other
// candidate. A haploid son has no father side.
double CalculatePOPairLogL(int32_t i, bool selfed, int32_t c1, int32_t c2);

// logl: the pairwise-score total of the configuration that IndivLocPrt and
// InferParentPrt point to (their cluster labels current), from scratch.
void CalculateCrrtPairLogL(double& logl);

// The change of the total made by a move held in the configuration (put
// there by ApplyMove or ProposeCandidate, which record it), found from the
// pairs of the offspring moved with those of their former and new families
// and from the parent terms of the offspring whose parents changed. The
// offspring shares the move leads to are left in the move. The second form
// is for samples in which both sexes are monogamous, where the families
// touched are two full-sib families.
double CalculatePairLogL2(PendingMove& move);
double CalculatePairLogLMonogamy(PendingMove& move);

// What ScoreMove returns under pairwise scores: the value of the clusters
// the move forms (FormComponents is called), their values in
// move.componentlogl and the offspring shares in the move. A move not
// recorded (families rewritten wholesale: merges, reversals, swaps) has the
// shares of every offspring concerned computed afresh.
double PairScoreMove(PendingMove& move);

// Makes the shares a scored move leads to the current ones (the move kept).
void KeepPairShares(const PendingMove& move);

// Every offspring's share and every cluster's value (CrFamilyLogL) of the
// current configuration from scratch, with CrLogLikelihood their sum; the
// cluster tables must be current. Computes the pair tables and single log
// likelihoods first when they are missing (every process must call it).
void SetPairScores();

// Recomputes the running total from scratch, so that rounding does not
// accumulate over a run: at the end of every temperature. Stops when the
// running value is not a log likelihood, and, with the check level above 0,
// when it disagrees with the recomputation. Nothing under the full
// likelihood.
void ReduceErrAcct(int64_t iterate);
