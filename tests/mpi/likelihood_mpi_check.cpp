// Run under mpirun with several processes: the family likelihood with the
// loci divided among the processes must equal the total that one process
// computes over all loci, for clusters of every shape, with and without an
// early-exit threshold. Exits with 0 when every case agrees.
#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "../likelihood/pedigree_oracle.h"
#include "likelihood/family_likelihood.h"
#include "likelihood/likelihood_setup.h"
#include "runctl/parallel.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

int main(int argc, char** argv) {
  InitializeThreads(&argc, &argv);
  const std::vector<OracleShape> shapes = {
      {"one family", {1, 2}, {{0, 1}}, {}},
      {"half sibs", {1, 2, 2, 2}, {{0, 1}, {0, 2}, {0, 3}}, {0}},
      {"loop", {1, 2, 1, 2}, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}, {1}},
  };
  // The same seed on every process: every process draws the same data.
  std::mt19937 rng(77);
  int failures = 0, cases = 0;
  for (const auto& shape : shapes) {
    for (int trial = 0; trial < 10; ++trial) {
      std::vector<OracleLocus> loci(7);
      for (std::size_t l = 0; l < loci.size(); ++l) {
        loci[l].n = l < 3 ? 3 + static_cast<int32_t>(l) : 2;
        loci[l].dominant = l >= 5;
        loci[l].D = loci[l].E = 0.02;
      }
      const int32_t rank = variables.threadid, size = variables.numthreads;
      variables = Variables{};
      likelihoodvar = LikelihoodVar{};
      variables.threadid = rank;
      variables.numthreads = size;
      variables.likelihoodprecision = 3;
      const OraclePedigree ped = DrawPedigree(rng, shape, loci, false, 0.1, 0.02, 4);
      InstallPedigree(ped);
      variables.parallelq = 1;
      double shared = 0;
      FamilyLikelihood(shared, -1e300, 1, 0, 0);
      double early = 0;
      FamilyLikelihood(early, shared + 1.0, 1, 0, 0);
      // The one-process total, on every process alike.
      variables.numthreads = 1;
      variables.threadid = 0;
      variables.parallelq = 0;
      SetLocusClasses();
      double alone = 0;
      FamilyLikelihood(alone, -1e300, 1, 0, 0);
      variables.numthreads = size;
      variables.threadid = rank;
      ++cases;
      const bool same = (alone <= -1e300 && shared <= -1e300) ||
                        std::fabs(shared - alone) <= 1e-9 * std::max(1.0, std::fabs(alone));
      const bool below = early < shared + 1.0;
      if (!same || !below) {
        ++failures;
        if (rank == 0) {
          std::printf("%s trial %d: divided %.12f, one process %.12f, early exit %.12f\n", shape.name, trial, shared,
                      alone, early);
        }
      }
    }
  }
  if (variables.threadid == 0) {
    std::printf("%d processes: %d cases, %d disagreements\n", variables.numthreads, cases, failures);
  }
  FinalizeThreads();
  return failures == 0 ? 0 : 1;
}
