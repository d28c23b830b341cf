// Cost of one family-locus evaluation, the inner loop of the search: a
// full-sib family of 10 offspring at a 10-allele locus, a half-sib cluster
// of 5 full-sib families of 6 offspring sharing a father at a 10-allele
// locus, the same cluster at a SNP locus, and a ring of families in which
// no parent is pendant. Reports nanoseconds per evaluation and checks that
// no heap allocation happens once warmed up.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "genotype/genotype_codes.h"
#include "likelihood/family_likelihood.h"
#include "likelihood/likelihood_setup.h"
#include "likelihood/peeling.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Replacing the global allocation functions with malloc/free is exactly
// what GCC's mismatch warning is about; here it is intended.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Counting allocator: every heap allocation of the program passes here.
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// nloci loci of n alleles, equally frequent, with 1% error, and empty
// genotype columns for noff diploid offspring.
void SetUpLoci(int32_t nloci, int32_t n, int32_t noff) {
  variables = Variables{};
  likelihoodvar = LikelihoodVar{};
  familyloglvar = FamilyLoglVar{};
  variables.numloci = nloci;
  variables.likelihoodprecision = 1;
  variables.droprate.assign(nloci, 0.01);
  variables.othererrorrate.assign(nloci, 0.01);
  variables.dominantmarker.assign(nloci, 0);
  likelihoodvar.obsnumallele.assign(nloci, n);
  likelihoodvar.obsallelefre.assign(nloci, std::vector<double>(static_cast<std::size_t>(n), 1.0 / n));
  BuildGenotypeCodes(n);
  variables.smplsize = noff;
  variables.offploid.assign(static_cast<std::size_t>(noff), 2);
  variables.indivgtype.assign(static_cast<std::size_t>(nloci));
  for (int32_t l = 1; l <= nloci; ++l) variables.indivgtype(l).assign(ColumnWords(noff, n), 0);
}

// An offspring of the parents dad and mum, stored as offspring i.
template <class Rng>
void Offspring(Rng& rng, std::pair<int32_t, int32_t> dad, std::pair<int32_t, int32_t> mum, int32_t i, int32_t n) {
  int32_t a = (rng() & 1) ? dad.first : dad.second;
  int32_t b = (rng() & 1) ? mum.first : mum.second;
  if (a > b) std::swap(a, b);
  SetGtype({a, b}, i, n);
}

// One locus of n alleles; full-sib families of `size` offspring laid out
// as (father, mother) pairs over `fathers` fathers and `mothers` mothers,
// drawn from random parents.
void SetUpLayout(int32_t n, int32_t fathers, int32_t mothers, const std::vector<std::pair<int32_t, int32_t>>& layout,
                 int32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  SetUpLoci(1, n, static_cast<int32_t>(layout.size()) * size);
  setgetgtype.locusgtypeptr = &variables.indivgtype(1);
  std::uniform_int_distribution<int32_t> allele(1, n);
  std::vector<std::pair<int32_t, int32_t>> genotype;
  for (int32_t p = 0; p < fathers + mothers; ++p) {
    genotype.emplace_back(allele(rng), allele(rng));
    familyloglvar.parents.push_back({p < fathers ? 1 : 2, 0});
  }
  int32_t next = 0;
  for (const auto& [father, mother] : layout) {
    FamilyLoglVar::Family fam;
    fam.father = father;
    fam.mother = fathers + mother;
    for (int32_t c = 0; c < size; ++c) {
      Offspring(rng, genotype[static_cast<std::size_t>(fam.father)], genotype[static_cast<std::size_t>(fam.mother)],
                ++next, n);
      fam.members.push_back(next);
    }
    familyloglvar.families.push_back(fam);
  }
  InitialFsProb(1, 1, 1);
}

// `families` full-sib families of `size` offspring at one locus of n
// alleles, all sharing one father.
void SetUp(int32_t n, int32_t families, int32_t size, uint32_t seed) {
  std::vector<std::pair<int32_t, int32_t>> layout;
  for (int32_t f = 0; f < families; ++f) layout.emplace_back(0, f);
  SetUpLayout(n, 1, families, layout, size, seed);
}

void Run(benchmark::State& state) {
  double logl = 0;
  FamilyLocusLogL(1, logl);  // warm the work buffers
  const long before = allocations.load();
  for (auto _ : state) {
    FamilyLocusLogL(1, logl);
    benchmark::DoNotOptimize(logl);
  }
  state.counters["allocs_per_eval"] =
      static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}

void BM_FullSibFamily10Alleles(benchmark::State& state) {
  SetUp(10, 1, 10, 1);
  Run(state);
}
void BM_HalfSibCluster10Alleles(benchmark::State& state) {
  SetUp(10, 5, 6, 2);
  Run(state);
}
void BM_HalfSibClusterSnp(benchmark::State& state) {
  SetUp(2, 5, 6, 3);
  Run(state);
}
// Three fathers and three mothers linked in a ring of six full-sib
// families of 5 at an 8-allele locus: no parent is pendant, so parents of
// two families are summed into tables between their mates.
void BM_LoopCluster8Alleles(benchmark::State& state) {
  SetUpLayout(8, 3, 3, {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {0, 2}}, 5, 4);
  Run(state);
}

// A sample of 1,000 offspring at 20 ten-allele loci with 1% error, in 100
// full-sib families of 10 grouped in half-sib clusters of 2 families
// sharing a father. A move of the search rescores the two clusters it
// touches: this measures exactly that, two cluster likelihoods over all
// loci.
std::vector<FamilyLoglVar> clusters;

void SetUpSample() {
  std::mt19937 rng(7);
  const int32_t nloci = 20, n = 10, nfam = 100, size = 10;
  SetUpLoci(nloci, n, nfam * size);
  std::uniform_int_distribution<int32_t> allele(1, n);
  std::vector<std::vector<std::pair<int32_t, int32_t>>> fathers(nfam / 2), mothers(nfam);
  for (auto& g : fathers) for (int32_t l = 0; l < nloci; ++l) g.push_back({allele(rng), allele(rng)});
  for (auto& g : mothers) for (int32_t l = 0; l < nloci; ++l) g.push_back({allele(rng), allele(rng)});
  for (int32_t l = 1; l <= nloci; ++l) {
    setgetgtype.locusgtypeptr = &variables.indivgtype(l);
    int32_t next = 0;
    for (int32_t f = 0; f < nfam; ++f) {
      const auto dad = fathers[static_cast<std::size_t>(f / 2)][static_cast<std::size_t>(l - 1)];
      const auto mum = mothers[static_cast<std::size_t>(f)][static_cast<std::size_t>(l - 1)];
      for (int32_t c = 0; c < size; ++c) Offspring(rng, dad, mum, ++next, n);
    }
  }
  clusters.clear();
  for (int32_t k = 0; k < nfam / 2; ++k) {
    FamilyLoglVar c;
    c.parents = {{1, 0}, {2, 0}, {2, 0}};
    for (int32_t f = 0; f < 2; ++f) {
      FamilyLoglVar::Family fam;
      fam.father = 0;
      fam.mother = 1 + f;
      for (int32_t i = 1; i <= size; ++i) fam.members.push_back((2 * k + f) * size + i);
      c.families.push_back(fam);
    }
    clusters.push_back(c);
  }
  setgetgtype.packedq = true;
  InitialFsProb(1, 1, nloci);
}

void BM_SearchMove1000x20(benchmark::State& state) {
  SetUpSample();
  double logl = 0;
  std::size_t k = 0;
  for (auto _ : state) {
    for (int side = 0; side < 2; ++side) {
      familyloglvar = clusters[k];
      FamilyLikelihood(logl, -1e300, 1, 0, 0);
      benchmark::DoNotOptimize(logl);
      k = (k + 1) % clusters.size();
    }
  }
  state.SetLabel("two clusters x 20 loci per move");
}

}  // namespace

BENCHMARK(BM_FullSibFamily10Alleles);
BENCHMARK(BM_HalfSibCluster10Alleles);
BENCHMARK(BM_HalfSibClusterSnp);
BENCHMARK(BM_LoopCluster8Alleles);
BENCHMARK(BM_SearchMove1000x20)->Unit(benchmark::kMicrosecond);
