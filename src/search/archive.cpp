// The in-memory archive of good configurations met by the search.
#include "search/archive.h"

#include "state/variables.h"

void ArchiveRestoreFromRun(const std::vector<RunArchiveConfig>& configs) {
  if (!configs.empty()) variables.btloglikelihood = configs.front().logl;
}
