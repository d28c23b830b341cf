// State group `simuvariables`: the simulation that calibrates the
// confidence of pairwise parentage assignments, and the thresholds it
// yields. A test resets it with `simuvariables = SimuVariables{};`.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "state/arrays.h"

struct SimuVariables {
  // ---- Thresholds of the confidence levels ----
  // Row c = 1..10 holds the delta (log-likelihood advantage of the best
  // candidate over the second) at or above which an assignment is right
  // with chance 95, 90, ..., 50 per cent (row 1 the 95 per cent level);
  // column 1 candidate fathers, 2 candidate mothers. Threshold calibrates
  // diploid offspring, ThresholdH haploid offspring (mothers only).
  Mat1<double> Threshold{10, 2, 0.0};
  Mat1<double> ThresholdH{10, 2, 0.0};

  // ---- Drawing tables, per locus ----
  // Cumulative allele frequencies (alleles 1..n at [0..n-1]).
  Vec1<std::vector<double>> cumallelefre;
  // Share of missing observations among the offspring and among the
  // candidates of each sex, which the simulated individuals copy.
  Vec1<double> offmissing;
  Arr1<Vec1<double>, 2> cndmissing;

  // ---- The simulated population of each sex ----
  // popsize(s) members; SimCndGtype(s) holds their observations, member k
  // (0-based) at [k * loci, (k + 1) * loci), one observation index per
  // scored locus (see the simulation for the coding), when the population
  // is small enough to be kept; otherwise members are drawn again when
  // needed, from the same seed.
  Arr1<int32_t, 2> popsize;
  Arr1<std::vector<uint16_t>, 2> SimCndGtype;
  // Work of one replication: the true genotypes of the true parent and of
  // the other parent (two alleles per scored locus, the second 0 for a
  // haploid), and the offspring's observations.
  std::vector<uint8_t> SimPrntGtype;
  std::vector<uint8_t> SimMateGtype;
  std::vector<uint16_t> SimOffGtype;

  // ---- Scores ----
  // The scored loci (more than one observed allele), those whose tables
  // give no bound first.
  std::vector<int32_t> simloci;
  // Per scored locus (position in simloci) the parent-offspring score of
  // every pair of observations, offspring observation major: the log
  // likelihood as parent and offspring less those of the two as unrelated
  // (0 when either is missing, -1e38 when impossible). Filled at once for
  // small loci (then rowmax(o) bounds the score of offspring observation
  // o), entry by entry when first needed for larger ones, and kept in a
  // map for the largest. Built for one pair of ploidies (offspring,
  // candidate) at a time.
  struct LocusScores {
    int32_t nrow = 0, ncol = 0;  // observations 0..nrow-1, 0..ncol-1
    bool complete = false;       // every entry filled, rowmax valid
    std::vector<float> lod;      // nrow * ncol, NaN where not yet computed
    std::vector<float> rowmax;
    std::unordered_map<uint32_t, float> sparse;
  };
  std::vector<LocusScores> DyadLogL;
  Arr1<int32_t, 2> dyadploidy;  // (offspring, candidate) DyadLogL is built for

  // ---- Gathered results of the last simulation, per sex (process 0) ----
  // delta and whether the best candidate was the true parent, of every
  // replication that assigned a parent, in replication order.
  Arr1<std::vector<double>, 2> simdelta;
  Arr1<std::vector<uint8_t>, 2> simcorrect;
};

extern SimuVariables simuvariables;
