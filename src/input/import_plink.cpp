// PLINK 1 binary genotype source of the import program: individuals from
// the .fam file, sites from the .bim file, and the SNP-major .bed matrix,
// whose size is checked against both before a byte of it is decoded.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "input/import_sources.h"

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> fields;
  std::string f;
  while (in >> f) fields.push_back(f);
  return fields;
}

// The whitespace-separated lines of a text file, each with at least
// `minfields` fields (blank lines are not allowed: every line is an
// individual or a site).
std::vector<std::vector<std::string>> ReadTable(const std::string& path, std::size_t minfields, const char* what) {
  std::ifstream in(path);
  if (!in) throw ImportError(path + ": cannot be opened");
  std::vector<std::vector<std::string>> rows;
  std::string line;
  long lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    std::vector<std::string> fields = Fields(line);
    if (fields.size() < minfields) {
      throw ImportError(path + ":" + std::to_string(lineno) + ": a " + what + " line needs " +
                        std::to_string(minfields) + " fields, this one has " + std::to_string(fields.size()));
    }
    rows.push_back(std::move(fields));
  }
  if (in.bad()) throw ImportError(path + ": read error");
  return rows;
}

class PlinkSource : public GenotypeSource {
 public:
  explicit PlinkSource(const std::string& prefix)
      : bed_(prefix + ".bed"), bim_(prefix + ".bim"), fam_(prefix + ".fam") {
    description_ = prefix + ".bed/.bim/.fam";
    for (auto& row : ReadTable(fam_, 6, "family")) ids_.push_back(std::move(row[1]));
    if (ids_.empty()) throw ImportError(fam_ + ": lists no individuals");
    sites_ = ReadTable(bim_, 6, "variant");
    if (sites_.empty()) throw ImportError(bim_ + ": lists no sites");

    stream_.open(bed_, std::ios::binary);
    struct stat st {};
    if (!stream_ || ::stat(bed_.c_str(), &st) != 0) throw ImportError(bed_ + ": cannot be opened");
    unsigned char magic[3] = {0, 0, 0};
    stream_.read(reinterpret_cast<char*>(magic), 3);
    if (stream_.gcount() != 3 || magic[0] != 0x6c || magic[1] != 0x1b) {
      throw ImportError(bed_ + ": is not a PLINK 1 binary genotype file (its first bytes are not 6c 1b)");
    }
    if (magic[2] != 0x01) {
      throw ImportError(bed_ + ": is in individual-major order; only SNP-major files (written by PLINK 1.9 "
                               "and later by default) can be imported");
    }
    blocksize_ = (ids_.size() + 3) / 4;
    const std::uintmax_t expected = 3 + static_cast<std::uintmax_t>(blocksize_) * sites_.size();
    const auto actual = static_cast<std::uintmax_t>(st.st_size);
    if (actual != expected) {
      throw ImportError(bed_ + ": has " + std::to_string(actual) + " bytes where " + std::to_string(sites_.size()) +
                        " sites of " + std::to_string(ids_.size()) + " individuals take " + std::to_string(expected) +
                        (actual < expected ? " (truncated?)" : "") + "; the .bed, .bim and .fam files do not belong together");
    }
    block_.resize(blocksize_);
  }

  std::vector<std::string> Paths() const override { return {bed_, bim_, fam_}; }

  bool NextSite(ImportSite& site) override {
    if (next_ >= sites_.size()) return false;
    const std::vector<std::string>& row = sites_[next_++];
    site.name = row[1] != "." ? row[1] : row[0] + ":" + row[3];
    site.nalleles = 2;
    stream_.read(reinterpret_cast<char*>(block_.data()), static_cast<std::streamsize>(blocksize_));
    if (static_cast<std::size_t>(stream_.gcount()) != blocksize_) {
      throw ImportError(bed_ + ": ends within site " + std::to_string(next_) + " (truncated)");
    }
    const std::size_t n = ids_.size();
    site.calls.assign(2 * n, 0);
    for (std::size_t i = 0; i < n; ++i) {
      // Two bits per individual, the first individual in the low bits:
      // 00 homozygous first allele, 01 missing, 10 heterozygous, 11
      // homozygous second allele.
      const unsigned code = (block_[i / 4] >> (2 * (i % 4))) & 3u;
      int32_t a = 0, b = 0;
      if (code == 0) a = b = 1;
      if (code == 2) a = 1, b = 2;
      if (code == 3) a = b = 2;
      site.calls[2 * i] = a;
      site.calls[2 * i + 1] = b;
    }
    return true;
  }

 private:
  std::string bed_, bim_, fam_;
  std::vector<std::vector<std::string>> sites_;
  std::ifstream stream_;
  std::size_t blocksize_ = 0;
  std::vector<unsigned char> block_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<GenotypeSource> OpenPlinkSource(const std::string& prefix) {
  return std::make_unique<PlinkSource>(prefix);
}
