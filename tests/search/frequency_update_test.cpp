// Allele frequencies estimated with the configuration: a hand-worked estimate,
// and the stored log likelihoods after an update against a fresh computation.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>

#include "likelihood/likelihood_setup.h"
#include "results/output.h"
#include "search/archive.h"
#include "search/configuration.h"
#include "search/frequency_update.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using FrequencyUpdateTest = PedkinTest;

// One full-sib family whose parents are 1/2 and 3/4 at an error-free
// locus, untyped at a dominant one; two candidate fathers, unassigned: 1/1
// of the dominant phenotype and 2/2 of the recessive one.
TEST_F(FrequencyUpdateTest, InferredParentsAndUnassignedCandidatesGiveTheFrequencies) {
  PrepareProject("fu.dat",
                 "'fu'\nfu\n4\n2\n5\n1\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n0\n0\n1000\n0\n0\n1\nMK@\n0 1\n0 0\n0 0\n"
                 "O1 1 3 0\nO2 2 4 0\nO3 1 4 0\nO4 2 3 0\n0.5 0.5\n2 0\nC1 1 1 1\nC2 2 2 2\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n");
  Variables& v = variables;
  ASSERT_EQ(v.updateallelefre, 2);
  v.BtIndivLoc.assign(4, 3, 1);
  v.BtInferParent.assign(4, 2, 0);
  const double p2 = likelihoodvar.obsallelefre(2)[1];
  Update(3, false);
  // One copy of each allele from the parents, two of alleles 1 and 2 from
  // the candidates; below 30 copies, one more of each.
  const std::map<int32_t, double> byname = {{1, 4.0 / 12}, {2, 4.0 / 12}, {3, 2.0 / 12}, {4, 2.0 / 12}};
  for (int32_t a = 1; a <= 4; ++a) EXPECT_NEAR(likelihoodvar.obsallelefre(1)[a - 1], byname.at(v.rawalleleid(1)[a - 1]), 1e-9);
  // Parents as drawn from the population, the dominant phenotype's expected
  // allele content, two recessive alleles, one more of each.
  const double c1 = 4 * (1 - p2) + 2 / (1 + p2) + 1, c2 = 4 * p2 + 2 * p2 / (1 + p2) + 3;
  EXPECT_NEAR(likelihoodvar.obsallelefre(2)[1], c2 / (c1 + c2), 1e-9);
  EXPECT_EQ(SplitLines(ReadFile("fu.MidResult4")).back(), "        3");
}

// The log likelihood of a configuration (offspring table, candidates per
// offspring) from scratch; its cluster values in clusters.
double FreshLogL(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents, Vec1<double>* clusters = nullptr) {
  variables.CrIndivLoc = loc;
  variables.InferParent = parents;
  SetInitConfigLogL(0);
  if (clusters != nullptr) *clusters = variables.CrFamilyLogL;
  return variables.CrLogLikelihood;
}

TEST_F(FrequencyUpdateTest, StoredLogLikelihoodsEqualAComputationFromScratch) {
  std::string text = ReadFile(SourceDir() + "/examples/microsat_dioecious.dat");
  text.replace(text.find("0   ! update"), 1, "1");
  PrepareProject("ex.dat", text);
  Variables& v = variables;
  // Best: the true families with their candidate parents; current: the
  // start of a search; archived: the best, and the best with one offspring
  // alone.
  Mat1<int32_t> truth(40, 3, 1), truthparents(40, 2, 0);
  std::ifstream in(SourceDir() + "/examples/microsat_dioecious.truth");
  std::map<std::string, int32_t> family[2];
  std::string id, parent[2];
  for (int32_t i = 1; in >> id >> parent[0] >> parent[1]; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      truth(i, k) = family[k - 1].emplace(parent[k - 1], family[k - 1].size() + 1).first->second;
      for (int32_t c = 1; c <= v.numchild(k); ++c) truthparents(i, k) += v.cndparentid(k)(c).find(parent[k - 1]) == 0 ? c : 0;
    }
  }
  Mat1<int32_t> nearloc = truth, nearparents = truthparents;
  nearloc(5, 1) = 40;
  nearparents(5, 1) = 0;
  for (const auto* c : {&truth, &nearloc}) {
    double logl = FreshLogL(*c, c == &truth ? truthparents : nearparents);
    v.LogLikelihoodPrt = &logl;
    ArchiveConfigAdd(3, v.CrNumFamily(3));
  }
  v.BtIndivLoc = truth;
  v.BtInferParent = truthparents;
  FirstConfig(1);
  const Mat1<int32_t> start = v.CrIndivLoc, startparents = v.InferParent;
  FreshLogL(start, startparents);
  Update(0, false);
  const auto updated = likelihoodvar.obsallelefre;
  const auto indiv = likelihoodvar.indivlogl.raw(), fathers = likelihoodvar.candidatelogl(1).raw();
  const Vec1<double> crclusters = v.CrFamilyLogL;
  const double cr = v.CrLogLikelihood, bt = v.btloglikelihood;
  const auto archive = v.ConfigArchive;
  EXPECT_NE(updated.raw(), likelihoodvar.obsallelefre0.raw());

  ResetState();
  PrepareProject("ex.dat", text);
  likelihoodvar.obsallelefre = updated;
  InitialFsProb(1, 1, variables.numloci);
  EXPECT_EQ(likelihoodvar.indivlogl.raw(), indiv);
  EXPECT_EQ(likelihoodvar.candidatelogl(1).raw(), fathers);
  const double tolerance = 1e-10 * std::fabs(bt);
  Vec1<double> clusters;
  EXPECT_NEAR(FreshLogL(start, startparents, &clusters), cr, tolerance);
  for (int32_t k = 1; k <= 40; ++k) EXPECT_NEAR(clusters(k), crclusters(k), tolerance) << k;
  EXPECT_NEAR(FreshLogL(truth, truthparents), bt, tolerance);
  ASSERT_EQ(archive.size(), 2u);
  for (const ConfigRecord& r : archive) {
    double stored = 0.0;
    ConvertConfig(r, stored);
    Mat1<int32_t> parents;
    MergeParentage(variables.OffTgt, variables.PrntTgt, parents);
    EXPECT_NEAR(FreshLogL(variables.OffTgt, parents), stored, tolerance);
  }
}

}  // namespace
