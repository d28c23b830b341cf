// Recognition of an unchanged earlier execution, and the clearing of an
// earlier execution's files.
//
// The saved copy identifies the input by the leading run parameters and by
// two independent 64-bit hashes of the whole project file (and the seed
// given on the command line), so that any edit of the file, however small,
// starts the analysis afresh instead of reusing checkpoints computed from
// other data.
#include "input/resume.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/output_files.h"
#include "runctl/parallel.h"
#include "state/variables.h"

namespace {

struct InputIdentity {
  int32_t head[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  uint64_t size = 0;
  uint64_t hash1 = 0;
  uint64_t hash2 = 0;
  int32_t newseed = 0;

  bool operator==(const InputIdentity& o) const {
    for (int k = 0; k < 8; ++k) {
      if (head[k] != o.head[k]) return false;
    }
    return size == o.size && hash1 == o.hash1 && hash2 == o.hash2 && newseed == o.newseed;
  }
};

InputIdentity CurrentIdentity() {
  const Variables& v = variables;
  InputIdentity id;
  const int32_t head[8] = {v.smplsize, v.numloci, v.maxmatings(1), v.maxmatings(2),
                           v.numsex,   v.allowinbreeding, v.haplodiploid, v.popallelefreknownq};
  for (int k = 0; k < 8; ++k) id.head[k] = head[k];
  id.newseed = v.newseed;
  // FNV-1a, and a multiply-rotate hash with another basis: two unrelated
  // hashes of the bytes.
  uint64_t h1 = 14695981039346656037ull, h2 = 0x9E3779B97F4A7C15ull;
  std::ifstream in(v.inputfilename, std::ios::binary);
  std::vector<char> buf(1 << 16);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const std::streamsize got = in.gcount();
    for (std::streamsize k = 0; k < got; ++k) {
      const uint64_t c = static_cast<unsigned char>(buf[static_cast<std::size_t>(k)]);
      h1 = (h1 ^ c) * 1099511628211ull;
      h2 = ((h2 ^ (c + 0x51ull)) * 0xBF58476D1CE4E5B9ull);
      h2 ^= h2 >> 29;
    }
    id.size += static_cast<uint64_t>(got);
  }
  id.hash1 = h1;
  id.hash2 = h2;
  return id;
}

std::string Describe(const InputIdentity& id) {
  char line[256];
  std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d\n%llu %016llx %016llx\n%d\n", id.head[0],
                id.head[1], id.head[2], id.head[3], id.head[4], id.head[5], id.head[6], id.head[7],
                static_cast<unsigned long long>(id.size), static_cast<unsigned long long>(id.hash1),
                static_cast<unsigned long long>(id.hash2), id.newseed);
  return line;
}

// The text of the ".data" copy.
std::string DataText(const InputIdentity& id) {
  return "Pedkin saved input identity: leading parameters, size and hashes of the project file, seed\n" +
         Describe(id);
}

}  // namespace

void OpenDeleteFile(const std::string& name) { DeleteFile(name); }

void SetStartLoc(int32_t mode, int32_t& flag) {
  const std::string dataname = variables.fname + ".data";
  const std::string gtypename = variables.fname + ".GtypeData";
  const InputIdentity current = CurrentIdentity();
  if (mode == 1) {
    flag = -1;
    if (!FileExists(dataname) || !FileExists(gtypename)) return;
    flag = 0;
    std::ifstream data(dataname, std::ios::binary);
    if (!data) StopWithMessage("Failed openning " + dataname, "SetStartLoc");
    std::ostringstream datatext;
    datatext << data.rdbuf();
    std::ifstream gtype(gtypename, std::ios::binary);
    InputIdentity saved;
    gtype.read(reinterpret_cast<char*>(&saved), sizeof saved);
    // A short or unreadable copy never matches; nor do two files of which
    // only one was replaced (a run killed between the two writes after an
    // edit of the project): both must describe the present input.
    if (gtype.gcount() == static_cast<std::streamsize>(sizeof saved) && saved == current &&
        datatext.str() == DataText(current)) {
      flag = 1;
    }
    return;
  }
  AtomicTextFile gtype(gtypename);
  gtype.out().write(reinterpret_cast<const char*>(&current), sizeof current);
  gtype.Commit();
  AtomicTextFile data(dataname);
  data << DataText(current);
  data.Commit();
}

void CheckData() {
  int32_t flag = -1;
  SetStartLoc(1, flag);
  if (flag > 0) {
    variables.resumedrun = 1;
    return;
  }
  const std::string& f = variables.fname;
  for (int k = 1; k <= 5; ++k) OpenDeleteFile(variables.midfilename(k));
  OpenDeleteFile(kErrorMessageFile);
  // Caches of the pairwise stage, the progress log, and the copies of the
  // run archives: all computed from the earlier input.
  for (const std::string& s : IntermediateSuffixes()) OpenDeleteFile(f + s);
  // The copies present are found in the folder, so that the cost does not
  // grow with the number of runs, which may be as large as 2147483647.
  const std::string runprefix = variables.midfilename(2) + ".Run";
  const std::filesystem::path prefixpath(runprefix);
  const std::string stem = prefixpath.filename().string();
  std::filesystem::path folder = prefixpath.parent_path();
  if (folder.empty()) folder = ".";
  std::vector<std::string> runcopies;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0 &&
        name.find_first_not_of("0123456789", stem.size()) == std::string::npos) {
      runcopies.push_back(runprefix + name.substr(stem.size()));
    }
  }
  for (const std::string& run : runcopies) OpenDeleteFile(run);
  // Results of an earlier execution that this one might not rewrite must not
  // be taken for its own.
  RemoveResultFiles();
  SetStartLoc(2, flag);
}
