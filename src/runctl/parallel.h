// Processes: start-up, division of work into contiguous blocks, the
// collective operations the driver needs, and the merge of per-process files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/arrays.h"

// Starts MPI and records this process's rank and the number of processes.
void InitializeThreads(int* argc, char*** argv);

// Divides n items among the processes; this process gets range(1)..range(2)
// (empty when range(1) > range(2)). The first n mod numthreads processes take
// one item more.
void SetThreadTask(int32_t n, Arr1<int32_t, 2>& range);

// Same division for an explicit rank and process count.
void SetThreadTaskFor(int32_t n, int32_t rank, int32_t nprocs, int32_t& first, int32_t& last);

// True between MPI start and end. Tests run without MPI.
bool MpiActive();

// True with several processes under MPI: collective operations are needed.
bool Distributed();

// Whether ok holds on every process (a logical and over the processes):
// a file is read only when every process can read its copy, or all
// processes compute its content together.
bool AllProcesses(bool ok);

// Barrier on the world communicator, made only with several processes.
void Barrier();

// Work shared item by item: item j (0-based) of a list that every process
// holds alike belongs to process j mod numthreads.
bool OwnItem(int64_t j);

// Completes a table of results that each process filled for its own items
// and left 0 elsewhere: afterwards every process holds every entry. The sum
// leaves each entry exactly as its owner wrote it. Nothing is exchanged
// with one process.
void ShareItems(std::vector<double>& table);

// Gathers to process 0 a table of n items of `width` values each, item k
// at [(k - 1) * width], that every process filled for its own block of
// items (SetThreadTask(n)): afterwards process 0 holds every block. Nothing
// is exchanged with one process.
void GatherBlocks(std::vector<double>& table, int32_t n, int32_t width);

// Ends MPI if it was started.
void FinalizeThreads();

// Number of suffixes of the merged per-process result files.
inline constexpr int kNumMergeSuffixes = 9;
// Suffix k (0-based) of the merged result files.
const std::string& MergeSuffix(int k);

// Merges the per-process parts of the result files first..last.
void MergeFile(int first, int last);
