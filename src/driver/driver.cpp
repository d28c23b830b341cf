// The program's stage sequence and run loop: every process runs the same
// stages in the same order, with barriers where the processes must be in
// step.
#include "driver/driver.h"

#include <cmath>
#include <iostream>

#include "driver/pair_stage.h"
#include "driver/run_archive.h"
#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "input/resume.h"
#include "likelihood/likelihood_setup.h"
#include "results/ne.h"
#include "results/output.h"
#include "runctl/command_line.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/output_files.h"
#include "runctl/parallel.h"
#include "search/anneal.h"
#include "search/checkpoint.h"
#include "search/frequency_update.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// The repeat the run loop starts from: 5 (one annealing call per run)
// unless allele frequencies are updated under the pairwise-score method and
// a saved repeat number can be resumed.
int32_t FirstRepeat() {
  if (variables.updateallelefre != 2) return 5;
  int32_t failed = 1, saved = 0;
  const Vec1<std::vector<double>> start = likelihoodvar.obsallelefre;
  ReadMidResult4(failed, saved);
  // A record of a finished execution (next repeat above 5) is treated as
  // absent, its frequencies too, so that re-running the project redoes the
  // analysis instead of ending silently.
  if (failed != 0 || saved > 5) {
    likelihoodvar.obsallelefre = start;
    return 1;
  }
  // The repeats go on under the frequencies they had reached.
  if (!FrequencyTablesCurrent()) RefreshFrequencyTables(true);
  return saved;
}

bool Converged(double now, double before) {
  const double denom = std::fabs(now) + std::fabs(before);
  return denom > 0.0 && std::fabs(now - before) / denom < 0.01;
}

void RunLoop(int32_t& stopflag) {
  const int32_t firstrepeat = FirstRepeat();
  if (likelihoodvar.locus2[0] > 2 * variables.numthreads) SetGtype2();
  double repeatlogl[6] = {0, 0, 0, 0, 0, 0};
  variables.bestlogl = -1e300;
  stopflag = 1;
  // A resumed execution goes on with the run its saved search belongs to:
  // the runs before it are done, and their archive copies are kept.
  const int32_t savedrun = variables.restart == 1 ? SavedRunNumber() : 0;
  const int32_t firstrun = savedrun >= 1 && savedrun <= variables.numrun ? savedrun : 1;
  for (variables.krun = firstrun; variables.krun <= variables.numrun; ++variables.krun) {
    // A copy left by an earlier execution must never be taken for this run's.
    if (variables.threadid == 0 && variables.numrun > 1) {
      DeleteFile(RunArchiveName(variables.krun));
    }
    for (int32_t repeat = firstrepeat;; ++repeat) {
      Anneal(stopflag, repeat);
      repeatlogl[repeat] = variables.btloglikelihood;
      // Between repeats the allele frequencies are estimated afresh from
      // the best configuration; the next repeat starts from them.
      if (variables.updateallelefre == 2 && stopflag != -1) Update(repeat + 1, true);
      if (repeat > firstrepeat && Converged(repeatlogl[repeat], repeatlogl[repeat - 1])) {
        // The repeats are done: the saved record says so, as after the last
        // repeat, so that the execution is not taken up again from it.
        if (variables.updateallelefre == 2) WriteMidResult4(6);
        stopflag = -1;
        return;
      }
      if (stopflag == -1) return;
      stopflag = 0;
      if (repeat >= 5) break;
    }
    if (variables.numrun > 1 && variables.threadid == 0) SaveArchive(variables.krun);
    Barrier();
  }
}

}  // namespace

void MAIN(int* argc, char*** argv) {
  InitializeThreads(argc, argv);
  GetCommands();
  // An error file left by an earlier, failed execution would make this one
  // look failed to a front end.
  if (variables.threadid == 0) DeleteFile(kErrorMessageFile);
  ReadData();
  Initialize();
  // Whether an earlier execution is resumed or cleared away is decided
  // before any intermediate file of it is read.
  if (variables.threadid == 0) CheckData();
  Barrier();
  DataProcess();
  InitialFsProb(1, 1, variables.numloci);
  // A damaged checkpoint of the pairwise stage means doing the stage again.
  if (!PairStageDone()) PairRelation();
  Barrier();
  if (variables.smplsize > 49) SetCluster();
  int32_t stopflag = 1;
  RunLoop(stopflag);
  SelectRun(stopflag);
  // A stop from here on leaves no result file: a partial set would look
  // like a result.
  variables.writingresults = 1;
  Output();
  if (variables.numthreads > 1) MergeFile(0, 3);
  if (variables.threadid == 0) SibNe();
  Barrier();
  variables.writingresults = 0;
  if (variables.threadid == 0) ReleaseOutputName();
  if (variables.displayq != 0) {
    std::cout << '\n' << "Output to file : " << variables.fname << std::endl;
  }
  FinalizeThreads();
}
