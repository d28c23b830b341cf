// The family likelihood driver and the likelihoods of single individuals.
#include "likelihood/family_likelihood.h"

#include <mpi.h>

#include <cmath>
#include <map>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "likelihood/genotype_checks.h"
#include "likelihood/peeling.h"
#include "runctl/error_stop.h"
#include "runctl/parallel.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Size term of the configuration: with N offspring in the families scored.
double SizeTerm() {
  const FamilyLoglVar& fv = familyloglvar;
  int64_t N = 0;
  for (const auto& f : fv.families) N += static_cast<int64_t>(f.members.size());
  const double dN = static_cast<double>(N);
  if (variables.priortype != 1) {
    return (dN / 8.0) * (likelihoodvar.sizetermconst + std::lgamma(dN + 0.25) - std::lgamma(dN + 2.5));
  }
  const bool selfing = variables.numsex == 1 && variables.allowinbreeding == 1;
  double s = std::lgamma(dN + 1.0);
  for (const auto& f : fv.families) {
    const double lf = std::lgamma(static_cast<double>(f.members.size()) + 1.0);
    s += (selfing && f.father >= 0 && f.father == f.mother) ? 2 * lf : lf;
  }
  return -s / 16.0;
}

// Sum over this process's loci (all of them when the loci are not shared)
// in the order many-allele, codominant two-allele, dominant; stops once
// below the threshold.
double LocalSum(double start, double threshold, bool shared) {
  const LikelihoodVar& lv = likelihoodvar;
  double sum = start;
  auto run = [&](const std::vector<int32_t>& list, int32_t first, int32_t last) {
    for (int32_t k = first; k <= last; ++k) {
      if (sum <= -1e300 || threshold > sum) return false;
      double logl = 0.0;
      FamilyLocusLogL(list[static_cast<std::size_t>(k)], logl);
      sum = logl <= -1e300 ? -1e300 : sum + logl;
    }
    return true;
  };
  if (!shared) {
    if (run(lv.locus3, 1, lv.locus3[0]) && run(lv.locus2, 1, lv.snploc(1))) run(lv.locus2, lv.snploc(1) + 1, lv.locus2[0]);
  } else if (run(lv.locus3, lv.l3thread(1), lv.l3thread(2)) && run(lv.locus2, lv.l1thread(1), lv.l1thread(2))) {
    run(lv.locus2, lv.l1thread(3), lv.l1thread(4));
  }
  return sum;
}

}  // namespace

void FamilyLikelihood(double& logl, double threshold, int32_t check, int32_t /*sortflag*/, int32_t /*mode*/) {
  const FamilyLoglVar& fv = familyloglvar;
  logl = -1e300;
  int32_t nparents[3] = {0, 0, 0};
  for (const auto& p : fv.parents) ++nparents[p.sex == 2 ? 2 : 1];
  const bool tooLarge = nparents[1] > 10000 || nparents[2] > 10000 ||
                        (variables.anymonogamy == 0 && fv.families.size() > 10000);
  const bool shared = variables.numthreads > 1 && variables.parallelq != 0;
  // Configurations impossible at the error-free loci are rejected before
  // any locus is evaluated; every process finds the same answer.
  int32_t ok = 1;
  if (!tooLarge && check == 1) GenotypeCheck(ok);
  if (!tooLarge && ok == 1 && variables.numsex == 1) SelfingCheck(ok);
  double local = -1e300;
  if (!tooLarge && ok == 1) {
    // Only one process adds the size term when the loci are shared.
    const double T = (shared && variables.threadid != 0) ? 0.0 : SizeTerm();
    local = LocalSum(T, threshold, shared);
  }
  if (shared && MpiActive()) {
    // Every process joins the reduction, whatever its own sum, so that the
    // processes stay in step; an impossible share makes the total impossible.
    double send[2] = {local <= -1e300 ? 0.0 : local, local <= -1e300 ? 1.0 : 0.0};
    double recv[2] = {0.0, 0.0};
    MPI_Allreduce(send, recv, 2, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    logl = recv[1] > 0.0 ? -1e300 : recv[0];
  } else {
    logl = local;
  }
  if (logl != logl || std::fabs(logl) > 1.7976931348623157e308) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", logl);
    variables.errmsg(1) = std::string("Error in likelihood calculation, LogL = ") + buf +
                          "\nPlease report this fault, with the project file, to the maintainer.";
    StopOnError(1, "FamilyLikelihood");
  }
}

void SingleIndivLikelihood(double F, int32_t n, int32_t sex, Vec1<double>& logl) {
  logl.assign(static_cast<std::size_t>(std::max(n, 0)), 0.0);
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (likelihoodvar.obsnumallele(l) < 2) continue;
    // Each distinct observation is evaluated once per locus.
    std::map<std::pair<int32_t, int32_t>, double> seen;
    for (int32_t i = 1; i <= n; ++i) {
      const auto g = ObservedGenotype(sex, i, l);
      if (g.first <= 0) continue;
      const int32_t ploidy = sex == 0 ? variables.offploid(i) : variables.ploidy(sex);
      const auto key = std::make_pair(ploidy == 2 ? g.first : -g.first, g.second);
      auto it = seen.find(key);
      if (it == seen.end()) {
        double P = 1.0;
        ProbSingleGtype(F, ploidy, l, g.first, g.second, P);
        it = seen.emplace(key, P > 1e-300 ? std::log(P) : -1e300).first;
      }
      logl(i) = (logl(i) <= -1e300 || it->second <= -1e300) ? -1e300 : logl(i) + it->second;
    }
  }
}

void SingleParentLikelihood(double F) {
  for (int32_t s = 1; s <= 2; ++s) {
    likelihoodvar.sumcndlogl(s) = 0.0;
    if (variables.numchild(s) < 1) continue;
    SingleIndivLikelihood(F, variables.numchild(s), s, likelihoodvar.candidatelogl(s));
    for (double x : likelihoodvar.candidatelogl(s)) likelihoodvar.sumcndlogl(s) += x;
  }
}
