// The files a run writes under its output name: the guard that none of
// them is the project file, the lock of the output name, and the removal of
// result files that a failed run must not leave behind.
#include "runctl/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "state/variables.h"

namespace {

// Copies of the run archive kept per run are checked up to this run
// number: the names are checked before the number of runs is read.
constexpr int32_t kRunCopiesChecked = 100;

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "?";
  return host;
}

// Every name a run of the output name may write, but for temporary names.
std::vector<std::string> WrittenFileNames() {
  const Variables& v = variables;
  const std::string& f = v.fname;
  std::vector<std::string> names = {kErrorMessageFile, f + ".data", f + ".GtypeData", LockFileName()};
  for (const std::string& s : ResultSuffixes()) names.push_back(f + s);
  for (const std::string& s : IntermediateSuffixes()) names.push_back(f + s);
  for (char d = '2'; d <= '6'; ++d) names.push_back(f + ".MidResult" + d);
  for (int32_t r = 1; r <= kRunCopiesChecked; ++r) {
    names.push_back(f + ".MidResult3.Run" + std::to_string(r));
  }
  for (int k = 0; k < kNumMergeSuffixes; ++k) {
    for (int32_t p = 0; p < std::max(v.numthreads, 1); ++p) names.push_back(f + MergeSuffix(k) + std::to_string(p));
  }
  return names;
}

// The process id and host written in a lock file; false when unreadable.
bool ReadLock(const std::string& name, long& pid, std::string& host) {
  std::ifstream in(name);
  return static_cast<bool>(in >> pid >> host) && pid > 0;
}

// Whether the process has ended but is not yet reaped: a killed process
// whose parent (mpirun) went before it stays so until someone reaps it.
bool Zombie(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  const std::size_t end = stat.rfind(')');
  return end != std::string::npos && end + 2 < stat.size() && (stat[end + 2] == 'Z' || stat[end + 2] == 'X');
}

// Whether a lock records a process that is gone (or is this process,
// which holds no lock yet: an earlier run under a reused process id).
bool StaleLock(long pid, const std::string& host) {
  if (host != HostName()) return false;
  if (pid == static_cast<long>(::getpid())) return true;
  if (::kill(static_cast<pid_t>(pid), 0) != 0) return errno == ESRCH;
  return Zombie(pid);
}

// Creates the lock file with its content in one step: a file written
// beside it and linked to the lock's name, which fails when the lock
// exists. Returns errno of the failure, 0 on success.
int CreateLock(const std::string& name) {
  const std::string temp = name + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << ::getpid() << ' ' << HostName() << '\n';
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return EIO;
    }
  }
  int err = ::link(temp.c_str(), name.c_str()) == 0 ? 0 : errno;
  if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP) {
    // No hard links on this file system: an exclusive rename-free create.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    err = fd >= 0 ? 0 : errno;
    if (fd >= 0) {
      const std::string text = std::to_string(::getpid()) + ' ' + HostName() + '\n';
      err = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : EIO;
      ::close(fd);
    }
  }
  std::remove(temp.c_str());
  return err;
}

// Removes the temporary files that processes killed while they wrote a
// file of this output name left beside it: a file name + ".tmp", with or
// without the writer's process id. Only the holder of the lock calls it, so
// no other run is writing them. A temporary of the lock itself may be
// another process's that tries to take the lock this very moment: it is
// removed only when the process it names is gone.
void RemoveLeftTemporaries() {
  std::set<std::string> written;
  for (const std::string& name : WrittenFileNames()) {
    if (name != LockFileName()) written.insert(std::filesystem::path(name).filename().string());
  }
  const std::string lock = std::filesystem::path(LockFileName()).filename().string();
  std::filesystem::path folder = std::filesystem::path(variables.fname).parent_path();
  if (folder.empty()) folder = ".";
  std::vector<std::filesystem::path> left;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string::npos || name.find_first_not_of("0123456789", tmp + 4) != std::string::npos) continue;
    if (written.count(name.substr(0, tmp)) != 0) left.push_back(it->path());
    long pid = 0;
    std::string host;
    if (name.substr(0, tmp) == lock && ReadLock(it->path().string(), pid, host) && StaleLock(pid, host)) {
      left.push_back(it->path());
    }
  }
  for (const std::filesystem::path& path : left) DeleteFile(path.string());
}

}  // namespace

const std::vector<std::string>& ResultSuffixes() {
  static const std::vector<std::string> suffixes = {
      ".BestConfig", ".BestConfig_Ordered", ".BestCluster", ".BestFSFamily", ".BestClone",
      ".ConfigArchive", ".ParentPair", ".Distribution", ".Selfer", ".FullSibDyad", ".HalfSibDyad",
      ".FSDyadUF", ".HSDyadUF", ".Paternity", ".Maternity", ".Inbreeding", ".AlleleFreq", ".ErrorRate",
      ".Ne", ".OffGenotype", ".DadGenotype", ".MumGenotype", ".PairwiseFullSibDyad",
      ".PairwiseHalfSibDyad", ".PairwiseCloneDyad", ".PairwisePaternity", ".PairwiseMaternity", ".Pedigree.csv"};
  return suffixes;
}

const std::vector<std::string>& IntermediateSuffixes() {
  static const std::vector<std::string> suffixes = {
      ".FSDyadLogL", ".HSDyadLogL", ".DadDyadLogL", ".MumDyadLogL", ".BestPrntCND", ".PairCluster",
      ".MHSDyadLogL", ".InbAlleleFr", ".SelfOutLogL", ".SelfSelfLogL", ".PrtDyadLogL", ".MidResult"};
  return suffixes;
}

void CheckOutputNameAgainstProject() {
  for (const std::string& name : WrittenFileNames()) GuardWrite(name);
}

std::string LockFileName() { return variables.fname + ".Lock"; }

void ClaimOutputName() {
  const std::string name = LockFileName();
  if (variables.threadid == 0) {
    // Two attempts: the second follows the removal of a stale lock.
    for (int attempt = 0;; ++attempt) {
      const int err = CreateLock(name);
      if (err == 0) {
        RemoveLeftTemporaries();
        break;
      }
      long pid = 0;
      std::string host;
      const bool readable = err == EEXIST && ReadLock(name, pid, host);
      if (err == EEXIST && attempt == 0 && (!readable || StaleLock(pid, host))) {
        // A lock without content was left by a process killed while it
        // wrote it; one with a process that is gone, by a killed run.
        DeleteFile(name);
        continue;
      }
      if (err != EEXIST || !readable) {
        StopWithMessage("Cannot create the lock file " + name + " of output name " + variables.fname + ": " +
                            std::strerror(err == EEXIST ? EIO : err),
                        "ClaimOutputName");
      }
      StopWithMessage("Output name " + variables.fname + " is in use by another run (process " +
                          std::to_string(pid) + " on " + host + ", lock file " + name +
                          "). Wait until it ends, or delete " + name + " if no run is using it.",
                      "ClaimOutputName");
    }
  }
  variables.outputlock = name;
}

void ReleaseOutputName() {
  if (variables.outputlock.empty()) return;
  long pid = 0;
  std::string host;
  // Only the process that took the lock removes it.
  if (ReadLock(variables.outputlock, pid, host) && pid == static_cast<long>(::getpid()) && host == HostName()) {
    DeleteFile(variables.outputlock);
  }
  variables.outputlock.clear();
}

void RemoveResultFiles() {
  const Variables& v = variables;
  for (const std::string& s : ResultSuffixes()) DeleteFile(v.fname + s);
  for (int k = 0; k < kNumMergeSuffixes; ++k) {
    for (int32_t p = 0; p < std::max(v.numthreads, 1); ++p) DeleteFile(v.fname + MergeSuffix(k) + std::to_string(p));
  }
}

void CleanUpAfterStop() {
  if (variables.outputlock.empty()) return;
  if (variables.resumedrun == 0 || variables.writingresults != 0) RemoveResultFiles();
  ReleaseOutputName();
}
