// File helpers: existence tests, deletion, the protection of the project
// file, and whole-or-nothing text files.
#include "runctl/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runctl/error_stop.h"
#include "state/variables.h"

namespace {

// The system's reason for the last failed file operation, when it gave one.
std::string Reason() { return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string(); }

}  // namespace

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void DeleteFile(const std::string& name) {
  // Clearing away the output name's files never takes the project file.
  if (IsProjectFile(name)) return;
  std::remove(name.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsProjectFile(const std::string& name) { return SameFile(name, variables.inputfilename); }

void GuardWrite(const std::string& name) {
  if (!IsProjectFile(name)) return;
  StopWithMessage("Output file " + name + " would overwrite the project file " + variables.inputfilename +
                      "! Please choose another output name than " + variables.fname + ".",
                  "GuardWrite");
}


AtomicTextFile::AtomicTextFile(std::string name)
    : name_(std::move(name)),
      temp_(name_ + ".tmp" + std::to_string(::getpid())) {
  GuardWrite(name_);
  GuardWrite(temp_);
  errno = 0;
  out_.open(temp_, std::ios::out | std::ios::trunc);
  if (!out_) StopWithMessage("Failed to create file " + name_ + Reason(), "AtomicTextFile");
}

AtomicTextFile::~AtomicTextFile() {
  if (!committed_) {
    out_.close();
    std::remove(temp_.c_str());
  }
}

void AtomicTextFile::Commit() {
  errno = 0;
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail() || std::rename(temp_.c_str(), name_.c_str()) != 0) {
    const std::string reason = Reason();
    std::remove(temp_.c_str());
    committed_ = true;
    StopWithMessage("Failed to write file " + name_ + reason, "AtomicTextFile");
  }
  committed_ = true;
}
