// Allele frequencies estimated with the configuration: a hand-worked
// estimate, and every stored log likelihood after an update against the
// same values computed from scratch under the new frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <numeric>

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

// One full-sib family whose parents are 1/2 and 3/4 (which is which is not
// known) at an error-free locus, untyped at a dominant locus; two candidate
// fathers, neither assigned: 1/1 with the dominant phenotype, 2/2 with the
// recessive one.
TEST_F(FrequencyUpdateTest, InferredParentsAndUnassignedCandidatesGiveTheFrequencies) {
  PrepareProject("fu.dat",
                 "'fu'\nfu\n4\n2\n5\n1\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n0\n0\n1000\n0\n0\n1\nMK@\n0 1\n0 0\n0 0\n"
                 "O1 1 3 0\nO2 2 4 0\nO3 1 4 0\nO4 2 3 0\n0.5 0.5\n2 0\nC1 1 1 1\nC2 2 2 2\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n");
  Variables& v = variables;
  ASSERT_EQ(v.updateallelefre, 2);
  v.BtIndivLoc.assign(4, 3, 1);
  v.BtInferParent.assign(4, 2, 0);
  const double p2 = likelihoodvar.obsallelefre(2)[1];
  EXPECT_NEAR(p2, std::sqrt(0.5), 1e-12);
  Update(3, false);
  // Locus 1: one copy of each allele from the parents, two of allele 1 and
  // two of allele 2 from the candidates; below 30 copies, one more each.
  const std::map<int32_t, double> byname = {{1, 4.0 / 12}, {2, 4.0 / 12}, {3, 2.0 / 12}, {4, 2.0 / 12}};
  for (int32_t a = 1; a <= 4; ++a) {
    EXPECT_NEAR(likelihoodvar.obsallelefre(1)[a - 1], byname.at(v.rawalleleid(1)[a - 1]), 1e-9) << a;
  }
  // Locus 2: the parents as drawn from the population; the dominant
  // phenotype's expected allele content; two recessive alleles.
  const double c1 = 4 * (1 - p2) + 2 / (1 + p2) + 1, c2 = 4 * p2 + 2 * p2 / (1 + p2) + 2 + 1;
  EXPECT_NEAR(likelihoodvar.obsallelefre(2)[0], c1 / (c1 + c2), 1e-9);
  EXPECT_NEAR(likelihoodvar.obsallelefre(2)[1], c2 / (c1 + c2), 1e-9);
  // The frequencies reached and the next repeat are saved.
  const std::vector<std::string> lines = SplitLines(ReadFile("fu.MidResult4"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "        3");
}

// Configurations as offspring tables with their per-offspring candidates.
struct Config {
  Mat1<int32_t> loc, parents;
};

double FreshLogL(const Config& c, Vec1<double>* clusters = nullptr) {
  variables.CrIndivLoc = c.loc;
  variables.InferParent = c.parents;
  SetInitConfigLogL(0);
  if (clusters != nullptr) *clusters = variables.CrFamilyLogL;
  return variables.CrLogLikelihood;
}

TEST_F(FrequencyUpdateTest, StoredLogLikelihoodsEqualAComputationFromScratch) {
  std::string text = ReadFile(SourceDir() + "/examples/microsat_dioecious.dat");
  text.replace(text.find("0   ! update"), 1, "1");
  PrepareProject("ex.dat", text);
  Variables& v = variables;
  // The best configuration: the true families, with their parents where
  // they are candidates; the current one: the start of a search.
  Config truth{Mat1<int32_t>(40, 3, 1), Mat1<int32_t>(40, 2, 0)};
  std::ifstream in(SourceDir() + "/examples/microsat_dioecious.truth");
  std::map<std::string, int32_t> family[2];
  std::string id, parent[2];
  for (int32_t i = 1; in >> id >> parent[0] >> parent[1]; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      truth.loc(i, k) = family[k - 1].emplace(parent[k - 1], family[k - 1].size() + 1).first->second;
      for (int32_t c = 1; c <= v.numchild(k); ++c) {
        if (v.cndparentid(k)(c).find(parent[k - 1]) == 0) truth.parents(i, k) = c;
      }
    }
  }
  FirstConfig(1);
  const Config start{v.CrIndivLoc, v.InferParent};
  v.btloglikelihood = FreshLogL(truth);
  v.BtIndivLoc = truth.loc;
  v.BtInferParent = truth.parents;
  FreshLogL(start);
  // The archive: the truth, and the truth with one offspring alone.
  Config near = truth;
  near.loc(5, 1) = 40;
  near.parents(5, 1) = 0;
  for (const Config* c : {&truth, &near}) {
    double logl = FreshLogL(*c);
    v.LogLikelihoodPrt = &logl;
    ArchiveConfigAdd(3, v.CrNumFamily(3));
  }
  FreshLogL(start);
  v.bestlogl = v.btloglikelihood;

  Update(0, false);
  const auto updated = likelihoodvar.obsallelefre;
  const Vec1<double> crclusters = v.CrFamilyLogL, indiv = likelihoodvar.indivlogl;
  const Arr1<Vec1<double>, 2> candidates = likelihoodvar.candidatelogl;
  const double cr = v.CrLogLikelihood, bt = v.btloglikelihood;
  const auto archive = v.ConfigArchive;
  EXPECT_NE(updated.raw(), likelihoodvar.obsallelefre0.raw());
  for (const auto& p : updated) EXPECT_NEAR(std::accumulate(p.begin(), p.end(), 0.0), 1.0, 1e-12);

  ResetState();
  PrepareProject("ex.dat", text);
  likelihoodvar.obsallelefre = updated;
  InitialFsProb(1, 1, variables.numloci);
  EXPECT_EQ(likelihoodvar.indivlogl.raw(), indiv.raw());
  for (int32_t k = 1; k <= 2; ++k) EXPECT_EQ(likelihoodvar.candidatelogl(k).raw(), candidates(k).raw());
  const double tolerance = 1e-10 * std::fabs(bt);
  Vec1<double> clusters;
  EXPECT_NEAR(FreshLogL(start, &clusters), cr, tolerance);
  for (int32_t k = 1; k <= 40; ++k) EXPECT_NEAR(clusters(k), crclusters(k), tolerance) << k;
  EXPECT_NEAR(FreshLogL(truth), bt, tolerance);
  ASSERT_GE(archive.size(), 1u);
  for (const ConfigRecord& r : archive) {
    double stored = 0.0;
    ConvertConfig(r, stored);
    Config c{variables.OffTgt, {}};
    MergeParentage(c.loc, variables.PrntTgt, c.parents);
    EXPECT_NEAR(FreshLogL(c), stored, tolerance);
  }
}

}  // namespace
