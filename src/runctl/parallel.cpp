// Processes: MPI start and end, block division of work, barriers and the
// merge of per-process result files.
#include "runctl/parallel.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iostream>

#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "state/variables.h"

void InitializeThreads(int* argc, char*** argv) {
  variables.threadid = 0;
  variables.numthreads = 1;
  for (auto& line : variables.errmsg) line.clear();
  variables.fname.clear();
  int initialized = 0;
  MPI_Initialized(&initialized);
  if (!initialized && MPI_Init(argc, argv) != MPI_SUCCESS) {
    StopWithMessage("Error starting MPI program. Terminating.", "InitializeThreads");
  }
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  variables.threadid = rank;
  variables.numthreads = size;
}

void FinalizeThreads() {
  if (MpiActive()) MPI_Finalize();
}

void SetThreadTaskFor(int32_t n, int32_t rank, int32_t nprocs, int32_t& first, int32_t& last) {
  if (n < 1 || nprocs < 1) {
    first = 1;
    last = 0;
    return;
  }
  const int32_t q = n / nprocs;
  const int32_t r = n % nprocs;
  if (r == 0) {
    first = rank * q + 1;
    last = rank * q + q;
  } else if (rank < r) {
    first = rank * (q + 1) + 1;
    last = rank * (q + 1) + q + 1;
  } else {
    const int32_t s = (q + 1) * r + (rank - r) * q;
    first = s + 1;
    last = s + q;
  }
}

void SetThreadTask(int32_t n, Arr1<int32_t, 2>& range) {
  SetThreadTaskFor(n, variables.threadid, variables.numthreads, range(1), range(2));
}

bool MpiActive() {
  int initialized = 0, finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  return initialized && !finalized;
}

bool Distributed() { return variables.numthreads > 1 && MpiActive(); }

bool AllProcesses(bool ok) {
  if (!Distributed()) return ok;
  int local = ok ? 1 : 0, all = 0;
  MPI_Allreduce(&local, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  return all == 1;
}

bool OwnItem(int64_t j) {
  return variables.numthreads <= 1 || j % variables.numthreads == variables.threadid;
}

void ShareItems(std::vector<double>& table) {
  if (variables.numthreads <= 1 || !MpiActive() || table.empty()) return;
  MPI_Allreduce(MPI_IN_PLACE, table.data(), static_cast<int>(table.size()), MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
}

void GatherBlocks(std::vector<double>& table, int32_t n, int32_t width) {
  if (variables.numthreads <= 1 || !MpiActive() || n < 1 || width < 1) return;
  const int32_t np = variables.numthreads;
  std::vector<int> counts(static_cast<std::size_t>(np)), displs(static_cast<std::size_t>(np));
  for (int32_t p = 0; p < np; ++p) {
    int32_t first = 1, last = 0;
    SetThreadTaskFor(n, p, np, first, last);
    counts[static_cast<std::size_t>(p)] = std::max(0, last - first + 1) * width;
    displs[static_cast<std::size_t>(p)] = (first - 1) * width;
  }
  table.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(width), 0.0);
  const std::size_t me = static_cast<std::size_t>(variables.threadid);
  if (variables.threadid == 0) {
    MPI_Gatherv(MPI_IN_PLACE, counts[0], MPI_DOUBLE, table.data(), counts.data(), displs.data(), MPI_DOUBLE, 0,
                MPI_COMM_WORLD);
  } else {
    MPI_Gatherv(table.data() + displs[me], counts[me], MPI_DOUBLE, nullptr, nullptr, nullptr, MPI_DOUBLE, 0,
                MPI_COMM_WORLD);
  }
}

void Barrier() {
  if (variables.numthreads > 1 && MpiActive()) MPI_Barrier(MPI_COMM_WORLD);
}

const std::string& MergeSuffix(int k) {
  static const std::array<std::string, kNumMergeSuffixes> suffixes = {
      ".OffGenotype",         ".DadGenotype",         ".MumGenotype",
      ".AlleleFreq",          ".PairwiseFullSibDyad", ".PairwiseHalfSibDyad",
      ".PairwiseCloneDyad",   ".PairwisePaternity",   ".PairwiseMaternity"};
  return suffixes.at(static_cast<std::size_t>(k));
}

namespace {
// Merges the parts of the files first..last into their final names.
void MergeParts(int first, int last) {
  for (int k = first; k <= last; ++k) {
    const std::string name = variables.fname + MergeSuffix(k);
    bool anypart = false;
    for (int p = 0; p < variables.numthreads && !anypart; ++p) {
      anypart = FileExists(name + std::to_string(p));
    }
    // No process wrote a part: leave no empty file that would look like a
    // result.
    if (!anypart) continue;
    if (variables.displayq != 0) std::cout << "Merging files for " << name << '\n';
    AtomicTextFile merged(name);
    for (int p = 0; p < variables.numthreads; ++p) {
      std::ifstream in(name + std::to_string(p));
      std::string line;
      while (in && std::getline(in, line)) merged << TrimRight(line, " \r") << '\n';
    }
    merged.Commit();
    // The parts go only once the merged file is safely in place.
    for (int p = 0; p < variables.numthreads; ++p) DeleteFile(name + std::to_string(p));
  }
}

}  // namespace

void MergeFile(int first, int last) {
  Barrier();
  if (variables.threadid == (last - first + 1) % variables.numthreads) MergeParts(first, last);
  // What follows may record the stage as done (the pairwise stage's
  // checkpoint): not before the merged files are in place, or a run killed
  // in between would come back without them.
  Barrier();
}

