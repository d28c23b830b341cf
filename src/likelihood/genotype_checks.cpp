// Quick rejection of configurations that have probability zero at the
// error-free loci. Without typing errors an offspring must carry an allele
// of each parent, a full-sib family shows at most four alleles (three when
// the father is haploid), and a selfed parent (a, b) gives only (a, a),
// (a, b) and (b, b). The likelihood itself would come out zero for such a
// configuration; these checks find it without computing any table.
#include "likelihood/genotype_checks.h"

#include <algorithm>
#include <array>

#include "genotype/genotype_codes.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

bool ErrorFreeCodominant(int32_t l) {
  return likelihoodvar.locuserror(l) == 0 && variables.dominantmarker(l) == 0 && likelihoodvar.obsnumallele(l) >= 2;
}

bool Shares(const std::pair<int32_t, int32_t>& g, int32_t a) { return g.first == a || g.second == a; }

}  // namespace

void GenotypeCheck(int32_t& ok) {
  ok = 1;
  const FamilyLoglVar& fv = familyloglvar;
  const bool hd = variables.haplodiploid == 1;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (!ErrorFreeCodominant(l)) continue;
    for (const auto& fam : fv.families) {
      std::array<int32_t, 5> seen{};
      int32_t shown = 0;
      for (int32_t i : fam.members) {
        const auto g = ObservedGenotype(0, i, l);
        if (g.first <= 0) continue;
        for (int32_t a : {g.first, g.second}) {
          if (std::find(seen.begin(), seen.begin() + shown, a) != seen.begin() + shown) continue;
          if (shown == (hd ? 3 : 4)) {
            ok = 0;
            return;
          }
          seen[static_cast<std::size_t>(shown++)] = a;
        }
        const bool son = hd && variables.offploid(i) == 1;
        for (int32_t role : {fam.father, fam.mother}) {
          if (role < 0 || (son && role == fam.father)) continue;
          const auto& parent = fv.parents[static_cast<std::size_t>(role)];
          if (parent.candidate <= 0) continue;
          const auto p = ObservedGenotype(parent.sex, parent.candidate, l);
          if (p.first <= 0) continue;
          // A diploid child shares an allele with each parent; a haploid
          // father passes his allele to every daughter; a son carries one of
          // his mother's alleles.
          const bool haploidFather = hd && parent.sex == 1;
          const bool compatible = haploidFather ? Shares(g, p.first)
                                                : (Shares(p, g.first) || Shares(p, g.second));
          if (!compatible) {
            ok = 0;
            return;
          }
        }
      }
    }
  }
}

void SelfingCheck(int32_t& ok) {
  ok = 1;
  if (variables.numsex != 1) return;
  for (const auto& fam : familyloglvar.families) {
    if (fam.father < 0 || fam.father != fam.mother) continue;
    for (int32_t l = 1; l <= variables.numloci; ++l) {
      if (!ErrorFreeCodominant(l)) continue;
      std::array<std::pair<int32_t, int32_t>, 3> seen{};
      int32_t distinct = 0;
      for (int32_t i : fam.members) {
        const auto g = ObservedGenotype(0, i, l);
        if (g.first <= 0) continue;
        if (std::find(seen.begin(), seen.begin() + distinct, g) != seen.begin() + distinct) continue;
        if (distinct == 3) {
          ok = 0;
          return;
        }
        seen[static_cast<std::size_t>(distinct++)] = g;
      }
    }
  }
}
