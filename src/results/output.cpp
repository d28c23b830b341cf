// The result files of the best configuration.
#include "results/output.h"

#include <array>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "runctl/file_io.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "state/variables.h"

namespace {

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Identifiers of each offspring's father and mother in the best
// configuration: the assigned candidate, or the sex mark and the number
// of the family in order of first appearance.
std::vector<std::array<std::string, 2>> BestParentID() {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  std::vector<std::array<std::string, 2>> ids(static_cast<std::size_t>(n) + 1);
  for (int32_t k = 1; k <= 2; ++k) {
    std::vector<int32_t> number(static_cast<std::size_t>(2 * n + 2), 0);
    int32_t next = 0;
    for (int32_t i = 1; i <= n; ++i) {
      if (k == 1 && v.haplodiploid == 1 && v.offploid(i) == 1) {
        ids[static_cast<std::size_t>(i)][0] = "*-";
        continue;
      }
      const int32_t c = v.BtInferParent.empty() ? 0 : v.BtInferParent(i, k);
      if (c > 0) {
        ids[static_cast<std::size_t>(i)][static_cast<std::size_t>(k - 1)] = v.cndparentid(k)(c);
        continue;
      }
      int32_t& f = number[static_cast<std::size_t>(v.BtIndivLoc(i, k))];
      if (f == 0) f = ++next;
      ids[static_cast<std::size_t>(i)][static_cast<std::size_t>(k - 1)] =
          std::string(1, v.sexid[static_cast<std::size_t>(k - 1)]) + std::to_string(f);
    }
  }
  return ids;
}

void WriteBestConfig(const std::vector<std::array<std::string, 2>>& ids) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".BestConfig");
  out << Right("OffspringID", 20) << Right("FatherID", 21) << Right("MotherID", 21) << Right("ClusterIndex", 14)
      << '\n';
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    out << Right(v.offspringid(i), 20) << Right(ids[static_cast<std::size_t>(i)][0], 21)
        << Right(ids[static_cast<std::size_t>(i)][1], 21) << Right(std::to_string(v.BtIndivLoc(i, 3)), 14) << '\n';
  }
  out.Commit();
}

}  // namespace

void Output() {
  Variables& v = variables;
  if (v.smplsize < 1 || v.BtIndivLoc.empty()) return;
  UseBestConfig();
  SetInitCluster();  // clusters of the best configuration, by first member
  if (v.threadid != 0) return;
  if (v.displayq != 0) std::cout << "Preparing & outputing results..." << std::endl;
  WriteBestConfig(BestParentID());
}
