// The in-memory archive of good configurations met by the search.
#pragma once

#include <cstdint>
#include <vector>

// One configuration as the text run archives hold it: its log likelihood,
// its family columns (three, or one when both sexes are monogamous in a
// dioecious sample), then one parent-assignment vector per sex that has
// candidates; every vector has one entry per offspring.
struct RunArchiveConfig {
  double logl = -1e300;
  std::vector<std::vector<int32_t>> vectors;
};

// Empties the archive and rebuilds it from a run archive, best first; the
// best configuration is taken from the first record.
void ArchiveRestoreFromRun(const std::vector<RunArchiveConfig>& configs);
