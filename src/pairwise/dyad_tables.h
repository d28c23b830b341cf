// Pair tables: the log likelihood of every pair of offspring under each
// sib relationship (with selfed offspring too, in a sample with selfing),
// and of every candidate parent with every offspring as parent and
// offspring (or selfed offspring), summed over loci, computed once before
// the search and cached on disk under the project's output name.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "state/dyadprbvariables.h"
#include "state/variables.h"

// Relationship index of the offspring tables.
inline constexpr int32_t kFullSibDyad = 0, kPaternalHalfSibDyad = 1, kMaternalHalfSibDyad = 2;

// Value of a pair that is impossible at some locus; sums never go below it.
inline constexpr float kImpossibleDyadLogL = -1e38f;

// Position of the pair (i, j), 1 <= i < j <= n, in a triangle table.
inline std::size_t DyadTriangleIndex(int32_t i, int32_t j, int32_t n) {
  const std::size_t r = static_cast<std::size_t>(i - 1);
  return r * (2 * static_cast<std::size_t>(n) - r - 1) / 2 + static_cast<std::size_t>(j - i - 1);
}

// Fills table k of dyadprbvariables.dyadtable (1 full sibs, 2 paternal and
// 3 maternal half sibs, 4 selfed offspring (rows) with outbred sib
// (columns), 5 two selfed sibs, 6 candidate fathers and 7 candidate mothers
// with offspring, 8 candidates of the one pool of a monoecious sample as
// parents (rows) of selfed offspring (columns)) from this process's loci,
// summed over processes; every process must call it. A haploid son has no
// father: his entries in the father table are -1e38 (the impossible value)
// in every row. The diagonal of table 4 (an offspring with itself) is -1e38.
void Compute_Dyad_Locus2_LogL(int32_t k);

// mode 1 reads the table that fileName holds (found by its key in the
// name) and returns true only when the file is complete and was made from
// the current data; any other mode writes the table, under a temporary
// name renamed at the end, and returns true.
bool ReadWriteDyadLogL(int32_t mode, const std::string& fileName);

// true for a monoecious sample with inbreeding allowed, the only one whose
// offspring may be selfed.
bool SelfingSample();

// Computes (or reads back from their cache files when readallowed and the
// file is valid) the three offspring tables, and in a sample with selfing
// the two tables of selfed offspring (4 and 5; otherwise they are left
// empty and not ready, with no file). Without haploid sons the maternal
// half-sib table is the paternal one and is held once (table 3 keeps its
// shape but no entries); its file is written all the same.
void CalculatePairProb(bool readallowed);

// The same for the candidate-offspring tables 6 (fathers) and 7 (mothers),
// and in a sample with selfing table 8 (candidates as parents of selfed
// offspring; otherwise empty and not ready): a table without candidates
// gets no entries and no file.
void CalculateParentPairProb(bool readallowed);

// Plain log likelihood (natural log, summed over this sample's loci) of
// offspring i and j (1-based, i != j) under relationship kind; symmetric.
inline float OffspringDyadLogL(int32_t kind, int32_t i, int32_t j) {
  const int32_t k = kind == kMaternalHalfSibDyad && variables.haplodiploid != 1 ? 2 : kind + 1;
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
  if (i > j) std::swap(i, j);
  assert(i >= 1 && i < j && j <= t.nrow);
  return t.logl[DyadTriangleIndex(i, j, t.nrow)];
}

// true once the three tables are filled for the current sample.
bool OffspringDyadReady();

// true once the candidate table of the sex is filled for the current sample.
bool ParentDyadReady(int32_t sex);

// true once tables 4 and 5, or table 8, are filled for the current sample
// (never in a sample without selfing).
bool SelfingDyadReady();
bool ParentSelfedDyadReady();

// Digest of the data every pair table is computed from (frequencies, error
// rates, ploidies, every observation), as of the last CalculatePairProb or
// CalculateParentPairProb: caches derived from the tables keep it to be
// recognised as made from the same data.
uint64_t DyadDataDigest();

// Plain log likelihood (natural log, summed over loci) of candidate c of
// sex s (1 father, 2 mother) and offspring i as parent and offspring.
// The table of sex s holds one row per candidate, one entry per offspring.
inline float ParentDyadLogL(int32_t s, int32_t i, int32_t c) {
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(s + 5);
  assert(!t.triangle && c >= 1 && c <= t.nrow && i >= 1 && i <= t.ncol);
  return t.logl[static_cast<std::size_t>(c - 1) * static_cast<std::size_t>(t.ncol) + static_cast<std::size_t>(i - 1)];
}

// Plain log likelihood of offspring `selfed` as a selfed offspring and
// offspring `outbred` as an outbred offspring of its selfing parent (the
// table is ordered: rows the selfed member).
inline float SelfOutDyadLogL(int32_t selfed, int32_t outbred) {
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(4);
  assert(!t.triangle && selfed >= 1 && selfed <= t.nrow && outbred >= 1 && outbred <= t.ncol && selfed != outbred);
  return t.logl[static_cast<std::size_t>(selfed - 1) * static_cast<std::size_t>(t.ncol) +
                static_cast<std::size_t>(outbred - 1)];
}

// Plain log likelihood of offspring i and j as selfed offspring of the
// same parent; symmetric.
inline float SelfSelfDyadLogL(int32_t i, int32_t j) {
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(5);
  if (i > j) std::swap(i, j);
  assert(t.triangle && i >= 1 && i < j && j <= t.nrow);
  return t.logl[DyadTriangleIndex(i, j, t.nrow)];
}

// Plain log likelihood of candidate c (of the one pool of a monoecious
// sample) as the selfing parent of offspring i.
inline float ParentSelfedDyadLogL(int32_t c, int32_t i) {
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(8);
  assert(!t.triangle && c >= 1 && c <= t.nrow && i >= 1 && i <= t.ncol);
  return t.logl[static_cast<std::size_t>(c - 1) * static_cast<std::size_t>(t.ncol) + static_cast<std::size_t>(i - 1)];
}
