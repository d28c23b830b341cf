// The family likelihood driver and the likelihoods of single individuals.
#include "likelihood/family_likelihood.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "likelihood/genotype_checks.h"
#include "likelihood/peeling.h"
#include "pairwise/dyad_tables.h"
#include "runctl/error_stop.h"
#include "runctl/parallel.h"
#include "search/configuration.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Size term of the configuration: with N offspring in the families scored
// (for clusters scored together, the sum of each cluster's own term).
double SizeTerm() {
  const FamilyLoglVar& fv = familyloglvar;
  int64_t total = 0;
  for (const auto& f : fv.families) total += static_cast<int64_t>(f.members.size());
  std::vector<int64_t> single;
  const std::vector<int64_t>* parts = &fv.parts;
  if (parts->empty()) {
    single.assign(1, total);
    parts = &single;
  }
  if (variables.priortype != 1) {
    double t = 0.0;
    for (int64_t N : *parts) {
      const double dN = static_cast<double>(N);
      t += (dN / 8.0) * (likelihoodvar.sizetermconst + std::lgamma(dN + 0.25) - std::lgamma(dN + 2.5));
    }
    return t;
  }
  const bool selfing = variables.numsex == 1 && variables.allowinbreeding == 1;
  double s = 0.0;
  for (int64_t N : *parts) s += std::lgamma(static_cast<double>(N) + 1.0);
  for (const auto& f : fv.families) {
    const double lf = std::lgamma(static_cast<double>(f.members.size()) + 1.0);
    s += (selfing && f.father >= 0 && f.father == f.mother) ? 2 * lf : lf;
  }
  return -s / 16.0;
}

// The loci that take part in the likelihood, in the order they are summed:
// many-allele, codominant two-allele, dominant (position k of the list).
int32_t LocusAt(int32_t k) {
  const LikelihoodVar& lv = likelihoodvar;
  const int32_t n3 = lv.locus3[0];
  return k < n3 ? lv.locus3[static_cast<std::size_t>(k + 1)] : lv.locus2[static_cast<std::size_t>(k - n3 + 1)];
}

// Adds one locus to the running sum; false when the sum is to stop there:
// below the threshold, or impossible.
inline bool Continue(double sum, double threshold) { return !(sum <= -1e300 || threshold > sum); }
inline double Add(double sum, double logl) { return logl <= -1e300 ? -1e300 : sum + logl; }

// The sum over all loci in their order, starting from start; stops before
// the next locus once the sum is below the threshold.
double WholeSum(double start, double threshold) {
  const int32_t count = likelihoodvar.numloci23;
  double sum = start;
  for (int32_t k = 0; k < count && Continue(sum, threshold); ++k) {
    double logl = 0.0;
    FamilyLocusLogL(LocusAt(k), logl);
    sum = Add(sum, logl);
  }
  return sum;
}

// The same sum with the loci shared among the processes: in rounds, each
// process computes every numthreads-th locus of the round, the values are
// exchanged, and every process adds them in the same order as WholeSum
// does, stopping where it would. The result is therefore the same to the
// last bit whatever the number of processes, and all processes take the
// same steps. A round is a quarter of the loci, and at least eight per
// process: each round waits for the slowest process, so rounds must be
// long enough for the costs of the loci to even out, while a sum that
// stops early should not compute much beyond where it stops.
double SharedSum(double start, double threshold) {
  const int32_t count = likelihoodvar.numloci23;
  const int32_t np = variables.numthreads, me = variables.threadid;
  const int32_t round = std::max(8 * np, (count + 3) / 4 / np * np + np);
  thread_local std::vector<double> values;
  double sum = start;
  for (int32_t first = 0; first < count && Continue(sum, threshold); first += round) {
    const int32_t last = std::min(count, first + round);
    values.assign(static_cast<std::size_t>(last - first), 0.0);
    for (int32_t k = first + me; k < last; k += np) FamilyLocusLogL(LocusAt(k), values[static_cast<std::size_t>(k - first)]);
    ShareItems(values);
    for (int32_t k = first; k < last && Continue(sum, threshold); ++k) sum = Add(sum, values[static_cast<std::size_t>(k - first)]);
  }
  return sum;
}

bool KnownParent(int32_t i) {
  const Mat1<int32_t>& known = variables.indivparent;
  if (known.rows() < static_cast<std::size_t>(i) || known.cols() < 2) return false;
  return known(i, 1) > 0 || known(i, 2) > 0;
}

}  // namespace

void UsePairwiseLogL(int32_t& use, double& logL, int32_t nChild) {
  const FamilyLoglVar& fv = familyloglvar;
  const Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  use = 0;
  std::vector<int32_t> members;
  for (const auto& f : fv.families) members.insert(members.end(), f.members.begin(), f.members.end());
  for (const auto& p : fv.parents) {
    if (p.candidate > 0) return;
  }
  for (int32_t i : members) {
    if (i < 1 || i > v.smplsize || KnownParent(i)) return;
  }
  if (nChild == 1) {
    if (members.size() != 1) return;
    const int32_t i = members[0];
    if (v.allowinbreeding == 0 && v.inbreeding == 0.0) {
      if (lv.indivlogl.size() < static_cast<std::size_t>(i)) return;
      logL = lv.indivlogl(i);
      use = 1;
      return;
    }
    const auto& f = fv.families[0];
    const bool selfed = v.numsex == 1 && f.father >= 0 && f.father == f.mother;
    Vec1<double>& kept = selfed ? lv.inbindivloglself : lv.inbindivlogl;
    if (kept.size() != static_cast<std::size_t>(v.smplsize)) kept.assign(static_cast<std::size_t>(v.smplsize), 1.0);
    // Every process holds every locus, so each computes the value alone.
    if (kept(i) > 0.1) kept(i) = WholeSum(0.0, -1e300);
    logL = kept(i);
    use = 1;
    return;
  }
  if (nChild != v.numsex || v.allowinbreeding != 0 || v.updateallelefre != 0 || !OffspringDyadReady()) return;
  if (members.size() != 2) return;
  const int32_t i = members[0], j = members[1];
  int32_t kind = -1;  // -1: no parent shared
  if (fv.families.size() == 1) {
    kind = kFullSibDyad;
  } else if (fv.families.size() == 2) {
    const auto &a = fv.families[0], &b = fv.families[1];
    const bool father = a.father >= 0 && a.father == b.father;
    const bool mother = a.mother >= 0 && a.mother == b.mother;
    if (father && mother) kind = kFullSibDyad;
    else if (father) kind = kPaternalHalfSibDyad;
    else if (mother) kind = kMaternalHalfSibDyad;
  } else {
    return;
  }
  // A son and a daughter share their mother only.
  if (kind >= 0 && HaploidOffspring(i) != HaploidOffspring(j)) kind = kMaternalHalfSibDyad;
  if (kind < 0) {
    logL = lv.indivlogl(i) + lv.indivlogl(j);
  } else {
    const float entry = OffspringDyadLogL(kind, i, j);
    logL = entry <= kImpossibleDyadLogL ? -1e300 : static_cast<double>(entry);
  }
  use = 1;
}

void FamilyLikelihood(double& logl, double threshold, int32_t check, int32_t /*sortflag*/, int32_t mode) {
  const FamilyLoglVar& fv = familyloglvar;
  logl = -1e300;
  int32_t nparents[3] = {0, 0, 0};
  for (const auto& p : fv.parents) ++nparents[p.sex == 2 ? 2 : 1];
  const bool tooLarge = nparents[1] > 10000 || nparents[2] > 10000 ||
                        (variables.anymonogamy == 0 && fv.families.size() > 10000);
  // Families of one or two offspring may take their value from the single
  // and pair tables; every process finds the same answer without the others.
  if (!tooLarge && (mode == 1 || mode == 2)) {
    int32_t use = 0;
    double value = -1e300;
    UsePairwiseLogL(use, value, mode);
    if (use == 1) {
      logl = value <= -1e300 ? -1e300 : value + SizeTerm();
      return;
    }
  }
  const bool shared = variables.numthreads > 1 && variables.parallelq != 0;
  // Configurations impossible at the error-free loci are rejected before
  // any locus is evaluated; every process finds the same answer.
  int32_t ok = 1;
  if (!tooLarge && check == 1) {
    GenotypeCheck(ok);
    if (ok == 1) GenotypeCheckP(ok);
    if (ok == 1) GenotypeCheckPDom(ok);
  }
  if (!tooLarge && ok == 1 && variables.numsex == 1) SelfingCheck(ok);
  // The checks give every process the same answer, so all of them take
  // part in the shared sum or none does.
  if (!tooLarge && ok == 1) {
    const double T = SizeTerm();
    logl = shared && MpiActive() ? SharedSum(T, threshold) : WholeSum(T, threshold);
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
