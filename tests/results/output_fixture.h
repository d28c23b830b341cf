// Fixture shared by the result-file tests: no screen output, output name
// "t", a sample of n offspring O1, O2, ..., and the best and archived
// configurations set from their columns.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "search/archive.h"
#include "state/variables.h"
#include "support/columns.h"
#include "support/fixture.h"

inline std::string Sp(std::size_t n) { return std::string(n, ' '); }

inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

class OutputFixture : public PedkinTest {
 protected:
  using Ints = std::vector<int32_t>;

  void SetUp() override {
    PedkinTest::SetUp();
    variables.displayq = 0;
    variables.fname = "t";
  }

  static void Sample(int32_t n, int32_t numsex) {
    Variables& v = variables;
    v.smplsize = n;
    v.numsex = numsex;
    v.sexid = numsex == 2 ? "*#" : "##";
    v.offspringid.assign(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) v.offspringid(i) = "O" + std::to_string(i);
  }

  // Families, cluster labels (any labels: the output step renumbers them;
  // all 1 when empty) and each offspring's candidate parents (none when empty).
  static void SetBest(const Ints& pat, const Ints& mat, const Ints& cluster = {}, const Ints& dad = {},
                      const Ints& mum = {}, double logl = -100.0) {
    Variables& v = variables;
    const std::size_t n = pat.size();
    const Ints columns[3] = {pat, mat, cluster.empty() ? Ints(n, 1) : cluster};
    v.BtIndivLoc = Table({columns[0], columns[1], columns[2]});
    v.BtInferParent = Table({dad.empty() ? Ints(n, 0) : dad, mum.empty() ? Ints(n, 0) : mum});
    v.btloglikelihood = logl;
    for (long k = 1; k <= 3; ++k) v.BtNumFamily(k) = *std::max_element(columns[k - 1].begin(), columns[k - 1].end());
  }

  static void Archive(const Ints& pat, const Ints& mat, const Ints& cluster, double logl, const Ints& dad = {},
                      const Ints& mum = {}) {
    Variables& v = variables;
    const std::size_t n = pat.size();
    Mat1<int32_t> loc = Table({pat, mat, cluster});
    Mat1<int32_t> parents = Table({dad.empty() ? Ints(n, 0) : dad, mum.empty() ? Ints(n, 0) : mum});
    v.IndivLocPrt = &loc;
    v.InferParentPrt = &parents;
    v.LogLikelihoodPrt = &logl;
    ArchiveConfigAdd(3, *std::max_element(cluster.begin(), cluster.end()));
    v.IndivLocPrt = nullptr;
    v.InferParentPrt = nullptr;
    v.LogLikelihoodPrt = nullptr;
  }
};
