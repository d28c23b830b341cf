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
#include "state/dyadprbvariables.h"
#include "state/likelihoodvar.h"
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

inline std::string Shown(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  variables.displayq = 1;
  fn();
  variables.displayq = 0;
  return testing::internal::GetCapturedStdout();
}

// n diploid offspring and nc1, nc2 candidates, each with single log
// likelihood -10, every candidate-offspring pair impossible until scored.
inline void HandParentTables(int32_t n, int32_t nc1, int32_t nc2) {
  Variables& v = variables;
  v.smplsize = n;
  v.numchild(1) = nc1;
  v.numchild(2) = nc2;
  v.offploid.assign(static_cast<std::size_t>(n), 2);
  v.indivparent.assign(static_cast<std::size_t>(n), 2, -1);
  likelihoodvar.indivlogl.assign(static_cast<std::size_t>(n), -10.0);
  for (int32_t s = 1; s <= 2; ++s) {
    v.excludedparent(s).assign(static_cast<std::size_t>(n));
    likelihoodvar.candidatelogl(s).assign(static_cast<std::size_t>(v.numchild(s)), -10.0);
    DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(s + 5);
    t.triangle = false;
    t.nrow = v.numchild(s);
    t.ncol = n;
    t.ready = true;
    t.logl.assign(static_cast<std::size_t>(t.nrow * n), kImpossibleDyadLogL);
  }
}

// Candidate c's pair log likelihood with offspring i set x above the two
// single ones (an impossible x stays impossible).
inline void ScoreCandidate(int32_t sex, int32_t i, int32_t c, float x) {
  DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(sex + 5);
  t.logl[static_cast<std::size_t>((c - 1) * t.ncol + i - 1)] = x <= kImpossibleDyadLogL ? x : -20.0f + x;
}
