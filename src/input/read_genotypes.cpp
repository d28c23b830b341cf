// Genotype sections of the project file: the offspring (identifiers,
// ploidy, allele items), the proportions sampled and numbers of candidate
// parents, and the candidates' genotypes, with the checks that tie
// identifiers and genotypes together.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "input/allele_recoding.h"
#include "input/identifier_lookup.h"
#include "input/project_reader.h"
#include "runctl/error_stop.h"
#include "runctl/messages.h"
#include "state/variables.h"

namespace {

// One individual's line as read. Items that are not allele values are
// remembered (the first one) and reported once the line has been read
// whole, so that a line cut short reports the failed read instead.
struct GenotypeLine {
  std::string id;
  std::string ploidyitem;
  std::vector<int32_t> alleles;
  int32_t badlocus = 0;
  std::string baditem;
};

constexpr int32_t kHaploidMark = -99;

void ReadGenotypeLine(ProjectReader& reader, const std::string& errorline, bool withploidy,
                      GenotypeLine& line) {
  reader.Begin(errorline);
  line.id = StoredId(reader.Item());
  if (withploidy) line.ploidyitem = Field(reader.Item(), 20);
  line.alleles.clear();
  line.badlocus = 0;
  const int32_t nloci = variables.numloci;
  for (int32_t l = 1; l <= nloci; ++l) {
    const int nitems = reader.dominant(l) != 0 ? 1 : 2;
    for (int k = 0; k < nitems; ++k) {
      const std::string_view item = reader.Item();
      // An allele is an integer written in at most 12 characters, within 32
      // bits; a longer item is refused rather than cut to another allele.
      std::optional<int32_t> value;
      if (item.size() <= 12) value = ParseInteger(item, 12);
      if (!value) {
        if (line.badlocus == 0) {
          line.badlocus = l;
          line.baditem = Field(item, 20);
        }
        value = 0;
      }
      line.alleles.push_back(*value);
    }
  }
}

// For a haploid individual, a typed codominant locus is written as the
// allele followed by -99; it is stored as the allele twice.
void DoubleHaploidAlleles(std::vector<int32_t>& alleles) {
  std::size_t pos = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (variables.dominantmarker(l) != 0) {
      ++pos;
      continue;
    }
    if (alleles[pos] > 0 && alleles[pos + 1] == kHaploidMark) alleles[pos + 1] = alleles[pos];
    pos += 2;
  }
}

// Ploidy of an offspring of a haplodiploid species from its genotypes:
// -99 as second item of a typed codominant locus is haploid evidence, a
// second allele diploid evidence; any other second item makes the locus
// missing. 0 when the evidence conflicts.
int32_t PloidyFromGenotypes(std::vector<int32_t>& alleles) {
  bool haploid = false, diploid = false;
  std::size_t pos = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (variables.dominantmarker(l) != 0) {
      ++pos;
      continue;
    }
    int32_t& a = alleles[pos];
    int32_t& b = alleles[pos + 1];
    pos += 2;
    if (a <= 0) continue;
    if (b == kHaploidMark) {
      haploid = true;
      b = a;
    } else if (b > 0) {
      diploid = true;
    } else {
      a = 0;
      b = 0;
    }
  }
  if (haploid && diploid) return 0;
  return haploid ? 1 : 2;
}

bool AllMissing(const std::vector<int32_t>& alleles) {
  std::size_t pos = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (variables.dominantmarker(l) != 0) {
      if (alleles[pos++] > 0) return false;
    } else {
      if (alleles[pos] > 0 && alleles[pos + 1] > 0) return false;
      pos += 2;
    }
  }
  return true;
}

bool SameGenotypes(int32_t sex1, int32_t index1, int32_t sex2, int32_t index2) {
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (StoredAlleles(sex1, index1, l) != StoredAlleles(sex2, index2, l)) return false;
  }
  return true;
}

// Every marker dominant: then offspring of a haplodiploid species carry
// their ploidy on the line, as genotypes cannot show it.
bool AllDominant(const ProjectReader& reader) {
  const auto& d = reader.dominant;
  if (d.uniform) return d.value != 0;
  return std::all_of(d.values.begin(), d.values.end(), [](int8_t x) { return x != 0; });
}

void SetMatingSystem() {
  Variables& v = variables;
  if (v.smplsizedh(2) == 0) {
    // Haploid offspring only: no mating to infer.
    v.maxmatings(1) = 1;
    v.maxmatings(2) = 1;
    v.allowinbreeding = 0;
    v.monogamy(1) = 1;
    v.monogamy(2) = 1;
  } else {
    for (int32_t k = 1; k <= 2; ++k) v.monogamy(k) = v.maxmatings(k) == 1 ? 1 : 0;
  }
  v.allmonogamy = (v.monogamy(1) == 1 && v.monogamy(2) == 1) ? 1 : 0;
  v.anymonogamy = (v.monogamy(1) == 1 || v.monogamy(2) == 1) ? 1 : 0;
}

std::string CandidateLabel(int32_t sex, int32_t k) { return "Candidate " + SexName(sex) + " " + std::to_string(k); }

// Checks of one sex's candidates once they are all read: identifiers given
// twice, and identifiers shared with offspring. linked(i) is the sex whose
// candidate shares offspring i's identifier (0 none).
void CheckCandidateIds(int32_t sex, std::vector<int8_t>& linked) {
  Variables& v = variables;
  const Vec1<std::string>& ids = v.cndparentid(sex);
  BuildIdIndex(ids, v.cndidindex(sex));
  const auto [first, other] = FindRepeatedId(ids, v.cndidindex(sex));
  if (first != 0) {
    StopOnDataError(CandidateLabel(sex, other) + " has the same ID, " + Printable(ids(first)) +
                    ", as candidate " + std::to_string(first));
  }
  for (int32_t k = 1; k <= v.numchild(sex); ++k) {
    const int32_t o = LocateOffspring(v.offspringidindex, v.smplsize, ids(k));
    if (o == 0) continue;
    const std::string both = CandidateLabel(sex, k) + " and offspring " + std::to_string(o);
    // One individual cannot be of both sexes in a dioecious species, nor, in
    // a haplodiploid one, of a ploidy other than its sex's.
    const bool impossible = (v.haplodiploid == 1 && v.offploid(o) != v.ploidy(sex)) ||
                            (v.numsex == 2 && linked[static_cast<std::size_t>(o)] != 0 &&
                             linked[static_cast<std::size_t>(o)] != sex);
    if (impossible) {
      StopOnDataError(both + " has the same individual ID, " + Printable(ids(k)) + ", which is impossible!");
    }
    if (!SameGenotypes(sex, k, 0, o)) {
      StopOnDataError(both + " have the same individual ID, " + Printable(ids(k)) +
                      ", but have different genotypes!");
    }
    linked[static_cast<std::size_t>(o)] = static_cast<int8_t>(sex);
  }
}

}  // namespace

void ReadOffspring(ProjectReader& reader) {
  Variables& v = variables;
  if (v.displayq != 0) std::cout << "Reading offspring genotype data..." << '\n';
  const bool haplodiploid = v.haplodiploid == 1;
  const bool withploidy = haplodiploid && AllDominant(reader);
  const uint64_t nitems = reader.AlleleItemCount() + (withploidy ? 2 : 1);
  const std::size_t expected =
      std::min<std::size_t>(static_cast<std::size_t>(v.smplsize), reader.LinesThatFit(nitems));
  v.offspringid.clear();
  v.offspringid.raw().reserve(expected);
  v.offploid.clear();
  v.offploid.raw().reserve(expected);
  v.smplsizedh(1) = 0;
  v.smplsizedh(2) = 0;
  GenotypeLine line;
  int32_t counter = 0;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    ReadGenotypeLine(reader, "Data or data format error in IDs and genotypes of offspring: " + std::to_string(i),
                     withploidy, line);
    if (i == 1) {
      // The first line holds every locus: the per-locus tables can be built.
      ExpandLocusTables(reader);
      AllocateGenotypeTables(0, expected);
      line.alleles.reserve(line.alleles.size());
    }
    const std::string id = Printable(line.id);
    if (line.badlocus != 0) {
      StopOnDataError("Offspring " + id + " has incorrect allele at locus " + std::to_string(line.badlocus) +
                      ": " + Printable(line.baditem));
    }
    int32_t ploidy = 2;
    if (withploidy) {
      const auto given = ParseInteger(line.ploidyitem, 9);
      if (!given || (*given != 1 && *given != 2)) StopOnDataError("Offspring " + id + " has incorrect ploidy!");
      ploidy = *given;
    } else if (haplodiploid) {
      ploidy = PloidyFromGenotypes(line.alleles);
      if (ploidy == 0) {
        StopOnDataError("Offspring " + id + " has incorrect genotypes: Unable to determine its ploidy!");
      }
    }
    if (AllMissing(line.alleles)) StopOnDataError("Offspring " + id + " has no genotype data and should be removed!");
    ConvertGenotype(line.alleles, 0, i, "Offspring " + id);
    v.offspringid.raw().push_back(line.id);
    v.offploid.raw().push_back(static_cast<int8_t>(ploidy));
    ++v.smplsizedh(ploidy);
    WriteProgress(counter, 10);
  }
  if (v.smplsize > 9 && v.displayq != 0) {
    if (v.igui == 1) std::cout << '\n';
    else std::cout << '\r' << std::string(20, ' ') << '\r';
    std::cout.flush();
  }
  if (v.smplsizedh(1) + v.smplsizedh(2) != v.smplsize) {
    StopOnDataError("Total #offspring not equal to #haploid + #diploid offspring!");
  }
  if (v.numsex == 1 && v.smplsizedh(1) > 0) StopOnDataError("For monoecious, no haploid offspring is allowed!");
  BuildIdIndex(v.offspringid, v.offspringidindex);
  const auto [first, other] = FindRepeatedId(v.offspringid, v.offspringidindex);
  if (first != 0) {
    StopOnDataError("Offspring " + std::to_string(other) + " has the same ID, " +
                    Printable(v.offspringid(first)) + ", as offspring " + std::to_string(first));
  }
  SetMatingSystem();
}

void ReadCandidates(ProjectReader& reader) {
  Variables& v = variables;
  reader.Begin("Error in reading Proportions of parents sampled");
  v.propprntsampled(1) = reader.RealItem();
  v.propprntsampled(2) = reader.RealItem();
  for (int32_t k = 1; k <= 2; ++k) {
    if (!(v.propprntsampled(k) >= 0.001 && v.propprntsampled(k) <= 1.0)) {
      StopOnDataError("Probability of a parent included in candidates should be in the range [0.001, 1]!");
    }
  }
  reader.Begin("Error in reading Numbers of candidate parents");
  v.numchild(1) = reader.IntItem();
  v.numchild(2) = reader.IntItem();
  if (v.numchild(1) < 0 || v.numchild(2) < 0) StopOnDataError("Number of candidates should be >= 0!");
  // Candidates are numbered in 16 bits elsewhere, as offspring are.
  if (v.numchild(1) > 32767 || v.numchild(2) > 32767) StopOnDataError("Number of candidates should be <= 32767!");
  if (v.numsex == 1 && v.numchild(1) != v.numchild(2)) {
    StopOnDataError("For monoecious, numbers of candidate fathers and mothers should be equal!");
  }

  if (v.displayq != 0) std::cout << "Reading candidate parent genotype data..." << '\n';
  std::vector<int8_t> linked(static_cast<std::size_t>(v.smplsize) + 1, 0);
  GenotypeLine line;
  for (int32_t sex = 1; sex <= 2; ++sex) {
    const int32_t n = v.numchild(sex);
    const std::size_t expected =
        std::min<std::size_t>(static_cast<std::size_t>(n), reader.LinesThatFit(reader.AlleleItemCount() + 1));
    AllocateGenotypeTables(sex, expected);
    v.cndparentid(sex).clear();
    v.cndparentid(sex).raw().reserve(expected);
    v.cndidindex(sex).clear();
    if (n == 0) continue;
    if (v.displayq != 0) std::cout << "  " << SexName(sex) << " candidates 1 - " << n << '\n';
    for (int32_t k = 1; k <= n; ++k) {
      ReadGenotypeLine(reader,
                       "Error in reading the ID and genotypes of " + SexName(sex) + " candidate " + std::to_string(k),
                       false, line);
      const std::string label = "Candidate " + SexName(sex) + " " + Printable(line.id);
      if (line.badlocus != 0) {
        StopOnDataError(label + " has incorrect allele at locus " + std::to_string(line.badlocus) + ": " +
                        Printable(line.baditem));
      }
      if (v.ploidy(sex) == 1) DoubleHaploidAlleles(line.alleles);
      ConvertGenotype(line.alleles, sex, k, label);
      v.cndparentid(sex).raw().push_back(line.id);
    }
    CheckCandidateIds(sex, linked);
  }
  if (v.numsex == 1) {
    for (int32_t k = 1; k <= v.numchild(1); ++k) {
      const std::string pair = "Candidate father " + Printable(v.cndparentid(1)(k)) + " and candidate mother " +
                               Printable(v.cndparentid(2)(k));
      if (v.cndparentid(1)(k) != v.cndparentid(2)(k)) StopOnDataError(pair + " should have the same ID for monoecious!");
      if (!SameGenotypes(1, k, 2, k)) StopOnDataError(pair + " should have the same genotype for monoecious!");
    }
  }
}
