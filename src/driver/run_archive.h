// Per-run copies of the run archive (".Run" files) and the choice of the
// best run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/archive.h"

// Name of the copy of run krun: the run archive file + ".Run" + krun.
std::string RunArchiveName(int32_t krun);

// Number of family-column vectors per archived configuration.
int RunArchiveSections();

// Reads a text run archive; stops at the end of the file or at the first
// configuration that cannot be read whole or holds a number out of range
// for this sample.
std::vector<RunArchiveConfig> ReadRunArchive(const std::string& name);

// Writes configurations in the ".Run" layout (whole file or nothing).
void WriteRunArchive(const std::string& name, const std::vector<RunArchiveConfig>& configs);

// Copies the current run's archive file to its ".Run" copy.
void SaveArchive(int32_t krun);

// Chooses the best run and restores its archive.
void SelectRun(int32_t& stopflag);
