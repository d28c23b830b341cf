// The import program's work: the roles file, the site filters, and the
// project file written from a genotype source with default run parameters.
#pragma once

#include <cstdint>
#include <string>

#include "input/import_sources.h"

struct ImportOptions {
  enum class Kind { kNone, kVcf, kBcf, kPlink };
  Kind kind = Kind::kNone;
  std::string input;  // the VCF/BCF file, or the PLINK prefix
  std::string roles;
  std::string out;  // NAME: the project file is NAME.dat
  // Both the allelic-dropout and the other-error rate of every locus.
  double errorrate = 0.01;
  // Least share of allele copies, among the kept individuals, that are not
  // of a site's commonest allele (the minor allele frequency at a
  // two-allele site).
  double minmaf = 0.01;
  // Largest share of the kept individuals that may lack a call at a site.
  double maxmissing = 0.5;
  int32_t method = 1;
};

// What the import did, for the summary.
struct ImportSummary {
  int64_t offspring = 0, fathers = 0, mothers = 0;
  int64_t samples = 0;  // individuals in the genotype file
  int64_t kept = 0;
  int64_t missing = 0, monomorphic = 0, rare = 0, manyalleles = 0;
  std::string projectfile;
  bool sitenames = true;  // false when the loci are named MK1, MK2, ...
};

// Reads the genotypes and the roles, filters the sites and writes
// options.out + ".dat" whole (under a temporary name, renamed at the end).
// Any failure throws ImportError and leaves no project file (an older one
// of the same name stays as it was).
ImportSummary RunImport(const ImportOptions& options);

// The summary as printed.
std::string SummaryText(const ImportOptions& options, const ImportSummary& summary);
