// The temperature schedule of an annealing run: its iterate limits, the
// starting temperature, and the tests that end a temperature or the whole
// search.
#pragma once

#include <cstdint>

#include "search/monitor.h"

struct Schedule {
  int32_t N = 1;
  double lnN = 0.0;
  int64_t iterpertemp = 1;  // base number of iterates per temperature
  int64_t iterlimit = 1;    // iterpertemp x 5^(run length + 1)
  int64_t nsucclmt = 1;     // accepted moves that end a temperature
  double m = 1.0;           // 1 with the full likelihood, 10 with pairwise scores
  double target = 0.15;     // success rate sought at the first temperature
  double known = 0.0;       // share of offspring-by-side slots with a known sibship
  bool allmonogamous = false;
  bool guided = false;      // the search starts from the pair classification's families
};

// The schedule of a run of N offspring (repeat 1..5, 5 for the final or
// only call).
Schedule MakeSchedule(int32_t N, int32_t repeat);

// The temperature a fresh run starts at: the one the pairwise stage left
// in its checkpoint; without one, a tenth of the log likelihood ratio that
// typically links an offspring to its most related partner (the pairs of
// true sibs), between 0.5 and the number of informative loci. Hotter
// starts only melt the sample into large clusters that later temperatures
// must take apart again; the first temperature still raises it when too
// few moves succeed.
double StartTemperature(double typicalpairscore);

enum class Verdict { kGoOn, kEndTemperature, kEndSearch };

// The tests after each iterate, in order; the first that applies decides.
// T may be changed (raised at the first temperature when too few moves
// succeed, lowered faster when too many do).
Verdict EndOfTemperature(const Schedule& s, SearchCounters& c, double& T, int32_t tmr, int32_t clusters,
                         double crlogl, double btlogl);

// Success rate below which a temperature counts as frozen: hardly any
// move changes the configuration any more.
inline constexpr double kFrozenRate = 0.01;
// Quiet temperatures in a row (frozen, or without improving the best) after
// which the search ends, when the climb to the local optimum at each of
// them found nothing to change: one more for every step of run length.
int32_t QuietTemperaturesToEnd();
