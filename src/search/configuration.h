// The configuration model: the initial configuration, counts of assigned
// candidates, and the selection of the configuration that shared routines
// work on.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// True for an offspring without a father: a haploid male of a
// haplodiploid species.
bool HaploidOffspring(int32_t i);

// Points IndivLocPrt, InferParentPrt and LogLikelihoodPrt at the current
// (Cr) or best (Bt) configuration.
void UseCurrentConfig();
void UseBestConfig();

// The initial configuration of a run: every offspring in families of its
// own, or in the families its known sibships give it, with the known
// parents assigned.
void FirstConfig(int32_t run);

// Labels the clusters, evaluates each, and sets CrFamilyLogL and
// CrLogLikelihood. A cluster the known relationships make impossible stops
// the program.
void SetInitConfigLogL(int32_t mode);

// Composes the message of an impossible initial configuration and stops.
[[noreturn]] void InvalidConfig(int32_t kind, int32_t cluster = 0);

// out(k): distinct candidates of sex k assigned as a parent; out(k + 2):
// offspring with an assigned candidate parent of sex k (k = 1, 2), in the
// configuration of InferParentPrt.
void FindAssignment(Arr1<int32_t, 4>& out);
