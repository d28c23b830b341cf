// A scratch folder of a benchmark's own: created under the system's
// temporary folder, made the working folder while the benchmark runs (so
// that any file the program writes under an empty output name lands
// there), and removed with everything in it at the end.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::error_code ec;
    std::string base = std::filesystem::temp_directory_path(ec).string();
    if (ec || base.empty()) base = "/tmp";
    std::string pattern = base + "/pedkin_bench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    previous_ = std::filesystem::current_path(ec);
    std::filesystem::current_path(path_, ec);
  }
  ~ScratchDirectory() {
    if (path_.empty()) return;
    std::error_code ec;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::filesystem::path previous_;
};
