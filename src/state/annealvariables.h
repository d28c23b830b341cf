// State group `annealvariables`: the running state of the annealing
// search and of its moves.
#pragma once

#include <cstdint>

#include "state/arrays.h"

struct AnnealVariables {
  double Rate = 1.0;            // acceptance scale of the special moves
  double RatioTemprature = 0.92;
  int32_t NTemprature = 200;
  int32_t MovingType = 1;       // 1 sibship move, 2 parentage move
  int32_t MoveIndiv = 0;        // the offspring moved
  Arr1<int32_t, 2> MoveFamily;  // its paternal and maternal family before the move
  Arr1<int32_t, 3> HostFamily;  // destination paternal and maternal family, and cluster
  Arr1<int32_t, 2> NParent1;    // paternal and maternal families of the neighbourhood
  Arr1<int32_t, 2> SibshipDone; // the sibships of a side are fixed by known data
  Mat1<int32_t> OffspringTrials;  // (i, 1) accepted, (i, 2) proposed, per temperature
  double Temperature = 1.0;     // T of the Metropolis rule
  int32_t Tmr = 0;              // temperature counter
  int64_t Iterate = 0;          // iterates of the run
  // Under pairwise scores: each offspring's share of the configuration's
  // total (its single terms and half of every related pair it is in), so
  // that a cluster's value is the sum over its members.
  Vec1<double> PairShare;
};

extern AnnealVariables annealvariables;
