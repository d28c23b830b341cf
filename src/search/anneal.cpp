// The simulated-annealing search of one run: from the initial
// configuration, one proposal at a time, accepted by the Metropolis rule
// at a falling temperature, keeping the best configuration met; once the
// configuration has frozen, a systematic climb to the local optimum ends
// it.
//
// Anneal reads from the top: start the run, then temperature by
// temperature run the iterates until the schedule ends the temperature,
// then close the temperature (cooling, and the climb once frozen), and
// finally end the run.
#include "search/anneal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "numeric/random.h"
#include "runctl/messages.h"
#include "runctl/parallel.h"
#include "search/archive.h"
#include "search/checkpoint.h"
#include "search/cluster_cache.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/frequency_update.h"
#include "search/guided_start.h"
#include "search/iterate.h"
#include "search/monitor.h"
#include "search/pair_screen.h"
#include "search/pair_score.h"
#include "search/parentage_moves.h"
#include "search/polish.h"
#include "search/prior.h"
#include "search/schedule.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// The starting temperature of a guided search, as a share of the usual one.
constexpr double kGuidedTemperatureShare = 0.3;

// While the search runs, every likelihood is computed by all processes
// together, each taking its share of the loci.
class SharedLikelihoods {
 public:
  SharedLikelihoods() : saved_(variables.parallelq) { variables.parallelq = variables.numthreads > 1 ? 1 : 0; }
  ~SharedLikelihoods() { variables.parallelq = saved_; }

 private:
  int32_t saved_;
};

// The initial configuration (or the saved state of a resumed run), its log
// likelihood and prior, and the schedule. Returns false when a resumed run
// was cut short on request (its saved best configuration is the result).
bool StartRun(SearchRun& run, int32_t& stopflag, int32_t repeat, bool& resumed) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  const int32_t N = v.smplsize;
  if (stopflag == 1) {
    MonitorStart();
    // One stream for the whole program, seeded alike on every process so
    // that all processes make the same proposals in the same order.
    const int32_t seed = v.newseed != 0 ? v.newseed : v.i_seed;
    v.idum = seed == 0 ? -1 : -std::abs(seed == INT32_MIN ? INT32_MAX : seed);
  }
  MonitorRunStart();
  ClearClusterLogL();
  // A resumed execution goes on from the saved state of the run; anything
  // unreadable there means a fresh start. The initial configuration comes
  // first all the same: it sizes every configuration table, which the saved
  // state then fills.
  FirstConfig(v.krun);
  resumed = stopflag == 1 && v.restart == 1 && ReadMidResult(c, repeat);
  bool goon = true;
  if (resumed) {
    // Said on the screen, so that a user (and a test) can tell a run taken
    // up from a fresh one.
    if (v.displayq != 0) {
      std::printf("Resuming run %d from its saved search: temperature %d, iterate %lld%s\n", v.krun, c.tmr,
                  static_cast<long long>(c.runiterates), c.finished == 1 ? ", search finished" : "");
    }
    // The saved search ran under the frequencies it saved.
    if (!FrequencyTablesCurrent()) RefreshFrequencyTables(true);
    SetInitCluster();
    SetInitConfigLogL(0);
    run.prior = CurrentLogPrior();
    if (v.runcutshortq == 1) {
      stopflag = -1;
      c.finished = 1;
      goon = false;
    }
  } else {
    run.guided = GuidedFirstConfig() > 0;
    SetInitConfigLogL(0);
    run.prior = CurrentLogPrior();
    CopyCurrentToBest(run);
    ArchiveConfigRemoveAll();
    if (stopflag == 1 || v.krun == 1) WriteMidResultHeader();
  }
  if (c.finished == 1) goon = false;

  a.RatioTemprature = 0.92;
  a.NTemprature = v.fulllikelihoodmethodq == 0 ? 600 : 200;
  run.s = MakeSchedule(N, repeat);
  run.s.guided = run.guided;
  const double typical = SetPartners();
  SetClimbMargin(typical);
  // The quick pairwise screen, when the pair tables are there: its scale
  // starts high for informative markers and is lowered while most screened
  // proposals pass.
  run.screening = v.fulllikelihoodmethodq == 1 && PairScreenAvailable();
  run.H = HeterozygositySum();
  if (!resumed) {
    // A guided start is close to the optimum already: a high temperature
    // would only take it apart again.
    c.T = StartTemperature(typical) * (run.guided ? kGuidedTemperatureShare : 1.0);
    c.S = 1.0 + std::log(2.72 + run.H);
    c.rate = 1.0;
    c.archiving = N <= 99 && v.iarchive == 1 ? 1 : 0;
    c.repeat = repeat;
    if (c.archiving == 1) {
      UseCurrentConfig();
      ArchiveConfigAdd(1, v.CrNumFamily(3));
    }
    a.OffspringTrials.assign(static_cast<std::size_t>(N), 2, 1000);
  }
  c.iterlimit = run.s.iterlimit;
  c.nsucclmt = run.s.nsucclmt;
  run.screen.S = c.S;
  run.screen.trials = c.screentrials;
  run.screen.passes = c.screenpasses;
  a.Rate = c.rate;
  v.MinLogLikelihood = v.bestlogl - 10.0;
  for (int32_t k = 1; k <= 2; ++k) a.SibshipDone(k) = 0;
  // Sibship and parentage moves: their mix, and the parent term of the
  // current configuration.
  ParentageSchedule(run.psib, run.pfather);
  UseCurrentConfig();
  ComputeParentLogL(run.parentterm);
  a.Tmr = c.tmr;
  return goon;
}

// A new temperature: counters cleared (not for a resumed run, which goes
// on inside the temperature it was saved in), the screen adapted.
void BeginTemperature(SearchRun& run, bool resumed) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  c.tmr = a.Tmr;
  if (!resumed) {
    run.pendingtrials.clear();
    for (int32_t i = 1; i <= v.smplsize; ++i) a.OffspringTrials(i, 1) = a.OffspringTrials(i, 2) = 1000;
    a.Rate *= a.RatioTemprature;
    AdaptScreenScale(run.screen, v.allmonogamy == 1, v.quicksearchq == 1);
    c.iters = c.nsucc = c.nfail1 = 0;
    c.tempimprovements = 0;
    c.largestgain = 0.0;
  }
  run.tempdone = false;
  run.lowerbound = std::min(std::pow(0.92, -a.Tmr) * 0.00001, 0.001);
  run.screenT = run.screen.S * c.T * std::exp(0.125 * a.Tmr / (run.H + 1.0));
}

// Climbs from the current configuration to the local optimum, keeping the
// best configuration up to date. Returns the number of changes made.
int32_t Climb(SearchRun& run) {
  const int32_t changes = ClimbToLocalOptimum(run.prior, run.parentterm, run.c.runiterates);
  if (changes > 0) TrackBest(run);
  return changes;
}

// The end of a temperature: the progress line, the climb once the
// configuration has frozen, and the cooling.
void EndTemperature(SearchRun& run, int32_t& frozen) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  const double r = static_cast<double>(c.nsucc) / static_cast<double>(std::max<int64_t>(c.iters, 1));
  // A running total kept by changes gathers rounding: it is made afresh.
  ReduceErrAcct(c.runiterates);
  // The allele frequencies follow the configurations of the temperature.
  if (v.updateallelefre == 1 && !PairScoreMethod() && r <= 0.7 && run.sinceupdate > 0) {
    UpdateFrequencies(run);
    Barrier();
    SaveMidResult(c);
  }
  // Once hardly any proposal succeeds, or the best no longer improves, the
  // neighbourhood of the configuration is checked systematically: when that
  // finds nothing better than the best either, at several temperatures in a
  // row, the search has converged.
  // (The first temperature of a plain start only begins to gather the
  // families; a guided start may be frozen from the first.)
  if (!run.searchdone && (a.Tmr > 1 || run.guided) && (r < kFrozenRate || c.tempimprovements == 0)) {
    const double best = v.btloglikelihood;
    Climb(run);
    frozen = v.btloglikelihood > best + kClimbGain ? 0 : frozen + 1;
    if (frozen >= QuietTemperaturesToEnd()) run.searchdone = true;
  } else {
    frozen = 0;
  }
  UpdateProgress(c, a.NTemprature, v.CrLogLikelihood, v.btloglikelihood, true, QuietTemperaturesToEnd(), kFrozenRate);
  c.T *= a.RatioTemprature;
}

// The end of the run. climb: whether the search ran in this call (a run
// cut short on request ends at once).
void EndRun(SearchRun& run, bool climb) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  // The run's result is a local optimum: the climb starts from the best
  // configuration met (the search may have wandered off it).
  if (climb) {
    if (v.btloglikelihood > v.CrLogLikelihood) {
      v.CrIndivLoc = v.BtIndivLoc;
      v.InferParent = v.BtInferParent;
      v.CrNumFamily = v.BtNumFamily;
      SetInitConfigLogL(0);
      run.prior = CurrentLogPrior();
      UseCurrentConfig();
      ComputeParentLogL(run.parentterm);
    }
    Climb(run);
  }
  EndProgress();
  if (v.displayq != 0) {
    std::printf("Run %d: best log likelihood %.4f after %lld iterates, %.1f s\n", v.krun, v.btloglikelihood,
                static_cast<long long>(c.runiterates), RunSeconds(c));
  }
  a.Temperature = c.T;
  a.Iterate = c.runiterates;
  // The best configuration always stands in the run's archive, so that the
  // best of several runs can be chosen from their copies.
  UseBestConfig();
  ArchiveConfigAdd(1, v.BtNumFamily(3));
  UseCurrentConfig();
  c.finished = 1;
  c.tmr = std::min(a.Tmr, a.NTemprature);
  c.rate = a.Rate;
  SaveMidResult(c);
}

}  // namespace

void Anneal(int32_t& stopflag, int32_t repeat) {
  if (variables.smplsize < 1) return;
  AnnealVariables& a = annealvariables;
  SharedLikelihoods shared;
  SearchRun run;
  bool resumed = false;
  if (!StartRun(run, stopflag, repeat, resumed)) {
    EndRun(run, false);
    return;
  }
  // A resumed run continues inside the temperature it was saved in.
  bool midtemperature = resumed;
  int32_t frozen = 0;
  for (; a.Tmr <= a.NTemprature && !run.searchdone; ++a.Tmr) {
    BeginTemperature(run, midtemperature);
    midtemperature = false;
    while (!run.tempdone && !run.searchdone) RunIterates(run);
    EndTemperature(run, frozen);
  }
  EndRun(run, true);
}
