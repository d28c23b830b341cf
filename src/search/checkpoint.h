// Checkpoint files of the search: the state of the running search
// (fname + ".MidResult2"), from which an interrupted execution resumes, the
// text archive of the current run (".MidResult3"), and the saved allele
// frequencies of the repeats (".MidResult4").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/monitor.h"

// Reads the saved allele frequencies (into obsallelefre) and the next
// repeat number; failed = 0 only when the whole file was read, fits the
// loci and alleles of this data, and the repeat number is above 0.
// Otherwise (no file included) nothing is changed.
void ReadMidResult4(int32_t& failed, int32_t& repeat);

// Process 0: writes the allele frequencies (obsallelefre), one line per
// locus, and the next repeat number, the file replaced whole.
void WriteMidResult4(int32_t repeat);

// Process 0: writes the state of the running search, which ReadMidResult
// reads back into the same state (the run number, the current and best
// configurations with their log likelihoods and cluster log likelihoods,
// the counters, the time the run has taken, the offspring move counters,
// the random streams, the allele frequencies and the archive), then the
// text archive of the run (SaveMidResult()). Each file is replaced whole.
void SaveMidResult(const SearchCounters& counters);

// Process 0: writes the archive of the current run as text to its
// checkpoint file: per configuration its log likelihood and integer
// vectors, the form the run copies are made from.
void SaveMidResult();

// Process 0: whether a checkpoint is due: at a positive multiple of
// 1000000000 iterates of the run, or when more than 300 seconds of wall
// time have passed since the last one (or since the first question).
bool CheckpointDue(const SearchCounters& counters);

// Reads the saved state of the search back when it is whole and belongs to
// this sample, to the run in progress (krun) and to its repeat. The configuration tables,
// CrLogLikelihood, CrFamilyLogL, btloglikelihood, BtConfigPrior,
// BtNumAssign, bestlogl, MinLogLikelihood, the offspring move counters,
// the random streams, the allele frequencies and the archive are restored,
// and the counters returned (timespent then holds the run's time so far).
// The cluster tables are not: the caller rebuilds them (SetInitCluster),
// and any table derived from the allele frequencies. On any fault of the
// file (missing, truncated, foreign, out of range) it returns false and
// changes nothing, and the caller starts the run afresh (a message says so
// when a file was there).
bool ReadMidResult(SearchCounters& counters, int32_t repeat);

// The run whose state the saved search holds, when the file is whole and
// belongs to this sample; 0 otherwise.
int32_t SavedRunNumber();

// Appends the integers as comma-separated decimal numbers without blanks,
// in lines of fewer than 1000 characters.
void WriteIntVector(const std::vector<int32_t>& values, std::string& text);
