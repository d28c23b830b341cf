// The pairwise stage as the driver runs it, the pair clusters it leaves for
// the search, and the compact genotype table of the search.
#pragma once

// The pairwise stage: with the pairwise method or pairwise-guided full
// likelihood, the threshold simulations and the pairwise inference.
void PairRelation();

// Whether an earlier execution completed the pairwise stage: its
// checkpoint is readable and sound on every process (it then also sets the
// prior's LogPrior); otherwise the stage runs again.
bool PairStageDone();

// Reads fname + ".PairCluster" into variables.paircluster.
void SetCluster();

// Builds likelihoodvar.indivgtype1.
void SetGtype2();
