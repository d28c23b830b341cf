// Helpers of the pair-table tests: the loci of their simulated samples, a
// table entry against its brute-force value, and the screen output of a step.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "likelihood/pedigree_oracle.h"
#include "pairwise/dyad_tables.h"
#include "state/variables.h"

// A microsatellite of 3 to 6 alleles, a SNP, a dominant marker and a locus
// of one allele (which takes no part), with dropout D and other-error rate E.
inline std::vector<OracleLocus> MixedLoci(std::mt19937& rng, double D, double E) {
  std::vector<OracleLocus> loci(4, OracleLocus{2, D, E, false, {}});
  loci[0].n = 3 + static_cast<int32_t>(rng() % 4);
  loci[2].dominant = true;
  loci[3].n = 1;
  return loci;
}

struct EntryCounts {
  int impossible = 0, checked = 0;
};

// A pair ruled out holds exactly the impossible value, not a sum run low.
inline void ExpectEntry(float got, double want, EntryCounts& counts) {
  if (want <= kImpossibleDyadLogL) {
    EXPECT_EQ(got, kImpossibleDyadLogL);
    ++counts.impossible;
  } else {
    EXPECT_NEAR(got, want, 1e-4 * std::max(1.0, std::fabs(want)));
    ++counts.checked;
  }
}

// What fn shows on the screen with messages on.
inline std::string Shown(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  variables.displayq = 1;
  fn();
  variables.displayq = 0;
  return testing::internal::GetCapturedStdout();
}
