// Recoding of allele names to small per-locus indexes as genotypes are read.
#include "input/allele_recoding.h"

#include <algorithm>

#include "runctl/error_stop.h"
#include "state/variables.h"

namespace {

Vec1<std::vector<uint16_t>>& GroupTable(int32_t sex) {
  return sex == 0 ? variables.indivgtype : variables.cndgtype(sex);
}

int32_t GroupSize(int32_t sex) {
  return sex == 0 ? variables.smplsize : variables.numchild(sex);
}

// Index of an allele name at a locus, appending a new name.
int32_t AlleleIndex(int32_t locus, int32_t name) {
  std::vector<int32_t>& names = variables.rawalleleid(locus);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (names[k] == name) return static_cast<int32_t>(k + 1);
  }
  if (names.size() >= 127) {
    StopWithMessage("The observed # alleles at locus " + std::to_string(locus) + " > 127!",
                    "ConvertGenotype");
  }
  names.push_back(name);
  variables.rawallelenum(locus) = static_cast<int8_t>(names.size());
  return static_cast<int32_t>(names.size());
}

}  // namespace

void AllocateGenotypeTables() {
  const std::size_t nloci = static_cast<std::size_t>(std::max(variables.numloci, 0));
  variables.rawalleleid.assign(nloci);
  variables.rawallelenum.assign(nloci, 0);
  for (int32_t sex = 0; sex <= 2; ++sex) {
    auto& table = GroupTable(sex);
    table.assign(nloci);
    for (auto& column : table) column.assign(static_cast<std::size_t>(std::max(GroupSize(sex), 0)), 0);
  }
}

void AllocateGenotypeTables(int32_t sex, std::size_t expected) {
  const std::size_t nloci = static_cast<std::size_t>(std::max(variables.numloci, 0));
  if (sex == 0) {
    variables.rawalleleid.assign(nloci);
    variables.rawallelenum.assign(nloci, 0);
  }
  auto& table = GroupTable(sex);
  table.assign(nloci);
  for (auto& column : table) column.reserve(expected);
}

void ConvertGenotype(const std::vector<int32_t>& alleles, int32_t sex, int32_t index,
                     const std::string& label) {
  auto& table = GroupTable(sex);
  std::size_t pos = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    uint16_t code = 0;
    if (variables.dominantmarker(l) != 0) {
      const int32_t item = alleles.at(pos++);
      if (item > 2) {
        StopWithMessage(label + " at dominant locus " + std::to_string(l) +
                            " has an illegal genotype",
                        "ConvertGenotype");
      }
      // The stored value is the phenotype itself; the list of items seen
      // still counts the phenotypes observed at the locus.
      if (item > 0) {
        AlleleIndex(l, item);
        code = static_cast<uint16_t>(128 * item);
      }
    } else {
      const int32_t a = alleles.at(pos++);
      const int32_t b = alleles.at(pos++);
      if (a > 0 && b > 0) {
        int32_t i = AlleleIndex(l, a);
        int32_t j = AlleleIndex(l, b);
        if (i > j) std::swap(i, j);
        code = static_cast<uint16_t>(128 * i + j);
      }
    }
    std::vector<uint16_t>& column = table(l);
    if (column.size() < static_cast<std::size_t>(index)) column.resize(static_cast<std::size_t>(index), 0);
    column[static_cast<std::size_t>(index - 1)] = code;
  }
}

std::pair<int32_t, int32_t> StoredAlleles(int32_t sex, int32_t index, int32_t locus) {
  const uint16_t code = GroupTable(sex)(locus)[static_cast<std::size_t>(index - 1)];
  return {code / 128, code % 128};
}

void ReverseGtype(int32_t locus) {
  // Allele indexes 1 and 2 trade places: a positive index a becomes 3 - a,
  // and a pair that changes order is stored smaller first again.
  auto swapcode = [](uint16_t code) -> uint16_t {
    int32_t i = code / 128, j = code % 128;
    if (i > 0) i = 3 - i;
    if (j > 0) j = 3 - j;
    if (j > 0 && i > j) std::swap(i, j);
    return static_cast<uint16_t>(128 * i + j);
  };
  for (int32_t sex = 0; sex <= 2; ++sex) {
    auto& table = GroupTable(sex);
    if (table.size() < static_cast<std::size_t>(locus)) continue;
    for (uint16_t& code : table(locus)) code = swapcode(code);
  }
  std::vector<int32_t>& names = variables.rawalleleid(locus);
  if (names.size() >= 2) std::swap(names[0], names[1]);
}
