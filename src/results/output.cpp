// The output step: the best configuration becomes the current one, its
// clusters and parents are settled, and the result files are written in
// their fixed order.
#include "results/output.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "results/archive_files.h"
#include "results/best_config_files.h"
#include "results/clone_inference.h"
#include "results/error_rate.h"
#include "results/estimate_files.h"
#include "results/family_probabilities.h"
#include "results/genotype_inference.h"
#include "results/pedigree_table.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/frequency_update.h"
#include "state/variables.h"

namespace {

// The candidate of each family (family x sex) of the configuration loc,
// from a per-offspring assignment: the first member that names one (in
// sample order) names the family's parent. A haploid offspring names no
// father.
Mat1<int32_t> FamilyParents(const Mat1<int32_t>& loc, const Mat1<int32_t>& perOffspring) {
  const int32_t n = variables.smplsize;
  int32_t families = n;
  for (int32_t i = 1; i <= n; ++i) families = std::max({families, loc(i, 1), loc(i, 2)});
  Mat1<int32_t> parents(static_cast<std::size_t>(families), 2, 0);
  if (perOffspring.rows() < static_cast<std::size_t>(n) || perOffspring.cols() < 2) return parents;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && HaploidOffspring(i)) continue;
      const int32_t f = loc(i, k);
      const int32_t c = perOffspring(i, k);
      if (f >= 1 && c > 0 && parents(f, k) == 0) parents(f, k) = c;
    }
  }
  return parents;
}

}  // namespace

void MergeParentage(const Mat1<int32_t>& loc, const Mat1<int32_t>& familyParents, Mat1<int32_t>& indivParent) {
  const int32_t n = variables.smplsize;
  indivParent.assign(static_cast<std::size_t>(std::max(n, 0)), 2, 0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && HaploidOffspring(i)) continue;
      const int32_t f = loc(i, k);
      if (f >= 1 && static_cast<std::size_t>(f) <= familyParents.rows() && familyParents.cols() >= 2) {
        indivParent(i, k) = familyParents(f, k);
      }
    }
  }
}

int32_t ReCluster() {
  Variables& v = variables;
  SetInitCluster();
  int32_t count = 0;
  for (int32_t i = 1; i <= v.smplsize; ++i) count = std::max(count, (*v.IndivLocPrt)(i, 3));
  if (v.IndivLocPrt == &v.CrIndivLoc) v.CrNumFamily(3) = count;
  if (v.IndivLocPrt == &v.BtIndivLoc) v.BtNumFamily(3) = count;
  return count;
}

void Output() {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  if (n < 1 || v.BtIndivLoc.rows() < static_cast<std::size_t>(n) || v.BtIndivLoc.cols() < 3) return;

  // 1. The best configuration becomes the current one, with every
  // offspring carrying its family's parents and the clusters recomputed (the
  // cluster tables then serve the analyses that follow); the best tables
  // take the same clusters and parents.
  v.CrIndivLoc = v.BtIndivLoc;
  v.CrNumFamily = v.BtNumFamily;
  v.CrLogLikelihood = v.btloglikelihood;
  MergeParentage(v.BtIndivLoc, FamilyParents(v.BtIndivLoc, v.BtInferParent), v.InferParent);
  UseCurrentConfig();
  ReCluster();
  v.BtIndivLoc = v.CrIndivLoc;
  v.BtInferParent = v.InferParent;
  v.BtNumFamily(3) = v.CrNumFamily(3);
  const bool writer = v.threadid == 0;

  // 2.
  if (v.displayq != 0) std::cout << "Preparing & outputing results..." << std::endl;

  // 3. Parent identifiers of the best configuration.
  Mat1<std::string> parentIds;
  BuildBestParentID(v.BtIndivLoc, v.BtInferParent, parentIds);

  // 4. Clusters and their probabilities.
  Vec1<double> clusterProb;
  FindFamilyProb(clusterProb);
  if (writer) WriteBestCluster(v.BtIndivLoc, clusterProb, parentIds);

  // 5. Full-sib families, their probabilities and the selfing rate.
  Vec1<double> probInc, probExc;
  Arr1<double, 3> selfing;
  int32_t numFS = 0;
  FindFSFamilyProb(probInc, probExc, numFS, selfing);
  Vec1<int32_t> fsid;
  FindFSFamilyID(v.BtIndivLoc, fsid);
  if (writer) WriteBestFSFamily(fsid, numFS, probInc, probExc);
  // The clone groups, inferred with the full-sib families.
  const bool clones = v.allowclone == 1 && v.IndivLoc3.rows() >= static_cast<std::size_t>(n);
  if (writer && clones) WriteBestClone();

  // 6. Each offspring's clone group.
  Vec1<int32_t> clone(static_cast<std::size_t>(n), 0);
  for (int32_t i = 1; i <= n; ++i) clone(i) = clones ? v.IndivLoc3(i, 3) : i;
  if (writer) WriteBestConfig(v.BtIndivLoc, parentIds, clone);

  // 7. The files that summarise the whole archive; the pedigree table
  // follows them, for it shows the parents' probabilities of the paternity
  // and maternity files.
  ArchiveConfigWrite();
  if (writer) WritePedigree(v.BtIndivLoc, parentIds, fsid);

  // 8.
  if (writer && v.allowinbreeding == 1) WriteInbreeding(selfing);

  // 9. Genotypes of offspring and parents, every process the loci of its
  // share, then the allele frequencies, every process its part. When the
  // frequencies are estimated with the configuration, the parents'
  // expected allele counts of this inference give their last estimate,
  // from the final best configuration.
  Vec1<std::vector<double>> allelecounts;
  InferGenotypes(parentIds, allelecounts);
  if (v.updateallelefre != 0) AlleleFreFromInference(allelecounts);
  if (v.popallelefreknownq == 0 && v.allelefreest == 1) WriteAlleleFreq();

  // 10. The error rates of every locus, estimated by all processes
  // together, and ".ErrorRate".
  ErrorRateEstimation();
}
