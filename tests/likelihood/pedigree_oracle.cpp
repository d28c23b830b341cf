// A test oracle for family likelihoods by brute force.
#include "pedigree_oracle.h"

#include <algorithm>
#include <cmath>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "likelihood/likelihood_setup.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

GenoPair Sorted(GenoPair p) { return p.first <= p.second ? p : GenoPair{p.second, p.first}; }

struct Drawer {
  std::mt19937& rng;
  double missing, error;
  double U() { return std::uniform_real_distribution<double>(0, 1)(rng); }
  int32_t Allele(int32_t n) { return std::uniform_int_distribution<int32_t>(1, n)(rng); }
  GenoPair Observe(GenoPair t, const OracleLocus& L, bool haploid) {
    if (U() < missing) return {0, 0};
    if (U() < error) t.first = Allele(L.n);
    if (haploid) t.second = t.first;
    if (L.dominant) return {(t.first == 1 || t.second == 1) ? 1 : 2, 0};
    return Sorted(t);
  }
};

}  // namespace

OraclePedigree DrawPedigree(std::mt19937& rng, const OracleShape& shape, std::vector<OracleLocus> loci,
                            bool haplodiploid, double missing, double error, int32_t maxFamilySize) {
  Drawer d{rng, missing, error};
  OraclePedigree ped;
  for (auto& L : loci) {
    L.freqs.assign(static_cast<std::size_t>(L.n), 0.0);
    double tot = 0;
    for (double& f : L.freqs) tot += (f = std::uniform_real_distribution<double>(0.2, 1)(rng));
    for (double& f : L.freqs) f /= tot;
  }
  ped.loci = loci;
  const std::size_t nl = loci.size();
  std::vector<std::vector<GenoPair>> truth(shape.sexes.size(), std::vector<GenoPair>(nl));
  for (std::size_t p = 0; p < shape.sexes.size(); ++p) {
    const bool haploid = haplodiploid && shape.sexes[p] == 1;
    OraclePedigree::Parent parent;
    parent.sex = shape.sexes[p];
    parent.sampled = std::find(shape.sampled.begin(), shape.sampled.end(), static_cast<int32_t>(p)) != shape.sampled.end();
    for (std::size_t l = 0; l < nl; ++l) {
      const int32_t a = d.Allele(loci[l].n);
      truth[p][l] = haploid ? GenoPair{a, a} : Sorted({a, d.Allele(loci[l].n)});
      parent.obs.push_back(parent.sampled ? d.Observe(truth[p][l], loci[l], haploid) : GenoPair{0, 0});
    }
    ped.parents.push_back(parent);
  }
  for (const auto& [fa, mo] : shape.families) {
    OraclePedigree::Family fam;
    fam.father = fa;
    fam.mother = mo;
    const int32_t size = 1 + static_cast<int32_t>(rng() % static_cast<unsigned>(maxFamilySize));
    for (int32_t c = 0; c < size; ++c) {
      const bool son = haplodiploid && c == size - 1 && size > 1;
      std::vector<GenoPair> obs(nl);
      for (std::size_t l = 0; l < nl; ++l) {
        const GenoPair dad = truth[static_cast<std::size_t>(fa)][l], mum = truth[static_cast<std::size_t>(mo)][l];
        const int32_t fromMum = (rng() & 1) ? mum.first : mum.second;
        const GenoPair child = son ? GenoPair{fromMum, fromMum} : Sorted({(rng() & 1) ? dad.first : dad.second, fromMum});
        obs[l] = d.Observe(child, loci[l], son);
      }
      fam.offspring.push_back(obs);
      fam.ploidy.push_back(son ? 1 : 2);
    }
    ped.families.push_back(fam);
  }
  return ped;
}

void InstallPedigree(const OraclePedigree& ped) {
  const int32_t nl = static_cast<int32_t>(ped.loci.size());
  variables.numloci = nl;
  variables.droprate.assign(static_cast<std::size_t>(nl), 0.0);
  variables.othererrorrate.assign(static_cast<std::size_t>(nl), 0.0);
  variables.dominantmarker.assign(static_cast<std::size_t>(nl), 0);
  likelihoodvar.obsnumallele.assign(static_cast<std::size_t>(nl), 0);
  likelihoodvar.obsallelefre.assign(static_cast<std::size_t>(nl));
  int32_t maxn = 0;
  for (int32_t l = 1; l <= nl; ++l) {
    const OracleLocus& L = ped.loci[static_cast<std::size_t>(l - 1)];
    variables.droprate(l) = L.D;
    variables.othererrorrate(l) = L.E;
    variables.dominantmarker(l) = L.dominant ? 1 : 0;
    likelihoodvar.obsnumallele(l) = L.n;
    likelihoodvar.obsallelefre(l) = L.freqs;
    maxn = std::max(maxn, L.n);
  }
  BuildGenotypeCodes(maxn);
  int32_t noff = 0;
  for (const auto& f : ped.families) noff += static_cast<int32_t>(f.offspring.size());
  int32_t ncand[3] = {0, 0, 0};
  for (const auto& p : ped.parents) ncand[p.sex] += p.sampled ? 1 : 0;
  variables.smplsize = noff;
  variables.numchild(1) = ncand[1];
  variables.numchild(2) = ncand[2];
  variables.ploidy(1) = variables.haplodiploid == 1 ? 1 : 2;
  variables.ploidy(2) = 2;
  variables.offploid.assign(static_cast<std::size_t>(noff), 2);
  variables.indivgtype.assign(static_cast<std::size_t>(nl));
  for (int32_t s = 1; s <= 2; ++s) variables.cndgtype(s).assign(static_cast<std::size_t>(nl));
  for (int32_t l = 1; l <= nl; ++l) {
    const int32_t n = ped.loci[static_cast<std::size_t>(l - 1)].n;
    variables.indivgtype(l).assign(ColumnWords(noff, n), 0);
    for (int32_t s = 1; s <= 2; ++s) variables.cndgtype(s)(l).assign(ColumnWords(ncand[s], n), 0);
  }
  familyloglvar = FamilyLoglVar{};
  int32_t next[3] = {0, 0, 0};
  for (const auto& p : ped.parents) {
    FamilyLoglVar::Parent q;
    q.sex = p.sex;
    if (p.sampled) {
      q.candidate = ++next[p.sex];
      for (int32_t l = 1; l <= nl; ++l) {
        setgetgtype.locusgtypeptr = &variables.cndgtype(p.sex)(l);
        SetGtype(p.obs[static_cast<std::size_t>(l - 1)], q.candidate, ped.loci[static_cast<std::size_t>(l - 1)].n);
      }
    }
    familyloglvar.parents.push_back(q);
  }
  int32_t child = 0;
  for (const auto& f : ped.families) {
    FamilyLoglVar::Family fam;
    fam.father = f.father;
    fam.mother = f.mother;
    for (std::size_t c = 0; c < f.offspring.size(); ++c) {
      ++child;
      for (int32_t l = 1; l <= nl; ++l) {
        setgetgtype.locusgtypeptr = &variables.indivgtype(l);
        SetGtype(f.offspring[c][static_cast<std::size_t>(l - 1)], child, ped.loci[static_cast<std::size_t>(l - 1)].n);
      }
      variables.offploid(child) = static_cast<int8_t>(f.ploidy[c]);
      fam.members.push_back(child);
    }
    familyloglvar.families.push_back(fam);
  }
  setgetgtype.packedq = true;  // stored above in their final codes
  InitialFsProb(1, 1, nl);
}

std::vector<GenoPair> OracleDiploidGenotypes(int32_t n) {
  std::vector<GenoPair> diploid;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i; j <= n; ++j) diploid.push_back({i, j});
  }
  return diploid;
}

double OracleObservation(const OracleLocus& L, GenoPair obs, GenoPair truth, bool haploid) {
  if (obs.first <= 0) return 1.0;
  const double Es = ErrScale(L.n, L.E);
  if (haploid) return PrbG_P(obs.first, 0, truth.first, 0, L.n, L.D, Es, 0);
  const int32_t a = std::min(truth.first, truth.second), b = std::max(truth.first, truth.second);
  return PrbG_P(obs.first, L.dominant ? 0 : obs.second, a, b, L.n, L.D, Es, 0);
}

double OracleLocusLogL(const OraclePedigree& ped, int32_t l, double F, bool hd) {
  const OracleLocus& L = ped.loci[static_cast<std::size_t>(l - 1)];
  const int32_t n = L.n;
  const std::vector<double>& fr = L.freqs;
  const std::vector<GenoPair> diploid = OracleDiploidGenotypes(n);
  auto space = [&](const OraclePedigree::Parent& p) { return hd && p.sex == 1 ? n : static_cast<int32_t>(diploid.size()); };
  auto obsProb = [&](GenoPair obs, GenoPair truth, bool haploid) { return OracleObservation(L, obs, truth, haploid); };
  const std::size_t np = ped.parents.size();
  std::vector<int32_t> x(np, 0);
  std::vector<GenoPair> g(np);
  double total = 0;
  while (true) {
    double w = 1.0;
    for (std::size_t k = 0; k < np && w > 0; ++k) {
      const auto& p = ped.parents[k];
      const GenoPair obs = p.sampled ? p.obs[static_cast<std::size_t>(l - 1)] : GenoPair{0, 0};
      if (hd && p.sex == 1) {
        g[k] = {x[k] + 1, x[k] + 1};
        w *= fr[static_cast<std::size_t>(x[k])] * obsProb(obs, g[k], true);
      } else {
        g[k] = diploid[static_cast<std::size_t>(x[k])];
        const double pi = fr[static_cast<std::size_t>(g[k].first - 1)];
        w *= (g[k].first == g[k].second ? pi * (F + (1 - F) * pi) : 2 * (1 - F) * pi * fr[static_cast<std::size_t>(g[k].second - 1)]) *
             obsProb(obs, g[k], false);
      }
    }
    for (const auto& f : ped.families) {
      for (std::size_t c = 0; c < f.offspring.size() && w > 0; ++c) {
        const GenoPair o = f.offspring[c][static_cast<std::size_t>(l - 1)];
        const GenoPair mum = g[static_cast<std::size_t>(f.mother)];
        double s = 0;
        if (f.ploidy[c] == 1) {
          for (int32_t a : {mum.first, mum.second}) s += 0.5 * obsProb(o, {a, a}, true);
        } else {
          const GenoPair dad = g[static_cast<std::size_t>(f.father)];
          for (int32_t a : {dad.first, dad.second}) {
            for (int32_t b : {mum.first, mum.second}) s += 0.25 * obsProb(o, {a, b}, false);
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
