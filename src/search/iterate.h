// The iterates of an annealing run: drawing a proposal, scoring it, and
// keeping or refusing it.
//
// Several processes share the work without changing the result. Each
// proposal draws from a random stream of its own, seeded from the main
// stream, and the offspring move counters that steer the draws change only
// every hundred iterates, so the proposals of the next iterates can be
// drawn independently of each other, each as if every one before it were
// refused (a refusal leaves the configuration as it is, so that is exactly
// the sequential draw). Each process draws and screens its share of them;
// the proposals that pass the quick screen are scored in order by all
// processes together, each computing its share of the loci, up to the
// first one accepted; then the main stream returns to where that
// proposal's seed left it, and the proposals after it are dropped. The
// outcome is the same for any number of processes.
#pragma once

#include <cstdint>
#include <vector>

#include "search/monitor.h"
#include "search/pair_screen.h"
#include "search/schedule.h"

// The state that the steps of one annealing run share.
struct SearchRun {
  SearchCounters c;
  Schedule s;
  ScreenScale screen;
  bool screening = false;   // the quick pairwise screen is used
  bool guided = false;      // started from the full sibs of the pair classification
  double H = 0.0;           // sum of expected heterozygosities
  double lowerbound = 0.0;  // of the acceptance uniforms at this temperature
  double screenT = 1.0;     // temperature of the quick screen
  double prior = 0.0;       // log prior of the current configuration
  double parentterm = 0.0;  // log likelihood of the unassigned candidates
  double psib = 2.0;        // share of sibship moves (>= 1: no parentage moves)
  double pfather = -1.0;    // share of parentage moves on the father side
  // Offspring whose move counters are to rise (positive: a move accepted;
  // negative: a move proposed). The counters steer which offspring is
  // drawn; they change only every hundred iterates, so that the proposals
  // of those iterates can be drawn independently of each other.
  std::vector<int32_t> pendingtrials;
  // Moves accepted since the allele frequencies were last estimated.
  int64_t sinceupdate = 0;
  bool tempdone = false;
  bool searchdone = false;
};

// Runs the next iterates of the temperature: those drawn together, up to
// the first one kept or the end of the temperature. Sets run.tempdone or
// run.searchdone when the schedule says so.
void RunIterates(SearchRun& run);

// Raises the offspring move counters by the moves proposed and accepted
// since the last time.
void ApplyTrials(SearchRun& run);

// Makes the current configuration the best of the run.
void CopyCurrentToBest(const SearchRun& run);

// Estimates the allele frequencies afresh from the best configuration and
// brings the run's stored values up to date (every process alike), the
// pair tables of the quick screen included: the screen weighs them against
// the single log likelihoods, so both must come from the same frequencies.
void UpdateFrequencies(SearchRun& run);

// After any change of the current configuration: copies it to the best
// when it is better, offers it to the archive, and follows the best log
// likelihood over all runs.
void TrackBest(SearchRun& run);
