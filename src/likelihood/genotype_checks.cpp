// Quick rejection of configurations that have probability zero at the
// error-free loci. Without typing errors a full-sib family shows at most
// four alleles (three when the father is haploid), an offspring carries one
// allele of each of its sampled parents, and a selfed parent (a, b) gives
// only (a, a), (a, b) and (b, b). The likelihood itself would come out zero
// for such a configuration; these checks find it without computing any
// table. Each looks only at what the observations make certain, so that no
// configuration of non-zero probability is ever rejected.
#include "likelihood/genotype_checks.h"

#include <algorithm>
#include <array>

#include "genotype/genotype_codes.h"
#include "search/configuration.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

using Genotype = std::pair<int32_t, int32_t>;

bool ErrorFree(int32_t l) { return likelihoodvar.locuserror(l) == 0 && likelihoodvar.obsnumallele(l) >= 2; }

bool ErrorFreeCodominant(int32_t l) { return ErrorFree(l) && variables.dominantmarker(l) == 0; }

bool ErrorFreeDominant(int32_t l) { return ErrorFree(l) && variables.dominantmarker(l) != 0; }

bool Shares(const Genotype& g, int32_t a) { return g.first == a || g.second == a; }


bool HaploidFather(const FamilyLoglVar::Parent& p) { return variables.haplodiploid == 1 && p.sex == 1; }

// The observed genotype of parent `role` of the families (missing when the
// parent is not sampled).
Genotype ParentGenotype(int32_t role, int32_t l) {
  if (role < 0) return {0, 0};
  const FamilyLoglVar::Parent& p = familyloglvar.parents[static_cast<std::size_t>(role)];
  if (p.candidate <= 0) return {0, 0};
  return ObservedGenotype(p.sex, p.candidate, l);
}

bool Typed(const Genotype& g) { return g.first > 0; }

// Whether diploid child g can take one allele from each of the true
// genotypes f and m (either may be unknown; a haploid father is (a, a)).
bool FromParents(const Genotype& g, const Genotype& f, const Genotype& m) {
  const bool tf = Typed(f), tm = Typed(m);
  if (tf && tm) {
    return (Shares(f, g.first) && Shares(m, g.second)) || (Shares(f, g.second) && Shares(m, g.first));
  }
  if (tf) return Shares(f, g.first) || Shares(f, g.second);
  if (tm) return Shares(m, g.first) || Shares(m, g.second);
  return true;
}

}  // namespace

void GenotypeCheck(int32_t& ok) {
  ok = 1;
  const bool hd = variables.haplodiploid == 1;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (!ErrorFreeCodominant(l)) continue;
    for (const auto& fam : familyloglvar.families) {
      // A selfed family's bound is the selfing check's.
      const std::size_t most = fam.father < 0 ? 2 : (hd ? 3 : 4);
      std::array<int32_t, 5> seen{};
      std::size_t shown = 0;
      for (int32_t i : fam.members) {
        const Genotype g = ObservedGenotype(0, i, l);
        if (!Typed(g)) continue;
        for (int32_t a : {g.first, g.second}) {
          if (std::find(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(shown), a) !=
              seen.begin() + static_cast<std::ptrdiff_t>(shown)) {
            continue;
          }
          if (shown == most) {
            ok = 0;
            return;
          }
          seen[shown++] = a;
        }
      }
    }
  }
}

void GenotypeCheckP(int32_t& ok) {
  ok = 1;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (!ErrorFreeCodominant(l)) continue;
    for (const auto& fam : familyloglvar.families) {
      const Genotype f = ParentGenotype(fam.father, l), m = ParentGenotype(fam.mother, l);
      if (!Typed(f) && !Typed(m)) continue;
      for (int32_t i : fam.members) {
        const Genotype g = ObservedGenotype(0, i, l);
        if (!Typed(g)) continue;
        // A son carries one of his mother's alleles; a daughter her haploid
        // father's allele and one of her mother's; a selfed offspring two
        // alleles of its one parent.
        const bool compatible = HaploidOffspring(i) ? (!Typed(m) || Shares(m, g.first)) : FromParents(g, f, m);
        if (!compatible) {
          ok = 0;
          return;
        }
      }
    }
  }
}

void GenotypeCheckPDom(int32_t& ok) {
  ok = 1;
  // Phenotype 2 is the recessive homozygote (2, 2), or a haploid's allele 2;
  // phenotype 1 carries allele 1.
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (!ErrorFreeDominant(l)) continue;
    for (const auto& fam : familyloglvar.families) {
      const int32_t fp = ParentGenotype(fam.father, l).first, mp = ParentGenotype(fam.mother, l).first;
      if (fp <= 0 && mp <= 0) continue;
      const bool haploidFather = fam.father >= 0 && HaploidFather(familyloglvar.parents[static_cast<std::size_t>(fam.father)]);
      for (int32_t i : fam.members) {
        const int32_t o = ObservedGenotype(0, i, l).first;
        if (o <= 0) continue;
        bool compatible = true;
        if (HaploidOffspring(i)) {
          compatible = !(o == 1 && mp == 2);
        } else if (o == 1) {
          // Allele 1 must come from somewhere: not from two recessive
          // parents (one, when selfed).
          compatible = !(fp == 2 && mp == 2);
        } else if (haploidFather) {
          // A daughter takes her father's allele: allele 1 makes her
          // show phenotype 1.
          compatible = fp != 1;
        }
        if (!compatible) {
          ok = 0;
          return;
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
      // Typing errors can make any genotype appear: only error-free loci
      // bound what a selfed family may show.
      if (!ErrorFreeCodominant(l)) continue;
      std::array<Genotype, 3> seen{};
      std::array<int32_t, 2> alleles{};
      int32_t distinct = 0, nalleles = 0;
      for (int32_t i : fam.members) {
        const Genotype g = ObservedGenotype(0, i, l);
        if (!Typed(g)) continue;
        // The parent's two alleles are all its selfed offspring can carry.
        for (int32_t a : {g.first, g.second}) {
          if (std::find(alleles.begin(), alleles.begin() + nalleles, a) != alleles.begin() + nalleles) continue;
          if (nalleles == 2) {
            ok = 0;
            return;
          }
          alleles[static_cast<std::size_t>(nalleles++)] = a;
        }
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
