// Sibship moves: an offspring leaves its paternal and maternal families
// for a destination pair of families, in its own cluster, in another one,
// or in new families; the proposal is checked against the mating system
// and the known data before any likelihood is computed.
#pragma once

#include <cstdint>
#include <vector>

#include "search/move_evaluation.h"

// The cluster slot that receives offspring i (CrNumFamily(3) + 1: a new
// cluster).
int32_t ChooseDestinationCluster(int32_t i);

// Chooses HostFamily for offspring i moved alone into cluster slot dest;
// false when no different destination could be drawn.
bool FindHostFamilyID(int32_t mode, int32_t i, int32_t dest);

// True when moving the offspring of group (offspring i alone, or i with
// its full sibs) into HostFamily respects monogamy, the largest numbers of
// mates, known parents and sibships, and excluded parents and sibships.
bool CheckConfiguration(const std::vector<int32_t>& group);

// The offspring that move with offspring i: i alone (mode 1), or i with
// every full sib that shares both its families (other modes) when none of
// them carries known relationships.
void MoveGroup(int32_t mode, int32_t i, std::vector<int32_t>& group);
