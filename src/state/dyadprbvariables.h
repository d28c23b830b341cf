// State group `dyadprbvariables`: the reduced allele set of the pair being
// evaluated and the pair tables (log likelihoods of every pair of
// individuals under each pairwise relationship, summed over loci).
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

struct DyadPrbVariables {
  // ---- The pair being evaluated at one locus ----
  // Frequencies of the alleles that the two observations show, relabelled
  // 1..k in order of first appearance, and of one pooled allele k + 1 for
  // the rest of the locus; nafr entries are in use.
  Arr1<double, 12> Afr;
  int32_t nafr = 0;

  // ---- Pair tables ----
  // A table over pairs: either the upper triangle of a symmetric relation
  // between the n individuals of one group (row i holds j = i+1..n, rows
  // one after the other), or a full nrow x ncol rectangle, row by row, for
  // an ordered relation. Entries are natural-log likelihoods summed over
  // loci in single precision; an impossible pair holds exactly -1e38f.
  struct Table {
    bool triangle = true;
    int32_t nrow = 0, ncol = 0;
    bool ready = false;
    std::vector<float> logl;
  };
  // The tables in the order of their file keys: 1 full sibs, 2 paternal
  // half sibs, 3 maternal half sibs, 4 selfed with outbred sib, 5 two
  // selfed sibs, 6 candidate father and offspring, 7 candidate mother and
  // offspring, 8 parent and selfed offspring.
  Arr1<Table, 8> dyadtable;
  // Per-locus digests (locus l at [l - 1]) of the data the tables are
  // computed from, kept in the cache files so that a file made from other
  // data or older frequencies is recognised and recomputed.
  std::vector<uint32_t> locusdigest;
};

extern DyadPrbVariables dyadprbvariables;
