// The files a run writes under its output name: the guard that none of
// them is the project file, the lock that keeps two runs off one output
// name, and the removal of result files that must not be taken for the
// results of this run.
#pragma once

#include <string>
#include <vector>

// Suffixes of the result files and of the intermediate files (caches and
// the progress log) that follow the output name.
const std::vector<std::string>& ResultSuffixes();
const std::vector<std::string>& IntermediateSuffixes();

// Stops, before anything is written, when any file that a run of this
// output name may write is the project file.
void CheckOutputNameAgainstProject();

// The lock file of the output name.
std::string LockFileName();

// Takes the lock of the output name (process 0), or stops when another
// running process holds it; a lock left by a process that no longer exists
// is taken over. Every process records the lock's name.
void ClaimOutputName();

// Removes the lock when this run holds it.
void ReleaseOutputName();

// Removes the result files of the output name (and the per-process parts
// of the merged ones).
void RemoveResultFiles();

// What an error stop leaves: no result files of a fresh run, none at all
// when the stop came while they were written, and no lock.
void CleanUpAfterStop();
