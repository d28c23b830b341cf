// Sibship moves: an offspring leaves its paternal and maternal families
// for a destination pair of families, in its own cluster, in another one,
// or in new families; the proposal is checked against the mating system
// and the known data before any likelihood is computed.
#pragma once

#include <cstdint>
#include <vector>

#include "search/move_evaluation.h"

// Share of sibship moves that take an offspring towards one of its
// partners in the pair tables.
inline constexpr double kPartnerShare = 0.5;

// The cluster slot that receives offspring i (CrNumFamily(3) + 1: a new
// cluster); partner receives the partner whose cluster it is when the
// destination was drawn towards one (0 otherwise).
int32_t ChooseDestinationCluster(int32_t i, int32_t& partner);

// Chooses HostFamily for the offspring of group (one full-sib family, the
// offspring drawn first) moved into cluster slot dest, half the time among
// the families of the partner the destination was drawn for; false when no
// destination that changes the configuration could be drawn.
bool FindHostFamilyID(const std::vector<int32_t>& group, int32_t dest, int32_t partner);

// True when moving the offspring of group (offspring i alone, or i with
// its full sibs) into HostFamily respects monogamy, the largest numbers of
// mates, known parents and sibships, and excluded parents and sibships.
bool CheckConfiguration(const std::vector<int32_t>& group);

// The offspring that move with offspring i: i alone (mode 1), or i with
// every full sib that shares both its families (other modes) when none of
// them carries known relationships.
void MoveGroup(int32_t mode, int32_t i, std::vector<int32_t>& group);
