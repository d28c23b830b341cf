// Per-run copies of the run archive and the choice of the best run. The run
// archive file (checkpoint 3) holds, per configuration, its log likelihood
// and its integer vectors; a ".Run" copy holds the same, one vector a line.
#include "driver/run_archive.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "input/free_format.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "state/variables.h"

std::string RunArchiveName(int32_t krun) {
  return variables.midfilename(2) + ".Run" + std::to_string(krun);
}

int RunArchiveSections() {
  return (variables.allmonogamy != 0 && variables.numsex == 2) ? 1 : 3;
}

namespace {
int VectorsPerConfig() {
  int n = RunArchiveSections();
  for (int sex = 1; sex <= 2; ++sex) {
    if (variables.numchild(sex) >= 1) ++n;
  }
  return n;
}
// Whether every number of a configuration can belong to this sample:
// family numbers within 1..the largest family number of their side (twice
// the offspring number when both sides number one pool of parents),
// clusters within 1..the offspring number, candidates 0..their number. A
// copy out of range would index past the configuration tables.
bool InRange(const RunArchiveConfig& config) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const int32_t families = v.numsex == 1 ? 2 * n : n;
  const int sections = RunArchiveSections();
  if (!std::isfinite(config.logl)) return false;
  std::size_t next = 0;
  for (int c = 1; c <= sections; ++c) {
    const int32_t limit = sections == 3 && c == 3 ? n : families;
    for (int32_t x : config.vectors[next]) {
      if (x < 1 || x > limit) return false;
    }
    ++next;
  }
  for (int sex = 1; sex <= 2; ++sex) {
    if (v.numchild(sex) < 1) continue;
    for (int32_t x : config.vectors[next]) {
      if (x < 0 || x > v.numchild(sex)) return false;
    }
    ++next;
  }
  return true;
}

}  // namespace

std::vector<RunArchiveConfig> ReadRunArchive(const std::string& name) {
  std::vector<RunArchiveConfig> configs;
  FreeFormatFile file;
  if (!file.Open(name)) return configs;
  const int nvectors = VectorsPerConfig();
  const std::size_t n = static_cast<std::size_t>(std::max(variables.smplsize, 0));
  std::vector<std::string> items;
  while (true) {
    RunArchiveConfig config;
    if (!file.ReadItems(1, items)) break;
    const auto logl = ParseReal(items[0]);
    if (!logl) break;
    config.logl = *logl;
    bool whole = true;
    for (int v = 0; v < nvectors && whole; ++v) {
      if (!file.ReadItems(n, items)) {
        whole = false;
        break;
      }
      std::vector<int32_t> vec(n);
      for (std::size_t i = 0; i < n && whole; ++i) {
        const auto x = ParseInteger(items[i], 10);
        if (!x) whole = false;
        else vec[i] = *x;
      }
      config.vectors.push_back(std::move(vec));
    }
    if (!whole || !InRange(config)) break;
    configs.push_back(std::move(config));
  }
  return configs;
}

void WriteRunArchive(const std::string& name, const std::vector<RunArchiveConfig>& configs) {
  AtomicTextFile out(name);
  char buf[64];
  for (const auto& config : configs) {
    std::snprintf(buf, sizeof buf, "%30.20E", config.logl);
    out << buf << '\n';
    for (const auto& vec : config.vectors) {
      std::string line;
      line.reserve(vec.size() * 6);
      for (int32_t x : vec) {
        line += std::to_string(x);
        line += ',';
      }
      out << line << '\n';
    }
  }
  out.Commit();
}

void SaveArchive(int32_t krun) {
  const std::string source = variables.midfilename(2);
  if (!FileExists(source)) return;
  WriteRunArchive(RunArchiveName(krun), ReadRunArchive(source));
}

void SelectRun(int32_t& stopflag) {
  if (variables.numrun < 2 || stopflag < 0) return;
  // A run whose copy is missing, empty or unreadable counts as the worst
  // possible run; the scan goes on to the later runs.
  int32_t bestrun = 0;
  double best = -1e300;
  // A copy is judged by its first configuration, the best of its run, and
  // only when that configuration is whole and fits the sample: a damaged
  // copy must neither win nor be restored.
  std::vector<RunArchiveConfig> configs;
  for (int32_t r = 1; r <= variables.numrun; ++r) {
    std::vector<RunArchiveConfig> run = ReadRunArchive(RunArchiveName(r));
    if (run.empty()) {
      std::error_code ec;
      const auto size = std::filesystem::file_size(RunArchiveName(r), ec);
      if (!ec && size > 0 && variables.threadid == 0 && variables.displayq != 0) {
        std::cout << "The archive copy " << RunArchiveName(r) << " of run " << r
                  << " is damaged; the run is not taken." << std::endl;
      }
      continue;
    }
    if (run.front().logl > best) {
      best = run.front().logl;
      bestrun = r;
      configs = std::move(run);
    }
  }
  if (bestrun == 0 || bestrun == variables.numrun) return;
  ArchiveRestoreFromRun(configs);
  if (variables.threadid == 0) WriteRunArchive(variables.midfilename(2), configs);
}
