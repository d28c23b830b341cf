// Run under mpirun with several processes: the parentage thresholds that
// the processes simulate together, replications shared out, must be those
// that one process simulates alone, to the last bit, for diploid daughters
// (haploid candidate fathers, diploid mothers) and haploid sons of a
// haplodiploid sample with typing errors and missing data. Exits with 0
// when every threshold agrees.
#include <mpi.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/likelihood_setup.h"
#include "pairwise/threshold_simulation.h"
#include "runctl/parallel.h"
#include "state/simuvariables.h"
#include "state/variables.h"

namespace {

// Daughters and sons of random genotypes at 8 loci of 5 alleles; haploid
// individuals carry -99 as their second allele.
std::string Project() {
  std::mt19937 rng(21);
  std::uniform_int_distribution<int> allele(1, 5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto genotype = [&](bool haploid) {
    std::string g;
    for (int l = 0; l < 8; ++l) {
      if (unit(rng) < 0.05) {
        g += haploid ? " 0 -99" : " 0 0";
        continue;
      }
      g += " " + std::to_string(allele(rng)) + " " + (haploid ? std::string("-99") : std::to_string(allele(rng)));
    }
    return g + "\n";
  };
  std::string text =
      "'mpi thresholds'\nmt\n30\n8\n9\n0\n2\n0\n1\n0 0\n0\n0\n0\n0\n1\n0\n0\n1000\n0\n0\n1\nMK@\n0@\n0.02@\n0.02@\n";
  for (int i = 1; i <= 30; ++i) text += "O" + std::to_string(i) + genotype(i % 3 == 0);
  text += "0.6 0.7\n9 7\n";
  for (int c = 1; c <= 9; ++c) text += "D" + std::to_string(c) + genotype(true);
  for (int c = 1; c <= 7; ++c) text += "M" + std::to_string(c) + genotype(false);
  return text + "0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
}

void Simulate() {
  simuvariables.Threshold.assign(10, 2, 0.0);
  simuvariables.ThresholdH.assign(10, 2, 0.0);
  DetermineDeltaValue(2);
  DetermineDeltaValue(1);
}

}  // namespace

int main(int argc, char** argv) {
  InitializeThreads(&argc, &argv);
  // Each process works in a folder of its own, so no process reads the
  // others' cache files.
  char folder[] = "/tmp/pedkin_threshold_mpi_XXXXXX";
  if (mkdtemp(folder) == nullptr) MPI_Abort(MPI_COMM_WORLD, 2);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::ofstream("mt.dat") << Project();
  variables.inputfilename = "mt.dat";
  variables.displayq = 0;
  variables.stoppauseseconds = 0;
  ReadData();
  Initialize();
  DataProcess();
  InitialFsProb(1, 1, variables.numloci);

  Simulate();
  const Mat1<double> shared = simuvariables.Threshold, sharedh = simuvariables.ThresholdH;
  // One process alone, on every process alike.
  const int32_t rank = variables.threadid, size = variables.numthreads;
  variables.threadid = 0;
  variables.numthreads = 1;
  Simulate();
  variables.threadid = rank;
  variables.numthreads = size;

  int failures = 0;
  for (int32_t s = 1; s <= 2; ++s) {
    for (int32_t c = 1; c <= 10; ++c) {
      const bool daughters = shared(c, s) == simuvariables.Threshold(c, s);
      const bool sons = s == 1 || sharedh(c, s) == simuvariables.ThresholdH(c, s);
      if (!daughters || !sons) {
        ++failures;
        std::printf("process %d, sex %d, level %d: shared %.17g / %.17g, alone %.17g / %.17g\n", rank, s, c,
                    shared(c, s), sharedh(c, s), simuvariables.Threshold(c, s), simuvariables.ThresholdH(c, s));
      }
    }
  }
  // The simulation must have found something to calibrate.
  if (!(shared(1, 1) < 1e300 && shared(1, 2) < 1e300 && sharedh(1, 2) < 1e300)) ++failures;
  if (rank == 0) {
    std::printf("%d processes: thresholds 95%% %.4f %.4f (daughters), %.4f (sons); %d disagreements\n", size,
                shared(1, 1), shared(1, 2), sharedh(1, 2), failures);
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  int all = 0;
  MPI_Allreduce(&failures, &all, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  FinalizeThreads();
  return all == 0 ? 0 : 1;
}
