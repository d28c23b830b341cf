// The configuration model: the initial configuration, counts of assigned
// candidates, and the selection of the configuration that shared routines
// work on.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// Points IndivLocPrt, InferParentPrt and LogLikelihoodPrt at the current
// (Cr) or best (Bt) configuration.
void UseCurrentConfig();
void UseBestConfig();

// out(k): distinct candidates of sex k assigned as a parent; out(k + 2):
// offspring with an assigned candidate parent of sex k (k = 1, 2), in the
// configuration of InferParentPrt.
void FindAssignment(Arr1<int32_t, 4>& out);
