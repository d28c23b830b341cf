// Known and excluded relationships of the project file: known paternity
// and maternity (with the mismatch allowance), known paternal and maternal
// sibships, excluded parents and excluded sibships.
#include <string>
#include <unordered_set>
#include <vector>

#include "input/allele_recoding.h"
#include "input/identifier_lookup.h"
#include "input/project_reader.h"
#include "runctl/error_stop.h"
#include "state/variables.h"

namespace {

// Number of codominant loci, typed in both, at which the candidate shares
// no allele with the offspring. All are counted, so that a pair dropped for
// too many can be reported with their number.
int32_t Mismatches(int32_t offspring, int32_t sex, int32_t candidate) {
  int32_t mismatches = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (variables.dominantmarker(l) != 0) continue;
    const auto [o1, o2] = StoredAlleles(0, offspring, l);
    const auto [c1, c2] = StoredAlleles(sex, candidate, l);
    if (o1 > 0 && c1 > 0 && o1 != c1 && o1 != c2 && o2 != c1 && o2 != c2) ++mismatches;
  }
  return mismatches;
}

// A count of the known/excluded sections: negative is a failed read.
int32_t ReadCount(ProjectReader& reader) {
  const int32_t n = reader.IntItem();
  if (n < 0) reader.Fail();
  return n;
}

// Reads n identifiers of the read in progress.
void ReadIds(ProjectReader& reader, int32_t n, std::vector<std::string>& ids) {
  ids.clear();
  for (int32_t k = 0; k < n; ++k) ids.push_back(StoredId(reader.Item()));
}

}  // namespace

void PrepareRelationshipTables() {
  Variables& v = variables;
  const std::size_t n = static_cast<std::size_t>(v.smplsize);
  v.indivparent.assign(n, 2, -1);
  v.knownsibship.assign(n, 2, 0);
  for (int32_t sex = 1; sex <= 2; ++sex) {
    v.excludedparent(sex).assign(n);
    v.excludedsib(sex).assign(n);
    v.numknownprnt(sex) = 0;
    v.numknownprnt(sex + 2) = 0;
    v.numknownsibship(sex) = 0;
  }
  v.anyknownprntq = 0;
  v.anyexcludedparentq = 0;
  v.anyexcludedsibshipq = 0;
}

void ReadKnownParentage(ProjectReader& reader, int32_t sex) {
  Variables& v = variables;
  const std::string errorline = "Error in reading known " + ParentLetter(sex) + "aternity";
  reader.Begin(errorline);
  const int32_t npairs = ReadCount(reader);
  const int32_t allowance = std::max(reader.IntItem(), 0);
  // Each offspring has one parent of a sex: more pairs than offspring can
  // only be a wrong count.
  if (npairs > v.smplsize) reader.Fail();
  std::vector<char> listed(static_cast<std::size_t>(v.smplsize) + 1, 0);
  for (int32_t k = 1; k <= npairs; ++k) {
    reader.Begin(errorline);
    const std::string offspringid = StoredId(reader.Item());
    const std::string candidateid = StoredId(reader.Item());
    const int32_t o = FindIndiv(offspringid, 0);
    const int32_t c = FindIndiv(candidateid, sex);
    if (listed[static_cast<std::size_t>(o)] != 0) {
      StopOnDataError("Offspring " + Printable(offspringid) + " is listed more than once in the known " +
                      ParentLetter(sex) + "aternity section!");
    }
    listed[static_cast<std::size_t>(o)] = 1;
    if (sex == 1 && v.offploid(o) == 1) {
      StopOnDataError("Haploid offspring " + Printable(offspringid) + " has a known father, " +
                      Printable(candidateid) + ", which is impossible!");
    }
    // A pair over its mismatch allowance is dropped, not refused: the
    // allowance says how much the user trusts the pair.
    const int32_t mismatches = allowance < v.numloci ? Mismatches(o, sex, c) : 0;
    if (mismatches > allowance) {
      InputWarning("Known " + std::string(sex == 1 ? "father " : "mother ") + Printable(candidateid) +
                   " of offspring " + Printable(offspringid) + " mismatches at " + std::to_string(mismatches) +
                   (mismatches == 1 ? " locus" : " loci") + ", more than the allowance of " +
                   std::to_string(allowance) + ": not taken as known");
      continue;
    }
    // numknownprnt(sex): distinct candidates known as parents;
    // numknownprnt(sex + 2): offspring with a known parent of that sex.
    bool newparent = true;
    for (int32_t i = 1; i <= v.smplsize && newparent; ++i) newparent = v.indivparent(i, sex) != c;
    v.indivparent(o, sex) = c;
    if (newparent) ++v.numknownprnt(sex);
    ++v.numknownprnt(sex + 2);
    v.anyknownprntq = 1;
  }
}

void ReadKnownSibships(ProjectReader& reader, int32_t sex) {
  Variables& v = variables;
  const std::string errorline = "Error in reading known " + ParentLetter(sex) + "aternal sibship";
  reader.Begin(errorline);
  const std::string count = Field(reader.Item(), 20);
  const auto nsibships = ParseInteger(count, 9);
  if (!nsibships) {
    StopOnDataError("\nAn integer expected for number of known sibship, but reads \"" + Printable(count) + "\"");
  }
  // Sibships do not share offspring, so there are at most as many as
  // offspring.
  if (*nsibships < 0 || *nsibships > v.smplsize) reader.Fail();
  std::vector<std::string> ids;
  for (int32_t s = 1; s <= *nsibships; ++s) {
    reader.Begin(errorline);
    const int32_t size = ReadCount(reader);
    if (size > v.smplsize) reader.Fail();
    ReadIds(reader, size, ids);
    for (const std::string& id : ids) {
      const int32_t o = FindIndiv(id, 0);
      if (sex == 1 && v.offploid(o) == 1) {
        StopOnDataError("Haploid offspring " + Printable(id) + " has a known paternal sibship, which is impossible!");
      }
      if (v.knownsibship(o, sex) != 0) {
        StopOnDataError("Offspring " + Printable(id) + " is listed more than once in the known " + ParentLetter(sex) +
                        "aternal sibships!");
      }
      v.knownsibship(o, sex) = s;
    }
  }
  v.numknownsibship(sex) = *nsibships;
}

void ReadExcludedParentage(ProjectReader& reader, int32_t sex) {
  Variables& v = variables;
  const std::string errorline = "Error in reading known excluded " + ParentLetter(sex) + "aternity";
  reader.Begin(errorline);
  const int32_t nlines = ReadCount(reader);
  std::vector<std::string> ids;
  std::unordered_set<int64_t> excluded;
  for (int32_t k = 1; k <= nlines; ++k) {
    reader.Begin(errorline);
    const std::string offspringid = StoredId(reader.Item());
    const int32_t n = ReadCount(reader);
    // Each candidate can be excluded once per offspring.
    if (n > v.numchild(sex)) reader.Fail();
    ReadIds(reader, n, ids);
    const int32_t o = FindIndiv(offspringid, 0);
    for (const std::string& id : ids) {
      const int32_t c = FindIndiv(id, sex);
      if (!excluded.insert(static_cast<int64_t>(o) * 65536 + c).second) {
        StopOnDataError("Excluded candidate, " + Printable(id) + ", for offspring " + Printable(offspringid) +
                        " is repeated!");
      }
      v.excludedparent(sex)(o).push_back(c);
      v.anyexcludedparentq = 1;
    }
  }
}

void ReadExcludedSibships(ProjectReader& reader, int32_t sex) {
  Variables& v = variables;
  const std::string errorline = "Error in reading known excluded " + ParentLetter(sex) + "aternal sibship";
  reader.Begin(errorline);
  const int32_t nlines = ReadCount(reader);
  std::vector<std::string> ids;
  for (int32_t k = 1; k <= nlines; ++k) {
    reader.Begin(errorline);
    const std::string offspringid = StoredId(reader.Item());
    const int32_t n = ReadCount(reader);
    if (n > v.smplsize) reader.Fail();
    ReadIds(reader, n, ids);
    const int32_t o = LocateOffspring(v.offspringidindex, v.smplsize, offspringid);
    if (o == 0) {
      StopOnDataError("Offspring ID, " + Printable(offspringid) +
                      ", in excluded sibship section not found in the offspring pool!");
    }
    for (const std::string& id : ids) {
      const int32_t other = LocateOffspring(v.offspringidindex, v.smplsize, id);
      if (other == 0) {
        StopOnDataError("Offspring ID, " + Printable(id) + ", in excluded sibship section not found in offspring pool!");
      }
      v.excludedsib(sex)(o).push_back(other);
      v.anyexcludedsibshipq = 1;
    }
  }
}
