// The pairwise stage as the driver runs it, the pair clusters it leaves for
// the search, and the compact genotype table of the search.
#pragma once

// Allocation of the dyad tables, threshold simulations, pairwise inference.
void PairRelation();

// Reads fname + ".PairCluster" into variables.paircluster.
void SetCluster();

// Builds likelihoodvar.indivgtype1.
void SetGtype2();
