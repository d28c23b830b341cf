// Allele frequencies estimated together with the configuration.
//
// The offspring of a sample are not independent draws from the population:
// a large family repeats its parents' alleles many times over, so counts
// over the offspring weigh each family by its size. The parents are the
// independent draws. Their genotypes, inferred family by family in the best
// configuration (sampled candidates from their own typings as well), give
// expected allele counts; the candidates that no family takes add their own
// alleles. Repeated from the configurations the search finds, this is an
// expectation-maximisation of the frequencies.
//
// Every process computes the frequencies of one block of loci; the blocks
// are then shared, so that all processes hold the same values whatever
// their number. Everything computed from the old frequencies is computed
// again: the tables the likelihood reads, and every stored log likelihood
// the search compares new ones with.
#include "search/frequency_update.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "likelihood/family_likelihood.h"
#include "pairwise/dyad_tables.h"
#include "results/genotype_inference.h"
#include "runctl/error_stop.h"
#include "runctl/parallel.h"
#include "search/checkpoint.h"
#include "search/archive.h"
#include "search/cluster_cache.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/pair_score.h"
#include "search/parentage_moves.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

bool Show() { return variables.threadid == 0 && variables.displayq != 0; }

// Points the shared routines (family building, parent term) at a
// configuration, and back when it goes out of scope.
class UseConfig {
 public:
  UseConfig(Mat1<int32_t>& loc, Mat1<int32_t>& parents)
      : loc_(variables.IndivLocPrt), parents_(variables.InferParentPrt) {
    variables.IndivLocPrt = &loc;
    variables.InferParentPrt = &parents;
  }
  ~UseConfig() {
    variables.IndivLocPrt = loc_;
    variables.InferParentPrt = parents_;
  }
  UseConfig(const UseConfig&) = delete;
  UseConfig& operator=(const UseConfig&) = delete;

 private:
  Mat1<int32_t>* loc_;
  Mat1<int32_t>* parents_;
};

// The clusters of configuration loc, members ascending, in order of their
// first members; column 3 of loc is relabelled to match.
std::vector<std::vector<int16_t>> Clusters(Mat1<int32_t>& loc) {
  Mat1<int32_t>* saved = variables.IndivLocPrt;
  variables.IndivLocPrt = &loc;
  SetInitCluster();
  variables.IndivLocPrt = saved;
  std::vector<std::vector<int16_t>> clusters;
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    const std::size_t c = static_cast<std::size_t>(loc(i, 3));
    if (clusters.size() < c) clusters.resize(c);
    clusters[c - 1].push_back(static_cast<int16_t>(i));
  }
  return clusters;
}

// Log likelihoods of clusters scored during one update: the configurations
// of the archive share most of their clusters with each other and with the
// best one. Key: the members with their families relabelled in order of
// first appearance and their candidates.
using ClusterValues = std::map<std::vector<int32_t>, double>;

double ClusterValue(const std::vector<int16_t>& members, const Mat1<int32_t>& loc, const Mat1<int32_t>& parents,
                    ClusterValues& known) {
  const bool pool = variables.numsex == 1;
  std::vector<std::pair<int32_t, int32_t>> seen;
  auto label = [&](int32_t side, int32_t family) {
    const std::pair<int32_t, int32_t> id{pool ? 0 : side, family};
    const auto at = std::find(seen.begin(), seen.end(), id);
    if (at != seen.end()) return static_cast<int32_t>(at - seen.begin()) + 1;
    seen.push_back(id);
    return static_cast<int32_t>(seen.size());
  };
  std::vector<int32_t> key;
  for (int16_t i : members) {
    key.insert(key.end(), {i, label(1, loc(i, 1)), label(2, loc(i, 2)), parents(i, 1), parents(i, 2)});
  }
  const auto found = known.find(key);
  if (found != known.end()) return found->second;
  // As the initial configuration is scored: a cluster found impossible is
  // tried again at a higher precision, pruning having perhaps dropped the
  // only genotypes that make it possible.
  Variables& v = variables;
  const int32_t precision = v.likelihoodprecision;
  double logl = -1e300;
  for (int32_t attempt = 0; attempt < 4; ++attempt) {
    FamilyBuildMembers(members.data(), static_cast<int32_t>(members.size()));
    FamilyLikelihood(logl, -1e300, 1, 0, 0);
    if (logl > -9.999999680285692e37) break;
    v.likelihoodprecision += 2;
  }
  v.likelihoodprecision = precision;
  known.emplace(std::move(key), logl);
  return logl;
}

// Log likelihood of a configuration: its clusters and the candidates it
// leaves unassigned.
double ConfigLogL(Mat1<int32_t> loc, Mat1<int32_t> parents, ClusterValues& known) {
  const std::vector<std::vector<int16_t>> clusters = Clusters(loc);
  UseConfig use(loc, parents);
  double total = 0.0;
  for (const auto& members : clusters) {
    const double logl = ClusterValue(members, loc, parents, known);
    total = logl <= -1e300 || total <= -1e300 ? -1e300 : total + logl;
  }
  double term = 0.0;
  ComputeParentLogL(term);
  return total <= -1e300 ? -1e300 : total + term;
}

// New frequencies of every locus from the best configuration.
void EstimateFrequencies() {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t L = v.numloci;
  const int32_t np = std::max(v.numthreads, 1);
  const int32_t block = (L + np - 1) / np;
  const int32_t first = v.threadid * block + 1, last = std::min((v.threadid + 1) * block, L);
  std::vector<std::vector<double>> counts(static_cast<std::size_t>(std::max(last - first + 1, 0)));
  Mat1<int32_t> loc = v.BtIndivLoc, parents = v.BtInferParent;
  const std::vector<std::vector<int16_t>> clusters = Clusters(loc);
  {
    UseConfig use(loc, parents);
    ClusterGenotypes inferred;
    for (const auto& members : clusters) {
      FamilyBuildMembers(members.data(), static_cast<int32_t>(members.size()));
      for (int32_t l = first; l <= last; ++l) {
        const int32_t n = lv.obsnumallele(l);
        if (n < 2) continue;
        if (!InferFamilyGenotypes(l, inferred)) {
          v.errmsg(1) = "The families of the best configuration with offspring " + v.offspringid(members.front()) +
                        " are impossible at locus " + v.markerid(l) + ".";
          StopOnError(1, "Update");
        }
        AddParentAlleleCounts(inferred, n, counts[static_cast<std::size_t>(l - first)]);
      }
    }
  }
  // Loci by the largest number of alleles: each process fills the rows of
  // its own block, and the sum over processes completes the table.
  int32_t width = 0;
  for (int32_t l = 1; l <= L; ++l) width = std::max(width, lv.obsnumallele(l));
  std::vector<double> table(static_cast<std::size_t>(L) * static_cast<std::size_t>(width), 0.0);
  for (int32_t l = first; l <= last; ++l) {
    if (lv.obsnumallele(l) < 2) continue;
    RecomputeAlleleFre(l, counts[static_cast<std::size_t>(l - first)]);
    std::copy(lv.obsallelefre(l).begin(), lv.obsallelefre(l).end(),
              table.begin() + static_cast<std::ptrdiff_t>(l - 1) * width);
  }
  ShareItems(table);
  for (int32_t l = 1; l <= L; ++l) {
    std::vector<double>& p = lv.obsallelefre(l);
    if (lv.obsnumallele(l) < 2) continue;
    const auto row = table.begin() + static_cast<std::ptrdiff_t>(l - 1) * width;
    std::copy(row, row + static_cast<std::ptrdiff_t>(p.size()), p.begin());
  }
}

// The cluster log likelihoods of the current configuration and the log
// likelihood of the best one under the new frequencies.
void RefreshSearchLogL(ClusterValues& known) {
  Variables& v = variables;
  UseCurrentConfig();
  double total = 0.0;
  for (int32_t k = 1; k <= static_cast<int32_t>(v.IndivCluster.size()); ++k) {
    if (v.IndivClusterIdx(k) == -1 || v.IndivCluster(k).empty()) continue;
    const double logl = ClusterValue(v.IndivCluster(k), v.CrIndivLoc, v.InferParent, known);
    v.CrFamilyLogL(k) = logl;
    total = logl <= -1e300 || total <= -1e300 ? -1e300 : total + logl;
  }
  double term = 0.0;
  ComputeParentLogL(term);
  v.CrLogLikelihood = total <= -1e300 ? -1e300 : total + term;
  v.btloglikelihood = ConfigLogL(v.BtIndivLoc, v.BtInferParent, known);
}

// Every archived configuration with its log likelihood under the new
// frequencies, the archive kept in decreasing order. Log likelihoods under
// different frequencies cannot be compared, so the best over all runs
// starts again from this run's best.
void RefreshArchive(ClusterValues& known) {
  Variables& v = variables;
  v.bestlogl = v.btloglikelihood;
  v.MinLogLikelihood = v.bestlogl - 10.0;
  if (v.ConfigArchive.empty()) return;
  if (Show()) std::cout << "Updating likelihood..." << std::endl;
  const int32_t n = v.smplsize;
  for (ConfigRecord& record : v.ConfigArchive) {
    double old = 0.0;
    ConvertConfig(record, old);
    Mat1<int32_t> parents(static_cast<std::size_t>(n), 2, 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t k = 1; k <= 2; ++k) {
        const int32_t f = v.OffTgt(i, k);
        if ((k == 1 && HaploidOffspring(i)) || f < 1 || static_cast<std::size_t>(f) > v.PrntTgt.rows()) continue;
        parents(i, k) = v.PrntTgt(f, k);
      }
    }
    record.logl = ConfigLogL(v.OffTgt, std::move(parents), known);
  }
  v.ConfigArchive.sort([](const ConfigRecord& a, const ConfigRecord& b) { return a.logl > b.logl; });
  ArchiveConfigRemove();
}

}  // namespace

bool FrequencyTablesCurrent() {
  const LikelihoodVar& lv = likelihoodvar;
  return lv.obsallelefre.raw() == (lv.allelefre.empty() ? lv.obsallelefre0 : lv.allelefre).raw();
}

void RefreshFrequencyTables(bool pairwise) {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  ComputeGtypeFre(1, v.numloci);
  ClearSingleGtypeCache();
  lv.inbindivlogl.clear();
  lv.inbindivloglself.clear();
  SingleIndivLikelihood(0.0, v.smplsize, 0, lv.indivlogl);
  if (v.numsex == 1 && v.allowinbreeding == 1) SingleIndivLikelihood(0.5, v.smplsize, 0, lv.indivloglself);
  if (v.numchild(1) > 0 || v.numchild(2) > 0) SingleParentLikelihood(0.0);
  ClearClusterLogL();
  lv.allelefre = lv.obsallelefre;
  if (!pairwise) return;
  // Tables made under the old frequencies are neither kept nor read back
  // from their files; the files are written anew.
  if (Show()) std::cout << "Updating Pairwise-likelihood..." << std::endl;
  if (v.smplsize >= 2 && OffspringDyadReady()) CalculatePairProb(false);
  if (ParentDyadReady(1) || ParentDyadReady(2)) CalculateParentPairProb(false);
}

void Update(int32_t nextrepeat, bool pairwise) {
  Variables& v = variables;
  if (v.updateallelefre < 1 || v.smplsize < 1 || v.BtIndivLoc.rows() < static_cast<std::size_t>(v.smplsize)) return;
  if (Show()) std::cout << "Updating allele frequency..." << std::endl;
  EstimateFrequencies();
  if (v.updateallelefre == 2) WriteMidResult4(nextrepeat);
  RefreshFrequencyTables(pairwise);
  if (v.updateallelefre == 2 || PairScoreMethod()) return;
  ClusterValues known;
  RefreshSearchLogL(known);
  RefreshArchive(known);
}

void AlleleFreFromInference(const Vec1<std::vector<double>>& counts) {
  const Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t L = v.numloci;
  int32_t width = 0;
  for (int32_t l = 1; l <= L; ++l) width = std::max(width, lv.obsnumallele(l));
  // Per locus a mark that it was inferred, then its frequencies.
  const std::size_t row = static_cast<std::size_t>(width) + 1;
  std::vector<double> table(static_cast<std::size_t>(L) * row, 0.0);
  for (int32_t l = 1; l <= L && static_cast<std::size_t>(l) <= counts.size(); ++l) {
    if (counts(l).empty() || lv.obsnumallele(l) < 2) continue;
    const std::vector<double> before = lv.obsallelefre(l);
    RecomputeAlleleFre(l, counts(l));
    double* r = &table[static_cast<std::size_t>(l - 1) * row];
    r[0] = 1.0;
    std::copy(lv.obsallelefre(l).begin(), lv.obsallelefre(l).end(), r + 1);
    lv.obsallelefre(l) = before;
  }
  ShareItems(table);
  for (int32_t l = 1; l <= L; ++l) {
    const double* r = &table[static_cast<std::size_t>(l - 1) * row];
    if (r[0] > 0.5) std::copy(r + 1, r + 1 + lv.obsallelefre(l).size(), lv.obsallelefre(l).begin());
  }
  if (!FrequencyTablesCurrent()) RefreshFrequencyTables(false);
}
