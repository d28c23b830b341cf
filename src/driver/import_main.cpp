// Entry of pedkin-import: turns a VCF/BCF file or a PLINK 1 binary fileset
// and a roles file into a project file that pedkin runs as it is.
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>

#include "input/import_project.h"

namespace {

const char* const kUsage =
    "Usage: pedkin-import --vcf FILE.vcf[.gz] | --bcf FILE.bcf | --bfile PREFIX\n"
    "                     --roles ROLES.csv --out NAME\n"
    "                     [--error-rate E] [--min-maf M] [--max-missing X] [--method 0|1|2]\n"
    "\n"
    "Writes the project file NAME.dat, to be run with: pedkin IFN:NAME.dat\n"
    "  --vcf, --bcf    VCF (plain or compressed) or BCF file with diploid GT calls\n"
    "  --bfile         PLINK 1 binary fileset PREFIX.bed (SNP-major), PREFIX.bim, PREFIX.fam\n"
    "  --roles         CSV file: the header ID,role, then one line per individual to keep,\n"
    "                  its role offspring, father or mother (individuals not listed are left out)\n"
    "  --out           NAME of the project: the file NAME.dat; the results are named after the\n"
    "                  last part of NAME\n"
    "  --error-rate    allelic-dropout and other-error rate of every locus (default 0.01)\n"
    "  --min-maf       sites whose alleles other than the commonest make up less than M of the\n"
    "                  kept individuals' allele copies are dropped (default 0.01)\n"
    "  --max-missing   sites without a call in more than X of the kept individuals are dropped\n"
    "                  (default 0.5); monomorphic sites are always dropped\n"
    "  --method        analysis method: 0 pairwise score, 1 full likelihood (default),\n"
    "                  2 pairwise-score-guided full likelihood\n"
    "Alleles are numbered 1 = REF, 2 = first ALT, ... (VCF/BCF) and 1 = first, 2 = second allele of\n"
    "the .bim line (PLINK). Individuals are written offspring first, then fathers, then mothers, each\n"
    "in the genotype file's order. The other run parameters take the defaults written in NAME.dat\n"
    "(one run of short length, seed 1, dioecious diploid species, no prior); edit it to change them.\n";

double RealOption(const std::string& name, const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0') throw ImportError(name + " needs a number, not \"" + text + "\"");
  return v;
}

ImportOptions ParseArguments(int argc, char** argv) {
  ImportOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      std::exit(0);
    }
    if (i + 1 >= argc) throw ImportError("unknown option or missing value: " + arg);
    const std::string value = argv[++i];
    auto input = [&](ImportOptions::Kind kind) {
      if (o.kind != ImportOptions::Kind::kNone) throw ImportError("give only one of --vcf, --bcf and --bfile");
      o.kind = kind;
      o.input = value;
    };
    if (arg == "--vcf") {
      input(ImportOptions::Kind::kVcf);
    } else if (arg == "--bcf") {
      input(ImportOptions::Kind::kBcf);
    } else if (arg == "--bfile") {
      input(ImportOptions::Kind::kPlink);
    } else if (arg == "--roles") {
      o.roles = value;
    } else if (arg == "--out") {
      o.out = value;
    } else if (arg == "--error-rate") {
      o.errorrate = RealOption(arg, value);
    } else if (arg == "--min-maf") {
      o.minmaf = RealOption(arg, value);
    } else if (arg == "--max-missing") {
      o.maxmissing = RealOption(arg, value);
    } else if (arg == "--method") {
      if (value != "0" && value != "1" && value != "2") throw ImportError("--method must be 0, 1 or 2");
      o.method = value[0] - '0';
    } else {
      throw ImportError("unknown option: " + arg);
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const ImportOptions options = ParseArguments(argc, argv);
    const ImportSummary summary = RunImport(options);
    std::cout << SummaryText(options, summary) << "Project file: " << summary.projectfile
              << " (run it with: pedkin IFN:" << summary.projectfile << ")\n";
    return 0;
  } catch (const ImportError& e) {
    std::cerr << "pedkin-import: " << e.what() << '\n';
    if (argc <= 1) std::cerr << '\n' << kUsage;
  } catch (const std::bad_alloc&) {
    std::cerr << "pedkin-import: not enough memory for the genotypes\n";
  } catch (const std::exception& e) {
    std::cerr << "pedkin-import: " << e.what() << '\n';
  }
  return 1;
}
