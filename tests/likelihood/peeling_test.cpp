// The locus log likelihood of family clusters against a brute-force sum
// over every genotype of every parent (sampled or not) and every
// transmission, with the error model applied to each observation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "likelihood/peeling.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using Pair = std::pair<int32_t, int32_t>;

struct Pedigree {
  // Parents: sex and, when sampled, its observation.
  struct Parent {
    int32_t sex;
    bool sampled;
    Pair obs;
  };
  std::vector<Parent> parents;
  struct Family {
    int32_t father, mother;
    std::vector<Pair> offspring;  // observations
    std::vector<int32_t> ploidy;  // 1 haploid son, 2 diploid
  };
  std::vector<Family> families;
};

class PeelingTest : public PedkinTest {
 protected:
  // One locus with n alleles; stores the pedigree's observations as
  // offspring and candidates and lays out the families for the engine.
  void Install(const Pedigree& ped, int32_t n, double D, double E, bool dominant) {
    variables.numloci = 1;
    variables.droprate.assign(1, D);
    variables.othererrorrate.assign(1, E);
    variables.dominantmarker.assign(1, dominant ? 1 : 0);
    likelihoodvar.obsnumallele.assign(1, n);
    likelihoodvar.locuserror.assign(1, (D >= 1e-10 || E >= 1e-10) ? 1 : 0);
    likelihoodvar.obsallelefre.assign(1, freqs_);
    BuildGenotypeCodes(n);
    PhenotypeGivenGenotype(1, 1);
    int32_t noff = 0;
    for (const auto& f : ped.families) noff += static_cast<int32_t>(f.offspring.size());
    variables.smplsize = noff;
    variables.offploid.assign(static_cast<std::size_t>(noff), 2);
    variables.indivgtype.assign(1, std::vector<uint16_t>(ColumnWords(noff, n), 0));
    for (int32_t s = 1; s <= 2; ++s) {
      variables.cndgtype(s).assign(1, std::vector<uint16_t>(ColumnWords(static_cast<int32_t>(ped.parents.size()), n), 0));
    }
    familyloglvar = FamilyLoglVar{};
    int32_t ncand = 0;
    for (const auto& p : ped.parents) {
      FamilyLoglVar::Parent q;
      q.sex = p.sex;
      if (p.sampled) {
        q.candidate = ++ncand;
        setgetgtype.locusgtypeptr = &variables.cndgtype(p.sex)(1);
        SetGtype(p.obs, q.candidate, n);
      }
      familyloglvar.parents.push_back(q);
    }
    int32_t next = 0;
    setgetgtype.locusgtypeptr = &variables.indivgtype(1);
    for (const auto& f : ped.families) {
      FamilyLoglVar::Family fam;
      fam.father = f.father;
      fam.mother = f.mother;
      for (std::size_t k = 0; k < f.offspring.size(); ++k) {
        ++next;
        SetGtype(f.offspring[k], next, n);
        variables.offploid(next) = static_cast<int8_t>(f.ploidy[k]);
        fam.members.push_back(next);
      }
      familyloglvar.families.push_back(fam);
    }
  }

  // Brute force over every parental genotype over all n alleles.
  double BruteForce(const Pedigree& ped, int32_t n, double D, double E, bool dominant, double F) {
    const double Es = ErrScale(n, E);
    const bool hd = variables.haplodiploid == 1;
    std::vector<Pair> diploid;
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t j = i; j <= n; ++j) diploid.push_back({i, j});
    }
    auto space = [&](const Pedigree::Parent& p) { return hd && p.sex == 1 ? n : static_cast<int32_t>(diploid.size()); };
    auto obsProb = [&](Pair obs, Pair truth, bool haploid) {
      if (obs.first <= 0) return 1.0;
      if (dominant) {
        return PrbG_P(obs.first, 0, truth.first, haploid ? truth.first : truth.second, n, D, Es, 0);
      }
      if (haploid) return PrbG_P(obs.first, 0, truth.first, 0, n, D, Es, 0);
      return PrbG_P(obs.first, obs.second, std::min(truth.first, truth.second), std::max(truth.first, truth.second), n, D, Es, 0);
    };
    const std::size_t np = ped.parents.size();
    std::vector<int32_t> x(np, 0);
    double total = 0;
    while (true) {
      double w = 1.0;
      std::vector<Pair> g(np);
      for (std::size_t k = 0; k < np; ++k) {
        const auto& p = ped.parents[k];
        if (hd && p.sex == 1) {
          g[k] = {x[k] + 1, x[k] + 1};
          w *= freqs_[static_cast<std::size_t>(x[k])];
          if (p.sampled) w *= obsProb(p.obs, {g[k].first, 0}, true);
        } else {
          g[k] = diploid[static_cast<std::size_t>(x[k])];
          const double pi = freqs_[static_cast<std::size_t>(g[k].first - 1)];
          w *= g[k].first == g[k].second ? pi * (F + (1 - F) * pi)
                                         : 2 * (1 - F) * pi * freqs_[static_cast<std::size_t>(g[k].second - 1)];
          if (p.sampled) w *= obsProb(p.obs, g[k], false);
        }
      }
      for (const auto& f : ped.families) {
        for (std::size_t c = 0; c < f.offspring.size(); ++c) {
          const Pair mum = g[static_cast<std::size_t>(f.mother)];
          double s = 0;
          if (f.ploidy[c] == 1) {  // haploid son: one of his mother's alleles
            for (int32_t a : {mum.first, mum.second}) s += 0.5 * obsProb(f.offspring[c], {a, a}, true);
          } else {
            const Pair dad = g[static_cast<std::size_t>(f.father)];
            const bool hdad = hd;
            for (int32_t a : {dad.first, dad.second}) {
              for (int32_t b : {mum.first, mum.second}) {
                s += (hdad ? 0.25 : 0.25) * obsProb(f.offspring[c], {a, b}, false);
              }
            }
          }
          w *= s;
        }
      }
      total += w;
      std::size_t k = 0;
      while (k < np && ++x[k] == space(ped.parents[k])) x[k++] = 0;
      if (k == np) break;
    }
    return total > 0 ? std::log(total) : -1e300;
  }

  std::vector<double> freqs_;
};

// Draws observations for a pedigree of true genotypes.
struct Drawer {
  std::mt19937 rng;
  int32_t n;
  double missing, error;
  Pair Diploid() { return Sorted({Allele(), Allele()}); }
  int32_t Allele() { return std::uniform_int_distribution<int32_t>(1, n)(rng); }
  static Pair Sorted(Pair p) { return p.first <= p.second ? p : Pair{p.second, p.first}; }
  Pair Observe(Pair t, bool dominant) {
    if (std::uniform_real_distribution<double>(0, 1)(rng) < missing) return {0, 0};
    if (std::uniform_real_distribution<double>(0, 1)(rng) < error) t.first = Allele();
    if (dominant) return {(t.first == 1 || t.second == 1) ? 1 : 2, 0};
    return Sorted(t);
  }
  Pair Child(Pair dad, Pair mum) {
    const bool u = std::uniform_int_distribution<int>(0, 1)(rng) != 0;
    const bool v = std::uniform_int_distribution<int>(0, 1)(rng) != 0;
    return Sorted({u ? dad.first : dad.second, v ? mum.first : mum.second});
  }
};

TEST_F(PeelingTest, ClustersEqualBruteForce) {
  struct Shape {
    const char* name;
    std::vector<int32_t> sexes;         // per parent
    std::vector<std::pair<int, int>> families;  // father, mother
    std::vector<int32_t> sampled;       // parents that are candidates
    bool monoecious = false;
  };
  const std::vector<Shape> shapes = {
      {"one full-sib family", {1, 2}, {{0, 1}}, {}},
      {"two families sharing a father", {1, 2, 2}, {{0, 1}, {0, 2}}, {}},
      {"three families sharing a father", {1, 2, 2, 2}, {{0, 1}, {0, 2}, {0, 3}}, {}},
      {"chain father-mother-father", {1, 2, 1}, {{0, 1}, {2, 1}}, {}},
      {"loop of two fathers and two mothers", {1, 2, 1, 2}, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}, {}},
      {"sampled father", {1, 2, 2}, {{0, 1}, {0, 2}}, {0}},
      {"sampled mother and father", {1, 2}, {{0, 1}}, {0, 1}},
      {"one individual in both roles", {1, 1, 1}, {{0, 1}, {1, 2}}, {}, true},
      {"selfed family beside an outcrossed one", {1, 1}, {{0, 0}, {0, 1}}, {0}, true},
  };
  std::mt19937 seeds(123);
  int evaluated = 0, impossible = 0;
  for (const auto& s : shapes) {
    for (int32_t hd : {0, 1}) {
      if (hd == 1 && s.monoecious) continue;
      for (bool dominant : {false, true}) {
        for (int variant = 0; variant < 4; ++variant) {
          const int32_t n = dominant ? 2 : 2 + variant % 3;  // 2, 3 or 4 alleles
          const double rate = variant % 2 == 0 ? 0.0 : 0.03;
          Drawer d{std::mt19937(seeds()), n, variant == 3 ? 0.2 : 0.0, rate};
          variables = Variables{};
          variables.haplodiploid = hd;
          variables.numsex = s.monoecious ? 1 : 2;
          variables.allowinbreeding = s.monoecious ? 1 : 0;
          variables.inbreeding = s.monoecious ? 0.1 : 0.0;
          likelihoodvar = LikelihoodVar{};
          likelihoodvar.prec3 = 1e-7;
          variables.likelihoodprecision = 3;
          freqs_.assign(static_cast<std::size_t>(n), 0);
          double tot = 0;
          for (double& f : freqs_) tot += (f = std::uniform_real_distribution<double>(0.2, 1)(d.rng));
          for (double& f : freqs_) f /= tot;
          Pedigree ped;
          std::vector<Pair> truth;
          for (std::size_t p = 0; p < s.sexes.size(); ++p) {
            const bool haploid = hd == 1 && s.sexes[p] == 1;
            const Pair t = haploid ? Pair{d.Allele(), 0} : d.Diploid();
            truth.push_back(haploid ? Pair{t.first, t.first} : t);
            const bool sampled = std::find(s.sampled.begin(), s.sampled.end(), static_cast<int32_t>(p)) != s.sampled.end();
            Pair obs = sampled ? d.Observe(truth.back(), dominant) : Pair{0, 0};
            if (haploid && !dominant && obs.first > 0) obs = {obs.first, obs.first};
            ped.parents.push_back({s.sexes[p], sampled, obs});
          }
          for (const auto& [fa, mo] : s.families) {
            Pedigree::Family fam{fa, mo, {}, {}};
            const int32_t size = 1 + static_cast<int32_t>(d.rng() % 4);
            for (int32_t c = 0; c < size; ++c) {
              const bool son = hd == 1 && c == size - 1 && size > 1;
              Pair child = son ? Pair{truth[static_cast<std::size_t>(mo)].first, truth[static_cast<std::size_t>(mo)].first}
                               : d.Child(truth[static_cast<std::size_t>(fa)], truth[static_cast<std::size_t>(mo)]);
              Pair obs = d.Observe(child, dominant);
              if (son && !dominant && obs.first > 0) obs = {obs.first, obs.first};
              fam.offspring.push_back(obs);
              fam.ploidy.push_back(son ? 1 : 2);
            }
            ped.families.push_back(fam);
          }
          Install(ped, n, rate, rate, dominant);
          double logl = 0;
          FamilyLocusLogL(1, logl);
          const double expected = BruteForce(ped, n, rate, rate, dominant, variables.inbreeding);
          ++evaluated;
          if (expected <= -1e300) {
            ++impossible;
            EXPECT_EQ(logl, -1e300) << s.name;
          } else {
            EXPECT_NEAR(logl, expected, 1e-9 * std::max(1.0, std::fabs(expected)))
                << s.name << (hd ? " haplodiploid" : "") << (dominant ? " dominant" : "") << " variant " << variant;
          }
        }
      }
    }
  }
  EXPECT_GT(evaluated, 100);
  EXPECT_LT(impossible, evaluated / 4);
}

}  // namespace
