// The iterates of an annealing run: drawing a proposal, scoring it, and
// keeping or refusing it.
//
// Several processes share the work without changing the result: the
// proposals of the next iterates are drawn in sequence by every process
// alike, each as if every one before it were refused (a refusal leaves the
// configuration as it is, so that is exactly the sequential draw); the
// quick screens of these proposals are shared out among the processes;
// the proposals that pass are scored in order by all processes together,
// each computing its share of the loci, up to the first one accepted; then
// the random stream returns to where that proposal left it, and the
// proposals drawn after it are dropped. The outcome is the same for any
// number of processes.
#pragma once

#include <cstdint>

#include "search/monitor.h"
#include "search/pair_screen.h"
#include "search/schedule.h"

// The state that the steps of one annealing run share.
struct SearchRun {
  SearchCounters c;
  Schedule s;
  ScreenScale screen;
  bool screening = false;   // the quick pairwise screen is used
  double H = 0.0;           // sum of expected heterozygosities
  double lowerbound = 0.0;  // of the acceptance uniforms at this temperature
  double screenT = 1.0;     // temperature of the quick screen
  double prior = 0.0;       // log prior of the current configuration
  double parentterm = 0.0;  // log likelihood of the unassigned candidates
  double psib = 2.0;        // share of sibship moves (>= 1: no parentage moves)
  double pfather = -1.0;    // share of parentage moves on the father side
  bool tempdone = false;
  bool searchdone = false;
};

// Runs the next iterates of the temperature: those drawn together, up to
// the first one kept or the end of the temperature. Sets run.tempdone or
// run.searchdone when the schedule says so.
void RunIterates(SearchRun& run);

// After any change of the current configuration: copies it to the best
// when it is better, offers it to the archive, and follows the best log
// likelihood over all runs.
void TrackBest(SearchRun& run);
