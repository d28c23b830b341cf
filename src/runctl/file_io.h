// File helpers: existence tests, deletion, and result files that are
// written whole or not at all.
#pragma once

#include <fstream>
#include <string>

bool FileExists(const std::string& name);
// Deletes a file; a missing file is not an error, and the project file is
// never deleted.
void DeleteFile(const std::string& name);

// Whether the two names are one file (the same device and inode: links and
// different paths to one file included). False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// Whether writing or deleting `name` would destroy the project file.
bool IsProjectFile(const std::string& name);

// Stops, naming both, when `name` is the project file; every writer calls
// it before it creates or replaces a file.
void GuardWrite(const std::string& name);

// A text file written under a temporary name and renamed over its final
// name by Commit(), so readers never see it half-written. Without Commit()
// (a stop in between) the temporary file is removed and an older file of the
// final name is left as it was. A failed write stops the program naming the
// file.
class AtomicTextFile {
 public:
  explicit AtomicTextFile(std::string name);
  ~AtomicTextFile();
  AtomicTextFile(const AtomicTextFile&) = delete;
  AtomicTextFile& operator=(const AtomicTextFile&) = delete;

  std::ofstream& out() { return out_; }
  template <class T>
  AtomicTextFile& operator<<(const T& x) {
    out_ << x;
    return *this;
  }
  void Commit();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string temp_;
  std::ofstream out_;
  bool committed_ = false;
};
