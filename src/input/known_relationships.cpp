// Consistency of the prior knowledge among itself: known parents, known
// sibships, excluded parents and excluded sibships. The search takes known
// relationships as fixed, so two items of knowledge that cannot both hold
// would otherwise be broken silently in the result. Members of a known
// sibship share their parent of that sex, so a known parent of one member
// is the known parent of every member: each rule below is applied to this
// closure.
#include "input/known_relationships.h"

#include <map>
#include <string>
#include <vector>

#include "runctl/error_stop.h"
#include "state/variables.h"

namespace {

const char* Parent(int32_t sex) { return sex == 1 ? "father" : "mother"; }
const char* Side(int32_t sex) { return sex == 1 ? "paternal" : "maternal"; }

// The parent of one sex that the knowledge gives an offspring: its own
// known parent, or the known parent of a member of its known sibship, with
// the offspring whose known parent it is.
struct KnownParent {
  int32_t candidate = 0;
  int32_t source = 0;
};

std::string Offspring(int32_t i) { return variables.offspringid(i); }
std::string Candidate(int32_t sex, int32_t c) {
  const Vec1<std::string>& ids = variables.cndparentid(sex);
  return c >= 1 && static_cast<std::size_t>(c) <= ids.size() ? ids(c) : std::to_string(c);
}

int32_t Sibship(int32_t i, int32_t sex) {
  const Variables& v = variables;
  return v.knownsibship.rows() >= static_cast<std::size_t>(i) ? v.knownsibship(i, sex) : 0;
}

int32_t OwnParent(int32_t i, int32_t sex) {
  const Variables& v = variables;
  return v.indivparent.rows() >= static_cast<std::size_t>(i) ? v.indivparent(i, sex) : 0;
}

// Known parents of sex `sex` closed over the known sibships of that sex;
// two members of one sibship with different known parents stop the run.
std::vector<KnownParent> CloseOverSibships(int32_t sex) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  std::vector<KnownParent> bySibship(static_cast<std::size_t>(std::max(v.numknownsibship(sex), 0)) + 1);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t s = Sibship(i, sex);
    const int32_t c = OwnParent(i, sex);
    if (s <= 0 || c <= 0 || static_cast<std::size_t>(s) >= bySibship.size()) continue;
    KnownParent& p = bySibship[static_cast<std::size_t>(s)];
    if (p.candidate == 0) {
      p = {c, i};
    } else if (p.candidate != c) {
      StopOnDataError("Offspring " + Offspring(p.source) + " and " + Offspring(i) + " of known " + Side(sex) +
                      " sibship " + std::to_string(s) + " have different known " + Parent(sex) + "s, " +
                      Candidate(sex, p.candidate) + " and " + Candidate(sex, c) + "!");
    }
  }
  std::vector<KnownParent> parent(static_cast<std::size_t>(n) + 1);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t c = OwnParent(i, sex);
    const int32_t s = Sibship(i, sex);
    if (c > 0) {
      parent[static_cast<std::size_t>(i)] = {c, i};
    } else if (s > 0 && static_cast<std::size_t>(s) < bySibship.size()) {
      parent[static_cast<std::size_t>(i)] = bySibship[static_cast<std::size_t>(s)];
    }
  }
  return parent;
}

// An excluded parent may not be the parent the knowledge gives.
void CheckExcludedParents(int32_t sex, const std::vector<KnownParent>& known) {
  const Variables& v = variables;
  if (v.excludedparent(sex).size() < static_cast<std::size_t>(v.smplsize)) return;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    const KnownParent& p = known[static_cast<std::size_t>(i)];
    if (p.candidate <= 0) continue;
    for (int32_t excluded : v.excludedparent(sex)(i)) {
      if (excluded != p.candidate) continue;
      if (p.source == i) {
        StopWithMessage("Data error! Offspring " + Offspring(i) + " has a known " + Parent(sex) +
                            " listed as excluded!",
                        "DataProcess");
      }
      StopOnDataError(std::string("Known ") + Parent(sex) + " " + Candidate(sex, excluded) + " of offspring " +
                      Offspring(p.source) + " is excluded for offspring " + Offspring(i) + " of the same known " +
                      Side(sex) + " sibship " + std::to_string(Sibship(i, sex)) + "!");
    }
  }
}

// Offspring excluded as sibs through one sex may not be sibs by knowledge:
// members of one known sibship, or offspring of one known parent.
void CheckExcludedSibs(int32_t sex, const std::vector<KnownParent>& known) {
  const Variables& v = variables;
  if (v.excludedsib(sex).size() < static_cast<std::size_t>(v.smplsize)) return;
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    for (int32_t j : v.excludedsib(sex)(i)) {
      const int32_t s = Sibship(i, sex);
      const std::string pair = "Offspring " + Offspring(i) + " and " + Offspring(j);
      if (j == i) {
        StopOnDataError("Offspring " + Offspring(i) + " is excluded as a " + Side(sex) + " sib of itself!");
      }
      if (s > 0 && Sibship(j, sex) == s) {
        StopOnDataError(pair + " are both in known " + Side(sex) + " sibship " + std::to_string(s) +
                        " and excluded as " + Side(sex) + " sibs!");
      }
      const int32_t c = known[static_cast<std::size_t>(i)].candidate;
      if (c > 0 && known[static_cast<std::size_t>(j)].candidate == c) {
        StopOnDataError(pair + " have the same known " + Parent(sex) + ", " + Candidate(sex, c) +
                        ", and are excluded as " + Side(sex) + " sibs!");
      }
    }
  }
}

// A parent of a monogamous sex mates one parent of the other sex only. The
// parent is a known candidate, or the unknown parent of a known sibship.
void CheckMonogamy(int32_t sex, const std::vector<KnownParent>& own, const std::vector<KnownParent>& mates) {
  const Variables& v = variables;
  const int32_t other = 3 - sex;
  std::map<int32_t, int32_t> mateOf;  // parent key -> an offspring with a known mate
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (v.offploid.size() >= static_cast<std::size_t>(i) && v.offploid(i) == 1) continue;
    const KnownParent& m = mates[static_cast<std::size_t>(i)];
    if (m.candidate <= 0) continue;
    const int32_t c = own[static_cast<std::size_t>(i)].candidate;
    const int32_t s = Sibship(i, sex);
    const int32_t key = c > 0 ? c : (s > 0 ? -s : 0);
    if (key == 0) continue;
    auto [it, added] = mateOf.emplace(key, i);
    const int32_t first = it->second;
    const int32_t firstMate = mates[static_cast<std::size_t>(first)].candidate;
    if (added || firstMate == m.candidate) continue;
    const std::string who = key > 0 ? std::string("Known ") + Parent(sex) + " " + Candidate(sex, key)
                                    : std::string("The ") + Parent(sex) + " of known " + Side(sex) + " sibship " +
                                          std::to_string(-key);
    StopOnDataError(who + " mates two known " + Parent(other) + "s, " + Candidate(other, firstMate) +
                    " (offspring " + Offspring(first) + ") and " + Candidate(other, m.candidate) + " (offspring " +
                    Offspring(i) + "), but " + Parent(sex) + "s are monogamous!");
  }
}

}  // namespace

void CheckKnownRelationships() {
  const Variables& v = variables;
  if (v.smplsize < 1 || v.indivparent.rows() < static_cast<std::size_t>(v.smplsize)) return;
  std::vector<KnownParent> known[3];
  for (int32_t sex = 1; sex <= 2; ++sex) {
    known[sex] = CloseOverSibships(sex);
    CheckExcludedParents(sex, known[sex]);
    CheckExcludedSibs(sex, known[sex]);
  }
  if (v.numsex != 2) return;
  for (int32_t sex = 1; sex <= 2; ++sex) {
    if (v.monogamy(sex) == 1) CheckMonogamy(sex, known[sex], known[3 - sex]);
  }
}
