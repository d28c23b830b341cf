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
#include <vector>

#include "state/arrays.h"

// The configuration as it stood before a change that rewrites families
// wholesale, so that the change can be taken back.
struct SavedConfiguration {
  Mat1<int32_t> loc, parents;
  Arr1<int32_t, 3> numbers;
  void Save();
  void Restore() const;
};

// The offspring of family g of side t among the members of cluster slot.
void FamilyGroup(int32_t t, int32_t g, int32_t slot, std::vector<int32_t>& group);

// Puts the merge of the offspring of group (one family of side t) into
// family f of side t into the configuration, with family numbers made
// dense again: one candidate at most between the two families and none
// excluded, no excluded or differently known sibship across them, and the
// mates of the joined parent within the limits of its side. Returns false,
// changing nothing, when the merge is not allowed. affected receives the
// offspring of the clusters concerned (as they were before).
bool MergeInto(int32_t t, const std::vector<int32_t>& group, int32_t f, std::vector<int16_t>& affected);

// In a monoecious sample: puts the merge of parent g into parent f (every
// offspring of g, in either role, takes f there; an offspring of both
// becomes selfed) into the configuration, with family numbers made dense
// again. Refused, changing nothing, when the two carry different
// candidates, when any offspring concerned has known or excluded
// relationships, when it would self an offspring without inbreeding
// allowed, or when f would get more mates than allowed. affected receives
// the offspring of the clusters concerned.
bool MergeParentInto(int32_t g, int32_t f, std::vector<int16_t>& affected);

// Change of the pairwise log likelihood ratios (each pair against
// unrelated) when the offspring of group (one family of side t) join
// family f of side t, of which anchor is an offspring; 0 without pair
// tables.
double MergePairGain(int32_t t, const std::vector<int32_t>& group, int32_t f, int32_t anchor);

// Proposes merging the family (side drawn at random) of a random offspring
// into another family of that side, chosen among the families of its
// members' partners by the pairwise log likelihood ratios between their
// offspring (or, now and then, at random), with the source cluster reversed first
// half of the time where that is allowed. The ratios screen the proposal
// at temperature screenT as they screen single moves; it is accepted by the
// search's Metropolis rule at temperature T with the change of the log
// prior prior() (nullptr: no prior). changed = 1 when the configuration
// changed.
void MergeFamilies(double T, double screenT, double rate, double (*prior)(), int32_t& changed);
