// The files that summarise the whole archive of good configurations: the
// archive itself, parent pairs, family-size distributions, selfing, sib
// dyads (text and record files) and the candidate parents of each offspring,
// with the weights that every archive-derived probability shares.
#pragma once

#include <cstdint>
#include <vector>

#include "state/config_record.h"

// One configuration of the archive and its share of the total weight
// exp(L - L_best) / W. A null record stands for the best configuration,
// which is the only one when the archive is empty.
struct WeightedConfig {
  const ConfigRecord* record = nullptr;
  double share = 1.0;
};

// The archived configurations of this sample in archive order with their
// weight shares (they add to 1); the best configuration alone when the
// archive holds none.
std::vector<WeightedConfig> ArchiveWeights();

// Expands c into OffTgt (offspring x paternal family, maternal family,
// cluster) and PrntTgt (family x sex: the assigned candidate, 0 = none).
void LoadWeightedConfig(const WeightedConfig& c);

// Writes ".ConfigArchive", ".ParentPair", ".Distribution", ".Selfer"
// (monoecious samples with selfing), ".FullSibDyad" with ".FSDyadUF",
// ".HalfSibDyad" with ".HSDyadUF" (unless every parent is monogamous), and
// ".Paternity" and ".Maternity" (when there are candidates). Every process
// runs it, since the pair and family likelihoods are summed over the loci
// of all processes; process 0 writes the files.
void ArchiveConfigWrite();
