// Parentage moves of the annealing search: which sampled candidate (if
// any) is the father or mother of each family, the part of the likelihood
// that the candidates left unassigned contribute, and the choice between
// sibship and parentage moves.
#pragma once

#include <cstdint>
#include <vector>

struct PendingMove;

// The parent term of the configuration of InferParentPrt: for each sex,
// the single-individual log likelihoods of the candidates that are neither
// assigned to an offspring nor a known parent. In a one-sex sample both
// columns draw on the one pool of candidates. 0 without candidates, and
// under pairwise scores (whose cluster values hold every candidate).
void ComputeParentLogL(double& out);

// Appends to out the distinct candidates of sex `sex` assigned to the
// offspring of cluster slot `cluster` (0: the whole sample) in the current
// configuration; count receives how many there are.
void InferPrntList(int32_t cluster, int32_t& count, int32_t sex, std::vector<int32_t>& out);

// Proposes a new parent of side k for the family of offspring i (side 1 is
// never proposed for a haploid son): another candidate from the short
// lists of the family's offspring, or none. Returns
//   0 when no admissible proposal could be drawn (nothing is changed);
//   1 when the new assignment is in InferParent, with what UndoMove needs:
//     a candidate already assigned to another family then exchanges
//     families with the present one;
//   2 when the candidate drawn is the parent of another family and the
//     family of i (one full-sib family) is to join it instead: the
//     offspring in move.group and HostFamily describe that sibship move,
//     which the caller checks and applies.
int32_t ParentageAssign(int32_t i, int32_t k, PendingMove& move);

// The same for a given candidate (0: none) instead of a drawn one; join
// says whether a candidate already assigned to another family makes the
// family of i join that family (2) rather than exchange candidates (1).
int32_t ProposeCandidate(int32_t i, int32_t k, int32_t proposed, bool join, PendingMove& move);

// For a sibship move that puts the offspring of group (i first) into a
// new family of side k: a candidate drawn from i's short list that no
// other family holds and every member may have, or 0 for an unsampled
// parent.
int32_t DrawNewFamilyCandidate(int32_t i, int32_t k, const std::vector<int32_t>& group);

// The share of sibship moves and the side of parentage moves for the
// current sample: psib >= 1 means sibship moves only; pfather < 0 never
// the father side, > 1 always.
void ParentageSchedule(double& psib, double& pfather);

// True when side k of offspring i may take part in a parentage move: the
// sex has candidates, i has a parent of that side, and no offspring of
// i's family has it known.
bool ParentageMovable(int32_t i, int32_t k);
