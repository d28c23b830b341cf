// The pairwise method: every pair of offspring classified from its pair
// likelihoods, every offspring's most likely candidate parents with a
// confidence from the simulated thresholds, the clusters of related
// offspring that guide the search, and the checkpoint that marks the
// pairwise stage as done.
#pragma once

#include <cstdint>
#include <string>

// Runs the whole pairwise method and writes its files under the output name
// (each written whole, or not at all):
//   ".PairwiseFullSibDyad", ".PairwiseCloneDyad": header
//     "OffspringID1,OffspringID2", one row per pair of the kind;
//   ".PairwiseHalfSibDyad": the same header, followed in a haplodiploid
//     sample by ",Paternal(P)/Maternal(M)" and the rows by ",P" or ",M";
//     not written when every parent is monogamous;
//   ".PairwisePaternity", ".PairwiseMaternity": header
//     "OffspringID,CandidateID,Confidence", one row per offspring with an
//     assigned or known parent of that sex, the confidence as "95%"; not
//     written for a sex without candidates;
//   ".PairCluster": one line per cluster of two or more offspring linked by
//     related pairs, "count,member,member,...";
//   the checkpoint MidFileName(5) (see WriteMidResult6).
// With several processes the pairs are shared out, each process writes its
// part of the pair files (process 0 also the parentage files) under the
// name followed by its rank, and the parts are merged. Sets LogPrior on
// every process. Needs the offspring pair tables (computed when missing),
// the candidates' tables and single log likelihoods, and the thresholds of
// the threshold simulation. Every process must call it.
void PairwiseInference();

// The classification of offspring i and j from their pair likelihoods:
// 0 unrelated, 1 full sibs, 2 paternal half sibs, 3 maternal half sibs
// (in a diploid sample the two half-sib kinds have one likelihood and
// give 2 unless the fathers are monogamous), 4 clones (tested only when
// clones are allowed).
int32_t ClassifyPair(int32_t i, int32_t j);

// Writes MidFileName(5): one line of five values in scientific notation of
// width 18 with 8 digits after the point: the search's starting
// temperature, LogPrior(1,1), LogPrior(2,1), LogPrior(1,2), LogPrior(2,2).
void WriteMidResult6(double temperature);

// Reads MidFileName(5) back: true, with temperature and LogPrior set, only
// when it holds a positive finite temperature and, for each sex, ln q and
// ln(1 - q) of one q in (0, 1); anything else (a missing, short or damaged
// file) gives false and changes nothing.
bool ReadMidResult6(double& temperature);
