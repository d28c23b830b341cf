// Sibship moves: an offspring leaves its paternal and maternal families
// for a destination pair of families, in its own cluster, in another one,
// or in new families; the proposal is checked against the mating system
// and the known data before any likelihood is computed.
#pragma once

#include <cstdint>
#include <vector>

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

// Independent loops a cluster's parents may form through their full-sib
// families. The exact likelihood of a cluster branches over parental
// genotypes once per loop, so its cost grows as a power of the number of
// genotypes with every loop; sampled pedigrees are nearly always trees.
inline constexpr int64_t kMaxClusterCycles = 1;

// False when a cluster the move forms (members listed per cluster, in the
// proposed configuration) has more loops than the likelihood can afford.
bool Screen2(const std::vector<std::vector<int16_t>>& components);

// A proposed move held in the current configuration while it is scored.
struct PendingMove {
  int32_t indiv = 0;
  std::vector<int32_t> group;  // the offspring moved, all from the same families
  int32_t oldfamily[2] = {0, 0};
  // Assignments changed by the move: offspring, side and former candidate.
  std::vector<int32_t> changedparent, side, oldcandidate;
  // Candidates given to the new families the move opens, by side (0: an
  // unsampled parent).
  int32_t newcandidate[2] = {0, 0};
  std::vector<int16_t> affected;  // offspring of the clusters the move touches
  std::vector<std::vector<int16_t>> components;  // the clusters they form after the move
  std::vector<double> componentlogl;
};

// Puts the move into CrIndivLoc and InferParent (remembering how to undo
// it) and lists the offspring and clusters it touches.
void ApplyMove(PendingMove& move, int32_t dest);

// Restores the configuration before the move.
void UndoMove(const PendingMove& move);

// Log likelihood of the clusters the move forms; stops early (returning a
// value below threshold) once the total cannot exceed it.
double ScoreMove(PendingMove& move, double threshold);

// After a change of the configuration: rebuilds the cluster tables; every
// cluster keeps its log likelihood except those listed (by first member)
// with their new values; CrLogLikelihood becomes their sum plus the
// parent term of the unassigned candidates.
void RelabelClusters(const std::vector<std::pair<int32_t, double>>& fresh);

// Keeps an accepted move: family numbers made dense again, clusters
// relabelled, cluster log likelihoods carried over.
void CommitMove(const PendingMove& move);

// Renumbers the families of each side 1, 2, ... in order of their present
// numbers (in a one-sex sample, over the one pool of both columns).
void CompactFamilies();

// Whether the fathers and mothers of a cluster (its members) may exchange
// roles: a dioecious cluster of diploid offspring without assigned
// candidates or known or excluded sibships, with more than one parent of
// some side, whose parents' mates fit the limits of their new sides.
bool ReversibleCluster(const std::vector<int16_t>& members);

// Exchanges the roles: the members' mothers become fathers numbered after
// the present families, and the reverse. Family numbers are left sparse
// (CompactFamilies makes them dense).
void ReverseCluster(const std::vector<int16_t>& members);

// Proposes exchanging the roles of fathers and mothers in the cluster of a
// random offspring (dioecious samples): accepted by the Metropolis rule at
// temperature T, or, when both arrangements have the same likelihood, with
// probability rate. changed = 1 when the configuration changed.
void Reversal(double T, double rate, int32_t& changed);

// In a haplodiploid sample: the daughters of two full-sib families with
// different fathers and mothers exchange fathers, so that a sibship found
// with the wrong father can be mended in one step. Accepted by the
// Metropolis rule at temperature T with the change of the log prior that
// prior() returns (nullptr: no prior), or, when the log likelihood does not
// change, with probability rate. changed = 1 when the configuration
// changed.
void SwapDadID(double T, double rate, double (*prior)(), int32_t& changed);
