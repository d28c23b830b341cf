// Posterior probabilities of the clusters and full-sib families of the best
// configuration, weighted over the archive of good configurations, and the
// selfing rate of a monoecious sample taken from the same archive.
#pragma once

#include <cstdint>

#include "state/arrays.h"

// fsid(i) = the full-sib family of offspring i in the configuration loc
// (offspring x paternal family, maternal family, cluster): offspring that
// share both families are full sibs. Families are numbered 1, 2, ... in
// order of their first member; the number of families is returned. In a
// monoecious sample both columns name one pool of parents, so the parents
// (p, q) and (q, p) are the same pair.
int32_t FindFSFamilyID(const Mat1<int32_t>& loc, Vec1<int32_t>& fsid);

// prob(k) = posterior probability of cluster k of the best configuration
// (column 3 of BtIndivLoc, clusters labelled 1 .. K): the share of the
// archive weight carried by the configurations that hold the same cluster
// with the same internal family structure. An empty archive counts as one
// holding the best configuration alone.
void FindFamilyProb(Vec1<double>& prob);

// For every full-sib family f = 1 .. n of the best configuration (numbered
// by FindFSFamilyID), probInc(f) = probability that its members are full
// sibs and probExc(f) = probability that they are, with no other offspring
// in their family. In a monoecious sample selfing(1..3) receives the
// selfing-rate estimate and its lower and upper 95% limits (otherwise 0).
void FindFSFamilyProb(Vec1<double>& probInc, Vec1<double>& probExc, int32_t& n, Arr1<double, 3>& selfing);
