// Time and memory of the pair stage: reads a project file, prepares the
// data as an analysis does, and runs the likelihood set-up from scratch
// (its pair-table and short-list caches removed first), which builds the
// offspring pair tables, the candidate-offspring tables and the candidates'
// short lists. Then the stage is run again by itself, caches removed again:
// the offspring tables, and the candidate tables with the lists. Prints,
// per process, user CPU seconds, wall seconds and the peak resident memory,
// and a checksum of the tables and lists, which must not depend on the
// number of processes.
//
//   [mpirun -np N] dyad_stage <project file> [keep]
//
// With "keep" the caches are left in place, so that the set-up reads them
// back (the path of a resumed or repeated analysis).
#include <mpi.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/likelihood_setup.h"
#include "pairwise/candidate_screen.h"
#include "pairwise/dyad_tables.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "state/dyadprbvariables.h"
#include "state/variables.h"

namespace {

struct Clock {
  double cpu = 0, wall = 0;
  static Clock Now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const double cpu = static_cast<double>(u.ru_utime.tv_sec) + 1e-6 * static_cast<double>(u.ru_utime.tv_usec);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return {cpu, wall};
  }
  Clock operator-(const Clock& o) const { return {cpu - o.cpu, wall - o.wall}; }
};

double PeakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void RemoveCaches() {
  if (variables.threadid == 0) {
    for (const char* suffix :
         {".FSDyadLogL", ".HSDyadLogL", ".MHSDyadLogL", ".SelfOutLogL", ".SelfSelfLogL", ".DadDyadLogL",
          ".MumDyadLogL", ".PrtDyadLogL", ".BestPrntCND"}) {
      DeleteFile(variables.fname + suffix);
    }
  }
  Barrier();
}

// Sum of the possible entries, and count of the impossible ones, of every
// table the stage fills, and the listed candidates.
void Checksum(double& sum, long& impossible, long& listed) {
  sum = 0;
  impossible = 0;
  listed = 0;
  for (int32_t k : {1, 2, 3, 6, 7}) {
    for (float x : dyadprbvariables.dyadtable(k).logl) {
      if (x <= kImpossibleDyadLogL) {
        ++impossible;
      } else {
        sum += x;
      }
    }
  }
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    for (int32_t s = 1; s <= 2; ++s) {
      for (int32_t k = 1; k <= variables.NumBestCnd(i, s); ++k) {
        listed += variables.BestCnd(s)(k, i) * (k + 7L * s) + std::lround(1e6 * variables.PrbBestCnd(s)(k, i));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: [mpirun -np N] %s <project file> [keep]\n", argv[0]);
    return 2;
  }
  const bool keep = argc > 2 && std::string(argv[2]) == "keep";
  try {
    InitializeThreads(&argc, &argv);
    variables.inputfilename = argv[1];
    variables.displayq = 0;
    ReadData();
    Initialize();
    DataProcess();
    variables.displayq = 0;
    if (!keep) RemoveCaches();
    const double before = PeakMegabytes();

    // The whole set-up, caches removed.
    Barrier();
    const Clock s0 = Clock::Now();
    InitialFsProb(1, 1, variables.numloci);
    Barrier();
    const Clock setup = Clock::Now() - s0;
    const double peak = PeakMegabytes();

    // The stage by itself: offspring tables, then candidate tables and lists.
    if (!keep) RemoveCaches();
    const Clock t0 = Clock::Now();
    if (variables.fulllikelihoodmethodq == 1 && variables.smplsize >= 2) CalculatePairProb(keep);
    Barrier();
    const Clock t1 = Clock::Now();
    if (variables.numchild(1) > 0 || variables.numchild(2) > 0) SetGetBestCnd();
    Barrier();
    const Clock t2 = Clock::Now();
    const Clock sib = t1 - t0, parent = t2 - t1;
    const double peakAfter = PeakMegabytes();

    std::vector<double> mine = {setup.cpu, setup.wall, sib.cpu, sib.wall, parent.cpu, parent.wall, before, peak,
                                peakAfter};
    std::vector<double> all(mine.size() * static_cast<std::size_t>(variables.numthreads));
    if (variables.numthreads > 1) {
      MPI_Gather(mine.data(), static_cast<int>(mine.size()), MPI_DOUBLE, all.data(), static_cast<int>(mine.size()),
                 MPI_DOUBLE, 0, MPI_COMM_WORLD);
    } else {
      all = mine;
    }
    if (variables.threadid == 0) {
      double sum = 0;
      long impossible = 0, listed = 0;
      Checksum(sum, impossible, listed);
      std::printf("%d offspring, %d + %d candidates, %d loci, %d process(es)\n", variables.smplsize,
                  variables.numchild(1), variables.numchild(2), variables.numloci, variables.numthreads);
      std::printf("rank  set-up cpu/wall s  sib tables cpu/wall s  candidate tables+lists cpu/wall s  "
                  "peak MB (data, set-up, after)\n");
      for (int32_t r = 0; r < variables.numthreads; ++r) {
        const double* x = &all[static_cast<std::size_t>(r) * mine.size()];
        std::printf("%4d  %8.2f %8.2f  %10.2f %10.2f  %16.2f %16.2f  %8.1f %8.1f %8.1f\n", r, x[0], x[1], x[2], x[3],
                    x[4], x[5], x[6], x[7], x[8]);
      }
      std::printf("checksum: sum %.6e, impossible %ld, lists %ld\n", sum, impossible, listed);
    }
    FinalizeThreads();
  } catch (const ErrorStop& stop) {
    FinalizeThreads();
    return ExitStatusForCode(stop.code);
  }
  return 0;
}
