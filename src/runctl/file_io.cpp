// File helpers: existence tests, deletion and whole-or-nothing text files.
#include "runctl/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "runctl/error_stop.h"
#include "state/variables.h"

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void DeleteFile(const std::string& name) { std::remove(name.c_str()); }

AtomicTextFile::AtomicTextFile(std::string name)
    : name_(std::move(name)),
      temp_(name_ + ".tmp" + std::to_string(::getpid())) {
  out_.open(temp_, std::ios::out | std::ios::trunc);
  if (!out_) StopWithMessage("Failed to create file " + name_, "AtomicTextFile");
}

AtomicTextFile::~AtomicTextFile() {
  if (!committed_) {
    out_.close();
    std::remove(temp_.c_str());
  }
}

void AtomicTextFile::Commit() {
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail() || std::rename(temp_.c_str(), name_.c_str()) != 0) {
    std::remove(temp_.c_str());
    committed_ = true;
    StopWithMessage("Failed to write file " + name_, "AtomicTextFile");
  }
  committed_ = true;
}
