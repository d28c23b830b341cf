// Genotype sections of the project file: the offspring (identifiers,
// ploidy, allele items), the proportions sampled and numbers of candidate
// parents, and the candidates' genotypes, with the checks that tie
// identifiers and genotypes together.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <unordered_map>
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
  std::string fullid;  // the identifier as written, when it was cut
  std::string ploidyitem;
  std::vector<int32_t> alleles;
  int32_t badlocus = 0;
  std::string baditem;
  // File lines on which the read began and ended: a read that had to go on
  // to further lines took items of whatever follows a short line.
  long firstline = 0;
  long lastline = 0;
};

constexpr int32_t kHaploidMark = -99;

// haploidmark: -99 may stand as the second item of a codominant locus (the
// mark of a haploid genotype); every other negative item is refused, not
// taken as missing.
void ReadGenotypeLine(ProjectReader& reader, const std::string& errorline, bool withploidy, bool haploidmark,
                      GenotypeLine& line) {
  reader.Begin(errorline);
  const std::string_view id = reader.Item();
  line.firstline = reader.file.LineNumber();
  line.id = StoredId(id);
  const std::size_t end = id.find_last_not_of(' ');
  line.fullid = end != std::string_view::npos && end >= kIdLength ? std::string(id.substr(0, end + 1)) : std::string();
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
      if (value && *value < 0 && !(haploidmark && k == 1 && *value == kHaploidMark)) value.reset();
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
  line.lastline = reader.file.LineNumber();
}

// A line whose items ran out before its alleles did, so that the read took
// the items of the next line(s) and met one that is no allele: the list is
// shorter than its count, or this line is.
bool ShortLine(const GenotypeLine& line) { return line.badlocus != 0 && line.lastline != line.firstline; }

// Each identifier cut to 20 characters is reported, with the individual;
// cut[k] keeps individual k's identifier as written.
void ReportCutId(const GenotypeLine& line, const std::string& individual, int32_t k,
                 std::unordered_map<int32_t, std::string>& cut) {
  if (line.fullid.empty()) return;
  cut[k] = Printable(line.fullid);
  InputWarning("Identifier " + cut[k] + " of " + individual + " is longer than 20 characters: cut to " +
               Printable(line.id));
}

// The end of a message on an identifier given twice when the two were only
// made equal by cutting them.
std::string CutNote(const std::unordered_map<int32_t, std::string>& cut, const Vec1<std::string>& ids, int32_t k1,
                    int32_t k2) {
  const auto a = cut.find(k1), b = cut.find(k2);
  if (a == cut.end() && b == cut.end()) return std::string();
  return " once identifiers are cut to 20 characters (" + (a != cut.end() ? a->second : Printable(ids(k1))) + ", " +
         (b != cut.end() ? b->second : Printable(ids(k2))) + ")";
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

// The parent that the result files name like id: "*" or "#" and a number
// stand for the unsampled fathers and mothers of the best configuration
// ("#" for both in a monoecious species), "*-" for the absent father of a
// haploid offspring. Empty when id is no such name.
std::string UnsampledRole(const std::string& id) {
  if (id == "*-") return "the absent father of a haploid offspring";
  if (id.size() < 2 || (id[0] != '*' && id[0] != '#')) return std::string();
  if (id.find_first_not_of("0123456789", 1) != std::string::npos) return std::string();
  if (id[0] == '*') return "an unsampled father";
  return variables.numsex == 2 ? "an unsampled mother" : "an unsampled parent";
}

// Checks of one sex's candidates once they are all read: names of
// unsampled parents, identifiers given twice, and identifiers shared with
// offspring. linked(i) is the sex whose candidate shares offspring i's
// identifier (0 none); cut holds the identifiers that were cut, as written.
void CheckCandidateIds(int32_t sex, std::vector<int8_t>& linked, const std::unordered_map<int32_t, std::string>& cut) {
  Variables& v = variables;
  const Vec1<std::string>& ids = v.cndparentid(sex);
  for (int32_t k = 1; k <= v.numchild(sex); ++k) {
    const std::string role = UnsampledRole(ids(k));
    if (!role.empty()) {
      StopOnDataError(CandidateLabel(sex, k) + " has the ID " + Printable(ids(k)) +
                      ", the name the result files give " + role + ": the two could not be told apart!");
    }
  }
  BuildIdIndex(ids, v.cndidindex(sex));
  const auto [first, other] = FindRepeatedId(ids, v.cndidindex(sex));
  if (first != 0) {
    StopOnDataError(CandidateLabel(sex, other) + " has the same ID, " + Printable(ids(first)) +
                    ", as candidate " + std::to_string(first) + CutNote(cut, ids, other, first));
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

// In a dioecious species no individual is both a candidate father and a
// candidate mother. (In a monoecious one every candidate is listed as
// both, which the reader checks separately.)
void CheckCandidatesOfBothSexes() {
  const Variables& v = variables;
  if (v.numsex != 2) return;
  const Vec1<std::string>& mothers = v.cndparentid(2);
  for (int32_t k = 1; k <= v.numchild(1); ++k) {
    const std::string& id = v.cndparentid(1)(k);
    const int32_t m = LocateId(mothers, v.cndidindex(2), v.numchild(2), id);
    if (m != 0) {
      StopOnDataError(CandidateLabel(1, k) + " and candidate female " + std::to_string(m) + " have the same ID, " +
                      Printable(id) + ", which is impossible for a dioecious species!");
    }
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
  std::unordered_map<int32_t, std::string> cut;
  int32_t counter = 0;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    ReadGenotypeLine(reader, "Data or data format error in IDs and genotypes of offspring: " + std::to_string(i),
                     withploidy, haplodiploid, line);
    if (i == 1) {
      // The first line holds every locus: the per-locus tables can be built.
      ExpandLocusTables(reader);
      AllocateGenotypeTables(0, expected);
      line.alleles.reserve(line.alleles.size());
    }
    const std::string id = Printable(line.id);
    if (ShortLine(line)) {
      StopOnDataError("Line " + std::to_string(line.firstline) + ", read as offspring " + std::to_string(i) +
                      ", holds too few allele items: fewer offspring are listed than the " +
                      std::to_string(v.smplsize) + " of line 3, Offspring Sample Size, or a line is cut short!");
    }
    if (line.badlocus != 0) {
      StopOnDataError("Offspring " + id + " has incorrect allele at locus " + std::to_string(line.badlocus) +
                      ": " + Printable(line.baditem));
    }
    ReportCutId(line, "offspring " + std::to_string(i), i, cut);
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
                    Printable(v.offspringid(first)) + ", as offspring " + std::to_string(first) +
                    CutNote(cut, v.offspringid, other, first));
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
  std::unordered_map<int32_t, std::string> cut;
  for (int32_t sex = 1; sex <= 2; ++sex) {
    cut.clear();
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
                       false, v.ploidy(sex) == 1, line);
      if (ShortLine(line)) {
        StopOnDataError("Line " + std::to_string(line.firstline) + ", read as " + SexName(sex) + " candidate " +
                        std::to_string(k) + ", holds too few allele items: fewer " + SexName(sex) +
                        " candidates are listed than the " + std::to_string(n) +
                        " given in Numbers of candidate parents, or a line is cut short!");
      }
      const std::string label = "Candidate " + SexName(sex) + " " + Printable(line.id);
      if (line.badlocus != 0) {
        StopOnDataError(label + " has incorrect allele at locus " + std::to_string(line.badlocus) + ": " +
                        Printable(line.baditem));
      }
      ReportCutId(line, "candidate " + SexName(sex) + " " + std::to_string(k), k, cut);
      if (v.ploidy(sex) == 1) DoubleHaploidAlleles(line.alleles);
      ConvertGenotype(line.alleles, sex, k, label);
      v.cndparentid(sex).raw().push_back(line.id);
    }
    CheckCandidateIds(sex, linked, cut);
  }
  CheckCandidatesOfBothSexes();
  if (v.numsex == 1) {
    for (int32_t k = 1; k <= v.numchild(1); ++k) {
      const std::string pair = "Candidate father " + Printable(v.cndparentid(1)(k)) + " and candidate mother " +
                               Printable(v.cndparentid(2)(k));
      if (v.cndparentid(1)(k) != v.cndparentid(2)(k)) StopOnDataError(pair + " should have the same ID for monoecious!");
      if (!SameGenotypes(1, k, 2, k)) StopOnDataError(pair + " should have the same genotype for monoecious!");
    }
  }
}
