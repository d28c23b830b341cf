// Genotype sources of the import program: VCF/BCF files read through
// htslib and PLINK 1 binary filesets read directly, both handed out one
// site at a time in one common form.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Every failure of the import program: bad options, unreadable or damaged
// inputs, a roles file that does not fit the genotypes. The message names
// the file (and the line or site) it is about.
struct ImportError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One site as read: a name for it, its number of alleles, and two allele
// numbers per sample in the source's sample order. Alleles are numbered
// from 1 in the source's own order (VCF: 1 = REF, 2 = first ALT, ...;
// PLINK: 1 = first allele of the .bim line, 2 = second); 0 is missing, and
// a call with either allele missing is missing as a whole.
struct ImportSite {
  std::string name;
  int32_t nalleles = 0;
  std::vector<int32_t> calls;
};

class GenotypeSource {
 public:
  virtual ~GenotypeSource() = default;
  // Sample identifiers in file order (VCF header columns, PLINK .fam IIDs).
  const std::vector<std::string>& SampleIds() const { return ids_; }
  // Only these samples' calls are read (and checked): an odd sample that
  // the user leaves out does not stop the import. All are read by default.
  void KeepSamples(std::vector<bool> keep) { keep_ = std::move(keep); }
  // Reads the next site into `site`; false after the last one. A damaged
  // file throws ImportError rather than ending early. The calls of samples
  // not kept are left missing.
  virtual bool NextSite(ImportSite& site) = 0;
  // The file(s) read, for messages.
  const std::string& Description() const { return description_; }
  virtual std::vector<std::string> Paths() const = 0;

 protected:
  bool Kept(std::size_t i) const { return keep_.empty() || keep_[i]; }

  std::vector<std::string> ids_;
  std::string description_;
  std::vector<bool> keep_;
};

// A VCF (plain, gzip or bgzip compressed) or BCF file; htslib tells which
// from the content, so either option reads either kind.
std::unique_ptr<GenotypeSource> OpenVcfSource(const std::string& path);

// The PLINK 1 binary fileset prefix.bed, prefix.bim, prefix.fam.
std::unique_ptr<GenotypeSource> OpenPlinkSource(const std::string& prefix);
