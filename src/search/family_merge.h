// Family merges: every offspring of one parent joins another parent of
// the same sex in one step, keeping its other parent.
//
// Moves of single offspring or single full-sib families cannot join a
// parent found as two halves when the halves have several mates each:
// every intermediate state splits the parent's offspring once more and is
// less likely than either end. In a dioecious sample one half may even be
// found with the roles of fathers and mothers exchanged (both arrangements
// having the same likelihood); the merge then reverses that half first.
#pragma once

#include <cstdint>

// Proposes merging the family (side drawn at random) of a random offspring
// into another family of that side, chosen by the pairwise log likelihood
// ratios between their offspring, with the source cluster reversed first
// half of the time where that is allowed. Accepted by the Metropolis rule
// at temperature T with the change of the log prior prior() (nullptr: no
// prior); a proposal that leaves the log likelihood unchanged is accepted
// with probability rate. changed = 1 when the configuration changed.
void MergeFamilies(double T, double rate, double (*prior)(), int32_t& changed);
