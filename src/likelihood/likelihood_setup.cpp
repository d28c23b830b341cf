// Set-up of the likelihood engine: locus classes, their division among
// processes, and every per-locus table the family likelihood reads.
#include "likelihood/likelihood_setup.h"

#include <algorithm>
#include <cmath>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "genotype/genotype_codes.h"
#include "likelihood/family_likelihood.h"
#include "likelihood/inbreeding.h"
#include "likelihood/peeling.h"
#include "pairwise/candidate_screen.h"
#include "pairwise/dyad_tables.h"
#include "runctl/parallel.h"
#include "search/prior.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

void SetLocusClasses() {
  LikelihoodVar& lv = likelihoodvar;
  lv.locus3.assign(1, 0);
  lv.locus2.assign(1, 0);
  lv.locus1.assign(1, 0);
  lv.locuserror.assign(static_cast<std::size_t>(variables.numloci), 0);
  std::vector<int32_t> dominant2;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    lv.locuserror(l) = (variables.othererrorrate(l) >= 1e-10 || variables.droprate(l) >= 1e-10) ? 1 : 0;
    const int32_t n = lv.obsnumallele(l);
    if (n <= 1) {
      lv.locus1.push_back(l);
    } else if (n > 2) {
      lv.locus3.push_back(l);
    } else if (variables.dominantmarker(l) != 0) {
      dominant2.push_back(l);
    } else {
      lv.locus2.push_back(l);
    }
  }
  // The most informative loci first: a proposal the search will reject
  // then falls below its threshold after fewer loci.
  auto information = [&](int32_t l) {
    if (lv.obsallelefre.size() < static_cast<std::size_t>(l)) return 0.0;
    double h = 1.0;
    for (double p : lv.obsallelefre(l)) h -= p * p;
    return h;
  };
  std::stable_sort(lv.locus3.begin() + 1, lv.locus3.end(),
                   [&](int32_t a, int32_t b) { return information(a) > information(b); });
  lv.snploc(1) = static_cast<int32_t>(lv.locus2.size()) - 1;
  lv.snploc(2) = static_cast<int32_t>(dominant2.size());
  lv.locus2.insert(lv.locus2.end(), dominant2.begin(), dominant2.end());
  for (auto* list : {&lv.locus3, &lv.locus2, &lv.locus1}) (*list)[0] = static_cast<int32_t>(list->size()) - 1;
  lv.numloci23 = lv.locus3[0] + lv.locus2[0];

  // Each group of loci is divided among the processes on its own, so that
  // every process gets a share of the expensive many-allele loci.
  SetThreadTask(lv.locus3[0], lv.l3thread);
  Arr1<int32_t, 2> range;
  SetThreadTask(lv.snploc(1), range);
  lv.l1thread(1) = range(1);
  lv.l1thread(2) = range(2);
  SetThreadTask(lv.snploc(2), range);
  lv.l1thread(3) = lv.snploc(1) + range(1);
  lv.l1thread(4) = lv.snploc(1) + range(2);
  SetThreadTask(lv.locus2[0], lv.l2thread);
}

void InitialFsProb(int32_t first, int32_t l1, int32_t l2) {
  LikelihoodVar& lv = likelihoodvar;
  if (variables.numloci < 1 || lv.obsnumallele.size() != static_cast<std::size_t>(variables.numloci)) return;
  SetLocusClasses();
  if (first == 1) {
    PackGenotypes();
    int32_t maxn = 0;
    lv.nallallele = 0;
    for (int32_t l = 1; l <= variables.numloci; ++l) {
      lv.nallallele += lv.obsnumallele(l);
      maxn = std::max(maxn, lv.obsnumallele(l));
    }
    lv.numestgenotype = std::min(5, maxn * (maxn + 1) / 2);
    lv.converseq = (variables.numsex == 2 && variables.anymonogamy == 0) ? 1 : 0;
    lv.sizetermconst = std::lgamma(2.25) + std::lgamma(1.5) - std::lgamma(1.25) - std::lgamma(0.25);
    SetScale2Const();
    if (!variables.factorial.empty()) SetEwenPrior();
  }
  // The observation tables come first: the genotype frequencies of
  // two-allele loci include the probabilities of their observations.
  PhenotypeGivenGenotype(l1, l2);
  // With inbreeding allowed the search starts from the coefficient that the
  // genotypes show, and the parents' genotype frequencies carry it.
  if (first == 1 && variables.allowinbreeding == 1) InitialInbCoe(variables.inbreeding);
  ClearFamilyTableCache();
  ComputeGtypeFre(1, variables.numloci);
  ClearSingleGtypeCache();
  lv.inbindivlogl.clear();
  lv.inbindivloglself.clear();
  InitialPrbGtoP(l1, l2);
  if (variables.numsex == 1 && variables.allowinbreeding == 1) CalculatePrbGtoPSelf(l1, l2);
  if (first == 1) {
    // The offspring as unrelated individuals, and every pair of them as
    // sibs: the baseline and the tables of the search's quick screen, and
    // under pairwise scores the whole likelihood of a configuration. A
    // selfed offspring of a parent that is not inbred is autozygous with
    // chance 1/2.
    SingleIndivLikelihood(0.0, variables.smplsize, 0, lv.indivlogl);
    if (variables.numsex == 1 && variables.allowinbreeding == 1) {
      SingleIndivLikelihood(0.5, variables.smplsize, 0, lv.indivloglself);
    } else {
      lv.indivloglself.clear();
    }
    if (variables.smplsize >= 2) CalculatePairProb(true);
    // The candidates as unrelated individuals, and each offspring's short
    // lists of plausible parents, from which the parentage moves draw.
    if (variables.smplsize >= 1 && (variables.numchild(1) > 0 || variables.numchild(2) > 0)) {
      SingleParentLikelihood(0.0);
      SetGetBestCnd();
    } else {
      ClearBestCnd();
    }
  }
}
