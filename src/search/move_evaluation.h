// A proposed change of the current configuration while it is scored: how
// it is put into the configuration and taken out again, the clusters it
// forms, their log likelihood, and the bookkeeping once it is kept.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// A proposed move held in the current configuration while it is scored.
// Everything it changes is recorded, so that it can be undone and done
// again (RedoMove) without drawing it anew.
struct PendingMove {
  int32_t indiv = 0;
  std::vector<int32_t> group;  // the offspring moved, all from the same families
  int32_t oldfamily[2] = {0, 0};
  int32_t newfamily[2] = {0, 0};
  // Assignments changed by the move: offspring, side, former and new
  // candidate.
  std::vector<int32_t> changedparent, side, oldcandidate, newcandidate;
  // Candidates given to the new families the move opens, by side (0: an
  // unsampled parent).
  int32_t opencandidate[2] = {0, 0};
  // The changes above describe the move whole (ApplyMove, ProposeCandidate
  // record them); false for changes made wholesale (merges, reversals,
  // swaps), of which only the clusters concerned are known.
  bool recorded = false;
  std::vector<int16_t> affected;  // offspring of the clusters the move touches
  std::vector<std::vector<int16_t>> components;  // the clusters they form after the move
  std::vector<double> componentlogl;
  // Under pairwise scores: the offspring whose shares of the total the move
  // changes, and their shares once it is kept.
  std::vector<int32_t> shareindiv;
  std::vector<double> sharevalue;

  // Forgets the changes of an earlier proposal.
  void ClearChanges() {
    recorded = false;
    group.clear();
    changedparent.clear();
    side.clear();
    oldcandidate.clear();
    newcandidate.clear();
    oldfamily[0] = oldfamily[1] = newfamily[0] = newfamily[1] = 0;
  }
  // Records (and makes) a change of the candidate of side k of offspring j.
  void SetParent(int32_t j, int32_t k, int32_t candidate);
};

// Members of cluster slot s (empty for the new-cluster slot).
const std::vector<int16_t>& ClusterMembers(int32_t slot);

// Puts a sibship move into CrIndivLoc and InferParent: the offspring of
// move.group (move.indiv first) go to the families HostFamily(1..2) in
// cluster slot dest, taking the candidates of those families; the changes
// are recorded and the offspring of the clusters touched listed.
void ApplyMove(PendingMove& move, int32_t dest);

// Restores the configuration before the move.
void UndoMove(const PendingMove& move);

// Makes the recorded changes again, in a configuration that is the one the
// move was drawn in.
void RedoMove(const PendingMove& move);

// The clusters the affected offspring form in the configuration as it now
// stands (in order of first member).
void FormComponents(PendingMove& move);

// Log likelihood of the clusters that the listed offspring belong to (the
// cluster tables as they stand: before a change, the clusters it touches).
double ClustersLogL(const std::vector<int16_t>& offspring);

// Log likelihood of the clusters the move forms (FormComponents first);
// stops early (returning a value below threshold) once the total cannot
// exceed it. A cluster too densely mated for an exact sum makes the move
// impossible (-1e300).
double ScoreMove(PendingMove& move, double threshold);

// After a change of the configuration: rebuilds the cluster tables; every
// cluster keeps its log likelihood except those listed (by first member)
// with their new values; CrLogLikelihood becomes their sum plus the
// parent term of the unassigned candidates.
void RelabelClusters(const std::vector<std::pair<int32_t, double>>& fresh);

// Keeps a scored move: family numbers made dense again, clusters
// relabelled, the clusters it formed carrying their new log likelihoods.
void CommitMove(const PendingMove& move);

// Keeps a scored change whose family numbers are already dense: the
// clusters it formed take their new log likelihoods (and, under pairwise
// scores, the offspring their new shares).
void KeepScoredClusters(const PendingMove& move);

// Renumbers the families of each side 1, 2, ... in order of their present
// numbers (in a one-sex sample, over the one pool of both columns).
void CompactFamilies();
