// Peak memory and time of reading and preparing a project: generates a
// project file of the requested size (offspring, loci, alleles per locus;
// 2 alleles = SNPs), then reads it and prepares the data as an analysis
// does (reader, working tables, data processing, packed genotypes), and
// prints seconds and the peak resident memory of the process.
//
//   prepare_memory <offspring> <loci> <alleles> [work directory]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/likelihood_setup.h"
#include "state/variables.h"

#include "scratch.h"

namespace {

void WriteProject(const std::string& path, int n, int loci, int alleles) {
  std::mt19937 rng(12345);
  std::ofstream out(path);
  out << "'memory benchmark'\nmembench\n" << n << "\n" << loci << "\n1\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n1\n1\n";
  out << "MK@\n0@\n0.01@\n0.01@\n";
  std::uniform_int_distribution<int> allele(1, alleles);
  std::string line;
  for (int i = 1; i <= n; ++i) {
    line = "O" + std::to_string(i);
    for (int l = 0; l < loci; ++l) {
      const int a = alleles == 2 ? allele(rng) : 100 + 2 * allele(rng);
      const int b = alleles == 2 ? allele(rng) : 100 + 2 * allele(rng);
      line += ' ';
      line += std::to_string(a);
      line += ' ';
      line += std::to_string(b);
    }
    out << line << '\n';
  }
  out << "1 1\n0 0\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <offspring> <loci> <alleles> [work directory]\n", argv[0]);
    return 2;
  }
  const int n = std::atoi(argv[1]), loci = std::atoi(argv[2]), alleles = std::atoi(argv[3]);
  // Without a folder given, everything goes into a scratch folder removed
  // at the end.
  ScratchDirectory scratch;
  const std::string dir = argc > 4 ? argv[4] : scratch.path();
  const std::string path = dir + "/membench_" + std::to_string(n) + "x" + std::to_string(loci) + ".dat";
  WriteProject(path, n, loci, alleles);
  const double before = PeakMegabytes();
  variables.inputfilename = path;
  variables.outputfilename = dir + "/membench";
  variables.displayq = 0;
  const auto t0 = std::chrono::steady_clock::now();
  ReadData();
  const auto t1 = std::chrono::steady_clock::now();
  Initialize();
  DataProcess();
  InitialFsProb(1, 1, variables.numloci);
  const auto t2 = std::chrono::steady_clock::now();
  const double read = std::chrono::duration<double>(t1 - t0).count();
  const double prepare = std::chrono::duration<double>(t2 - t1).count();
  std::printf("%6d offspring x %6d loci (%3d alleles): read %7.2f s, prepare %6.2f s, peak RSS %7.1f MB "
              "(%.1f MB before reading)\n",
              n, loci, alleles, read, prepare, PeakMegabytes(), before);
  std::remove(path.c_str());
  return 0;
}
