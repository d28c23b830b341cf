// Per-run copies of the run archive and the choice of the best run. The run
// archive file (checkpoint 3) holds, per configuration, its log likelihood
// and its integer vectors; a ".Run" copy holds the same, one vector a line.
#include "driver/run_archive.h"

#include <cstdio>

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
    if (!whole) break;
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
  for (int32_t r = 1; r <= variables.numrun; ++r) {
    FreeFormatFile file;
    std::vector<std::string> items;
    if (!file.Open(RunArchiveName(r)) || !file.ReadItems(1, items)) continue;
    const auto logl = ParseReal(items[0]);
    if (!logl) continue;
    if (*logl > best) {
      best = *logl;
      bestrun = r;
    }
  }
  if (bestrun == 0 || bestrun == variables.numrun) return;
  const std::vector<RunArchiveConfig> configs = ReadRunArchive(RunArchiveName(bestrun));
  if (configs.empty()) return;
  ArchiveRestoreFromRun(configs);
  if (variables.threadid == 0) WriteRunArchive(variables.midfilename(2), configs);
}
