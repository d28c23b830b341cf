// Parentage threshold simulation.
//
// The design follows the sample. Each sex with candidates has a simulated
// population of potential parents, min(10000, candidates / proportion
// sampled) members (never fewer than the candidates). A replication draws
// the true parent from that population, a mate from the allele
// frequencies, an offspring of the two, and as many candidates as the
// sample has from the population without replacement, so the true parent is
// among them as often as in the sample. Every simulated observation carries
// the locus's errors and its share of missing data among the offspring or
// among the candidates of that sex. The candidates are scored as the
// pairwise inference scores the sample's candidates, and a replication in
// which the best score is not above 0 (no parent would be assigned) is not
// counted.
//
// Every random draw comes from a generator made from the project's seed and
// the number of the replication (or of the population member), never from
// the program's main stream: the replications can be divided among any
// number of processes and each still draws the same values, and gathered
// in replication order they give every process count the same thresholds.
#include "pairwise/threshold_simulation.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <limits>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "pairwise/dyad_probability.h"
#include "runctl/parallel.h"
#include "state/likelihoodvar.h"
#include "state/simuvariables.h"
#include "state/variables.h"

namespace {

constexpr float kImpossible = -1e38f;
// Score tables up to this many entries are filled at once (and bound the
// scores); up to kDenseEntries they are filled when an entry is first
// needed; beyond, the entries met are kept in a map.
constexpr std::size_t kEagerEntries = 4096;
constexpr std::size_t kDenseEntries = std::size_t{1} << 20;
// A population whose observations would take more entries than this is not
// kept; its members are drawn again from their seeds when needed.
constexpr std::size_t kMaxStoredObs = std::size_t{1} << 25;
// Streams of the generator: population members, and replications.
constexpr uint64_t kPopulationStream = 1;
constexpr uint64_t kReplicationStream = 2;

uint64_t SimuSeed() {
  const int32_t seed = variables.newseed != 0 ? variables.newseed : variables.i_seed;
  return static_cast<uint64_t>(static_cast<int64_t>(seed));
}

int32_t Loci() { return static_cast<int32_t>(simuvariables.simloci.size()); }
int32_t LocusAt(int32_t k) { return simuvariables.simloci[static_cast<std::size_t>(k)]; }
int32_t Alleles(int32_t l) { return likelihoodvar.obsnumallele(l); }
bool Dominant(int32_t l) { return variables.dominantmarker(l) != 0; }

// ---- Observation indexes ----
// Haploid: the allele 1..n; diploid dominant: the phenotype 1..2; diploid
// codominant: the genotype's position 1..n(n + 1)/2; 0 missing.
int32_t NumObs(int32_t l, int32_t ploidy) {
  const int32_t n = Alleles(l);
  if (ploidy == 1) return n + 1;
  return Dominant(l) ? 3 : n * (n + 1) / 2 + 1;
}

// The alleles of observation index o of ploidy `ploidy` at locus l, in the
// form the pair probabilities take.
DyadObs DecodeObs(int32_t l, int32_t ploidy, int32_t o) {
  if (o <= 0) return DyadObs{0, 0, ploidy == 1};
  if (ploidy == 1 || Dominant(l)) return DyadObs{o, 0, ploidy == 1};
  const int32_t n = Alleles(l);
  if (o <= n) return DyadObs{o, o, false};
  // Heterozygotes follow the homozygotes, first allele major.
  int32_t rest = o - n;
  for (int32_t i = 1; i < n; ++i) {
    if (rest <= n - i) return DyadObs{i, i + rest, false};
    rest -= n - i;
  }
  return DyadObs{0, 0, false};
}

// ---- Drawing ----
int32_t DrawAllele(int32_t l, ItemRandom& rng) {
  const std::vector<double>& cum = simuvariables.cumallelefre(l);
  const double u = rng.Uniform() * cum.back();
  const auto it = std::upper_bound(cum.begin(), cum.end(), u);
  return static_cast<int32_t>(std::min<std::ptrdiff_t>(it - cum.begin(), static_cast<std::ptrdiff_t>(cum.size()) - 1)) + 1;
}

// An allele of 1..n other than x and y (0 = none), uniformly.
int32_t OtherAllele(ItemRandom& rng, int32_t n, int32_t x, int32_t y) {
  if (x > y) std::swap(x, y);
  const int32_t excluded = (x > 0 ? 1 : 0) + (y > 0 && y != x ? 1 : 0);
  int32_t a = rng.Below(std::max(n - excluded, 1)) + 1;
  if (x > 0 && a >= x) ++a;
  if (y > 0 && y != x && a >= y) ++a;
  return a;
}

// The first of the weights w[0..n-1] whose running sum exceeds u (u below
// their total); rounding past the end gives the last positive one.
int32_t PickClass(const double* w, int32_t n, double u) {
  int32_t last = 0;
  for (int32_t c = 0; c < n; ++c) {
    if (!(w[c] > 0.0)) continue;
    last = c;
    if (u < w[c]) return c;
    u -= w[c];
  }
  return last;
}

// Observation of a diploid codominant true genotype (t1, t2): a class of
// the error model is drawn by its probability times the number of
// genotypes it covers, then a genotype of the class uniformly.
int32_t DrawCodominant(int32_t l, int32_t t1, int32_t t2, ItemRandom& rng) {
  const Arr1<double, 7>& t = likelihoodvar.transrate(l);
  const int32_t n = Alleles(l);
  const double m = n;
  int32_t a = t1, b = t2;
  if (t1 == t2) {
    // Right; heterozygote with one other allele; homozygote of another;
    // heterozygote of two others.
    const double w[4] = {t(5), t(6) * (m - 1), t(4) * (m - 1), t(7) * (m - 1) * (m - 2) / 2};
    switch (PickClass(w, 4, rng.Uniform() * (w[0] + w[1] + w[2] + w[3]))) {
      case 0: break;
      case 1: b = OtherAllele(rng, n, t1, 0); break;
      case 2: a = b = OtherAllele(rng, n, t1, 0); break;
      default:
        a = OtherAllele(rng, n, t1, 0);
        b = OtherAllele(rng, n, t1, a);
    }
  } else {
    // Right; homozygote of either allele; either allele with one outside
    // the truth; homozygote of an outside allele; two outside alleles.
    const double w[5] = {t(1), 2 * t(2), 2 * (m - 2) * t(3), (m - 2) * t(4), (m - 2) * (m - 3) / 2 * t(7)};
    const double u = rng.Uniform() * (w[0] + w[1] + w[2] + w[3] + w[4]);
    const int32_t one = rng.Below(2) == 0 ? t1 : t2;
    switch (PickClass(w, 5, u)) {
      case 0: break;
      case 1: a = b = one; break;
      case 2:
        a = one;
        b = OtherAllele(rng, n, t1, t2);
        break;
      case 3: a = b = OtherAllele(rng, n, t1, t2); break;
      default:
        a = OtherAllele(rng, n, t1, t2);
        do b = OtherAllele(rng, n, t1, t2);
        while (b == a);
    }
  }
  if (a > b) std::swap(a, b);
  return FamilyGenotypeIndex(a, b, n);
}

int32_t DrawObservation(int32_t l, int32_t ploidy, int32_t t1, int32_t t2, ItemRandom& rng) {
  const int32_t n = Alleles(l);
  if (ploidy == 1) {
    // The true allele with chance 1 - E + E/n, each other one with E/n.
    if (rng.Uniform() < likelihoodvar.transratehaploid(l)(1)) return t1;
    return OtherAllele(rng, n, t1, 0);
  }
  if (Dominant(l)) return rng.Uniform() < likelihoodvar.transrate(l)(t1 + t2 - 1) ? 1 : 2;
  return DrawCodominant(l, t1, t2, rng);
}

// Population member k (0-based) of sex s, drawn from its own seed.
// Its true genotype and its observations come from one stream, so the
// observations are always drawn, also when only the truth is wanted.
void DrawMember(int32_t s, int32_t k, std::vector<uint8_t>& truth, uint16_t* obs) {
  static thread_local std::vector<uint16_t> unused;
  if (obs == nullptr) {
    unused.resize(simuvariables.simloci.size());
    obs = unused.data();
  }
  ItemRandom rng(SimuSeed(), kPopulationStream, static_cast<uint64_t>(s), static_cast<uint64_t>(k));
  SimuGenotype(1, rng, variables.ploidy(s), nullptr, nullptr, &simuvariables.cndmissing(s), truth, obs);
}

// The observations of population member k of sex s.
const uint16_t* MemberObs(int32_t s, int32_t k, std::vector<uint16_t>& scratch) {
  const std::vector<uint16_t>& kept = simuvariables.SimCndGtype(s);
  const std::size_t L = static_cast<std::size_t>(Loci());
  if (!kept.empty()) return kept.data() + static_cast<std::size_t>(k) * L;
  static thread_local std::vector<uint8_t> truth;
  scratch.resize(L);
  DrawMember(s, k, truth, scratch.data());
  return scratch.data();
}

// Missing share of one group's observations at locus l.
double MissingShare(int32_t sex, int32_t count, int32_t l) {
  if (count < 1) return 0.0;
  int32_t missing = 0;
  for (int32_t k = 1; k <= count; ++k) {
    const auto g = ObservedGenotype(sex, k, l);
    const bool haploid = sex == 0 ? variables.offploid(k) == 1 : variables.ploidy(sex) == 1;
    if (g.first <= 0 || (!Dominant(l) && !haploid && g.second <= 0)) ++missing;
  }
  return static_cast<double>(missing) / count;
}

// ---- Scores ----
float ScoreEntry(int32_t l, int32_t offploidy, int32_t cndploidy, int32_t o, int32_t c) {
  if (o <= 0 || c <= 0) return 0.0f;
  const DyadObs off = DecodeObs(l, offploidy, o), cnd = DecodeObs(l, cndploidy, c);
  if (off.haploid && cnd.haploid) return kImpossible;
  double r = 0.0;
  Compute_Dyad_Locus_LogL(l, cnd, off, ParentOffspringDelta(), r);
  if (r <= -1e38) return kImpossible;
  double po = 1.0, pc = 1.0;
  ProbSingleGtype(0.0, offploidy, l, off.a1, off.a2, po);
  ProbSingleGtype(0.0, cndploidy, l, cnd.a1, cnd.a2, pc);
  if (po <= 1e-300 || pc <= 1e-300) return kImpossible;
  return static_cast<float>(r - std::log(po) - std::log(pc));
}

}  // namespace

int32_t SimuObsIndex(int32_t k, int32_t ploidy, int32_t a1, int32_t a2) {
  const int32_t l = LocusAt(k);
  if (a1 <= 0) return 0;
  if (ploidy == 1 || Dominant(l)) return a1;
  if (a2 <= 0) return 0;
  return FamilyGenotypeIndex(a1, a2, Alleles(l));
}

void SimuGenotype(int32_t kind, ItemRandom& rng, int32_t ploidy, const uint8_t* father, const uint8_t* mother,
                  const Vec1<double>* missing, std::vector<uint8_t>& truth, uint16_t* obs) {
  const int32_t L = Loci();
  truth.assign(static_cast<std::size_t>(2 * L), 0);
  if (kind == 3) ploidy = 1;
  if (kind == 2) ploidy = 2;
  for (int32_t k = 0; k < L; ++k) {
    const int32_t l = LocusAt(k);
    const std::size_t p = static_cast<std::size_t>(2 * k);
    int32_t a = 0, b = 0;
    // A haploid parent passes on its one allele; a diploid one either.
    auto gamete = [&](const uint8_t* parent) {
      return parent[p + 1] == 0 ? parent[p] : parent[p + static_cast<std::size_t>(rng.Below(2))];
    };
    if (kind == 1) {
      a = DrawAllele(l, rng);
      if (ploidy != 1) b = DrawAllele(l, rng);
    } else if (kind == 2) {
      a = gamete(father);
      b = gamete(mother);
    } else {
      a = gamete(mother);
    }
    if (b > 0 && a > b) std::swap(a, b);
    truth[p] = static_cast<uint8_t>(a);
    truth[p + 1] = static_cast<uint8_t>(b);
    if (obs == nullptr) continue;
    const double share = missing != nullptr ? (*missing)(l) : 0.0;
    if (share > 0.0 && rng.Uniform() < share) {
      obs[k] = 0;
      continue;
    }
    obs[k] = static_cast<uint16_t>(DrawObservation(l, ploidy, a, b, rng));
  }
}

void IniSimuVariables() {
  SimuVariables& sv = simuvariables;
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const Mat1<double> threshold = sv.Threshold, thresholdh = sv.ThresholdH;
  sv = SimuVariables{};
  sv.Threshold = threshold;
  sv.ThresholdH = thresholdh;
  const std::size_t nloci = static_cast<std::size_t>(std::max(v.numloci, 0));
  sv.cumallelefre.assign(nloci);
  sv.offmissing.assign(nloci, 0.0);
  for (int32_t s = 1; s <= 2; ++s) sv.cndmissing(s).assign(nloci, 0.0);
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (lv.obsnumallele(l) < 2) continue;
    sv.simloci.push_back(l);
    double sum = 0.0;
    for (double p : lv.obsallelefre(l)) sv.cumallelefre(l).push_back(sum += std::max(p, 0.0));
    sv.offmissing(l) = MissingShare(0, v.smplsize, l);
    for (int32_t s = 1; s <= 2; ++s) sv.cndmissing(s)(l) = MissingShare(s, v.numchild(s), l);
  }
  // Loci whose scores are too many to be tabled at once, and so give no
  // bound on what they add, come first: the bound on what the remaining
  // loci can add is then finite over the longest possible tail.
  std::stable_partition(sv.simloci.begin(), sv.simloci.end(), [](int32_t l) {
    return static_cast<std::size_t>(NumObs(l, 2)) * static_cast<std::size_t>(NumObs(l, 2)) > kEagerEntries;
  });
  const std::size_t L = sv.simloci.size();
  for (int32_t s = 1; s <= 2; ++s) {
    const int32_t c = v.numchild(s);
    if (c < 1) continue;
    const double prop = std::clamp(v.propprntsampled(s), 0.001, 1.0);
    const double size = std::min<double>(kSimuMaxPopulation, std::floor(c / prop + 0.5));
    sv.popsize(s) = std::max(c, static_cast<int32_t>(size));
    if (static_cast<std::size_t>(sv.popsize(s)) * L > kMaxStoredObs) continue;
    std::vector<uint16_t>& kept = sv.SimCndGtype(s);
    kept.assign(static_cast<std::size_t>(sv.popsize(s)) * L, 0);
    std::vector<uint8_t> truth;
    for (int32_t k = 0; k < sv.popsize(s); ++k) DrawMember(s, k, truth, kept.data() + static_cast<std::size_t>(k) * L);
  }
}

void SetSimuScores(int32_t offploidy, int32_t cndploidy) {
  SimuVariables& sv = simuvariables;
  if (sv.DyadLogL.size() == sv.simloci.size() && sv.dyadploidy(1) == offploidy && sv.dyadploidy(2) == cndploidy) {
    return;
  }
  sv.dyadploidy(1) = offploidy;
  sv.dyadploidy(2) = cndploidy;
  sv.DyadLogL.assign(sv.simloci.size(), SimuVariables::LocusScores{});
  for (std::size_t k = 0; k < sv.simloci.size(); ++k) {
    const int32_t l = sv.simloci[k];
    SimuVariables::LocusScores& t = sv.DyadLogL[k];
    t.nrow = NumObs(l, offploidy);
    t.ncol = NumObs(l, cndploidy);
    const std::size_t entries = static_cast<std::size_t>(t.nrow) * static_cast<std::size_t>(t.ncol);
    if (entries <= kEagerEntries) {
      t.complete = true;
      t.lod.resize(entries);
      t.rowmax.assign(static_cast<std::size_t>(t.nrow), 0.0f);
      for (int32_t o = 0; o < t.nrow; ++o) {
        for (int32_t c = 0; c < t.ncol; ++c) {
          const float x = ScoreEntry(l, offploidy, cndploidy, o, c);
          t.lod[static_cast<std::size_t>(o) * static_cast<std::size_t>(t.ncol) + static_cast<std::size_t>(c)] = x;
          t.rowmax[static_cast<std::size_t>(o)] = std::max(t.rowmax[static_cast<std::size_t>(o)], x);
        }
      }
    } else if (entries <= kDenseEntries) {
      t.lod.assign(entries, std::numeric_limits<float>::quiet_NaN());
    }
  }
}

float Compute_PODyad_LogL(int32_t k, int32_t o, int32_t c) {
  SimuVariables& sv = simuvariables;
  SimuVariables::LocusScores& t = sv.DyadLogL[static_cast<std::size_t>(k)];
  const std::size_t at = static_cast<std::size_t>(o) * static_cast<std::size_t>(t.ncol) + static_cast<std::size_t>(c);
  if (!t.lod.empty()) {
    float& x = t.lod[at];
    if (x != x) x = ScoreEntry(LocusAt(k), sv.dyadploidy(1), sv.dyadploidy(2), o, c);
    return x;
  }
  const auto key = static_cast<uint32_t>(at);
  const auto it = t.sparse.find(key);
  if (it != t.sparse.end()) return it->second;
  const float x = ScoreEntry(LocusAt(k), sv.dyadploidy(1), sv.dyadploidy(2), o, c);
  t.sparse.emplace(key, x);
  return x;
}

double Compute_Dyad_LogL(const uint16_t* off, const uint16_t* cnd, double bound, const std::vector<double>& suffix) {
  const int32_t L = Loci();
  double sum = 0.0;
  for (int32_t k = 0; k < L; ++k) {
    const float x = Compute_PODyad_LogL(k, off[k], cnd[k]);
    if (x <= kImpossible) return -1e38;
    sum += x;
    const double rest = suffix[static_cast<std::size_t>(k + 1)];
    if (sum + rest + 1e-6 * (1.0 + std::fabs(sum)) < bound) return sum;
  }
  return sum;
}

void DetermineThreshold(int32_t sex, int32_t n, const double* delta, const uint8_t* correct, Mat1<double>& table) {
  if (n <= 0) {
    for (int32_t c = 1; c <= 10; ++c) table(c, sex) = std::numeric_limits<double>::max();
    return;
  }
  std::vector<int32_t> order(static_cast<std::size_t>(n));
  for (int32_t r = 0; r < n; ++r) order[static_cast<std::size_t>(r)] = r;
  // Largest first; equal deltas keep the order they came in.
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return delta[a] > delta[b]; });
  std::vector<double> share(static_cast<std::size_t>(n)), smooth(static_cast<std::size_t>(n));
  int64_t right = 0;
  for (int32_t r = 0; r < n; ++r) {
    right += correct[order[static_cast<std::size_t>(r)]] != 0 ? 1 : 0;
    share[static_cast<std::size_t>(r)] = static_cast<double>(right) / (r + 1);
  }
  for (int32_t r = 0; r < n; ++r) {
    const int32_t lo = std::max(0, r - 10), hi = std::min(n - 1, r + 10);
    double s = 0.0;
    for (int32_t q = lo; q <= hi; ++q) s += share[static_cast<std::size_t>(q)];
    smooth[static_cast<std::size_t>(r)] = s / (hi - lo + 1);
  }
  for (int32_t c = 1; c <= 10; ++c) {
    const double level = (100 - 5 * c) / 100.0;
    int32_t rank = 0;
    if (!(smooth[0] < level)) {
      rank = n - 1;
      for (int32_t r = 0; r < n; ++r) {
        if (!(smooth[static_cast<std::size_t>(r)] > level)) {
          rank = r;
          break;
        }
      }
    }
    table(c, sex) = delta[order[static_cast<std::size_t>(rank)]];
  }
}

int32_t ConfidenceLevel(double delta, int32_t sex, const Mat1<double>& table) {
  int32_t k = 0;
  for (int32_t c = 1; c <= 10; ++c) k += table(c, sex) > delta ? 1 : 0;
  return k;
}

namespace {

// One replication r of sex s for offspring of ploidy offploidy: flag 0 when
// no parent would be assigned, else 1 (wrong candidate best) or 2 (the true
// parent best), and delta.
void Replication(int32_t s, int32_t offploidy, int32_t r, double& delta, uint8_t& flag) {
  SimuVariables& sv = simuvariables;
  const Variables& v = variables;
  const int32_t L = Loci();
  const int32_t N = sv.popsize(s);
  ItemRandom rng(SimuSeed(), kReplicationStream, static_cast<uint64_t>(4 * offploidy + s), static_cast<uint64_t>(r));
  const int32_t truep = rng.Below(N);
  static thread_local std::vector<uint8_t> scratch;
  DrawMember(s, truep, sv.SimPrntGtype, nullptr);
  sv.SimOffGtype.assign(static_cast<std::size_t>(L), 0);
  if (offploidy == 2) {
    SimuGenotype(1, rng, v.ploidy(3 - s), nullptr, nullptr, nullptr, sv.SimMateGtype, nullptr);
    const uint8_t* father = s == 1 ? sv.SimPrntGtype.data() : sv.SimMateGtype.data();
    const uint8_t* mother = s == 1 ? sv.SimMateGtype.data() : sv.SimPrntGtype.data();
    SimuGenotype(2, rng, 2, father, mother, &sv.offmissing, scratch, sv.SimOffGtype.data());
  } else {
    SimuGenotype(3, rng, 1, nullptr, sv.SimPrntGtype.data(), &sv.offmissing, scratch, sv.SimOffGtype.data());
  }
  // What the loci from k on can still add for this offspring.
  static thread_local std::vector<double> suffix;
  suffix.assign(static_cast<std::size_t>(L + 1), 0.0);
  for (int32_t k = L - 1; k >= 0; --k) {
    const SimuVariables::LocusScores& t = sv.DyadLogL[static_cast<std::size_t>(k)];
    const double most = t.complete ? t.rowmax[sv.SimOffGtype[static_cast<std::size_t>(k)]]
                                   : std::numeric_limits<double>::infinity();
    suffix[static_cast<std::size_t>(k)] = suffix[static_cast<std::size_t>(k + 1)] + most;
  }
  // The candidates: m distinct members (Floyd's sampling), in the order
  // drawn.
  const int32_t m = std::min(v.numchild(s), N);
  static thread_local std::vector<int32_t> chosen;
  static thread_local std::vector<uint8_t> taken;
  chosen.clear();
  if (taken.size() != static_cast<std::size_t>(N)) taken.assign(static_cast<std::size_t>(N), 0);
  for (int32_t j = N - m; j < N; ++j) {
    int32_t t = rng.Below(j + 1);
    if (taken[static_cast<std::size_t>(t)] != 0) t = j;
    taken[static_cast<std::size_t>(t)] = 1;
    chosen.push_back(t);
  }
  for (int32_t member : chosen) taken[static_cast<std::size_t>(member)] = 0;
  double best = -std::numeric_limits<double>::infinity(), second = best;
  int32_t bestmember = -1;
  static thread_local std::vector<uint16_t> memberobs;
  for (int32_t member : chosen) {
    const double x = Compute_Dyad_LogL(sv.SimOffGtype.data(), MemberObs(s, member, memberobs), second, suffix);
    if (x > best) {
      second = best;
      best = x;
      bestmember = member;
    } else if (x > second) {
      second = x;
    }
  }
  flag = 0;
  delta = 0.0;
  if (!(best > 0.0)) return;
  delta = m >= 2 ? best - second : best;
  flag = bestmember == truep ? 2 : 1;
}

void Show(const std::string& text, bool newline) {
  if (variables.displayq == 0) return;
  std::cout << text;
  if (newline) std::cout << '\n';
  std::cout.flush();
}

}  // namespace

void DetermineDeltaValue(int32_t ploidy) {
  SimuVariables& sv = simuvariables;
  const Variables& v = variables;
  IniSimuVariables();
  Show(std::string("Estimating parentage by pairwise approach-") + (ploidy == 2 ? "Di" : "Ha") + "ploid Offspring...",
       true);
  Mat1<double>& table = ploidy == 2 ? sv.Threshold : sv.ThresholdH;
  int32_t first = 1, last = 0;
  SetThreadTaskFor(kSimuReplications, v.threadid, v.numthreads, first, last);
  for (int32_t s = 1; s <= 2; ++s) {
    // Haploid offspring have no father.
    if (v.numchild(s) < 1 || (ploidy == 1 && s == 1)) continue;
    Show(std::string("  Simulating DELTA for ") + (s == 1 ? "P" : "M") + "aternity, " + "replication: 1 - " +
             std::to_string(kSimuReplications),
         true);
    SetSimuScores(ploidy, v.ploidy(s));
    const int32_t own = std::max(last - first + 1, 0);
    std::vector<double> delta(static_cast<std::size_t>(own));
    std::vector<uint8_t> flag(static_cast<std::size_t>(own));
    for (int32_t r = first; r <= last; ++r) {
      Replication(s, ploidy, r, delta[static_cast<std::size_t>(r - first)], flag[static_cast<std::size_t>(r - first)]);
    }
    // Process 0 gathers every replication in replication order (the
    // processes hold consecutive blocks) and computes the thresholds.
    std::vector<double> alldelta = delta;
    std::vector<uint8_t> allflag = flag;
    if (Distributed()) {
      std::vector<int> counts(static_cast<std::size_t>(v.numthreads)), offsets(counts.size());
      for (int32_t p = 0; p < v.numthreads; ++p) {
        int32_t f = 1, l = 0;
        SetThreadTaskFor(kSimuReplications, p, v.numthreads, f, l);
        counts[static_cast<std::size_t>(p)] = std::max(l - f + 1, 0);
        offsets[static_cast<std::size_t>(p)] = f - 1;
      }
      alldelta.assign(v.threadid == 0 ? static_cast<std::size_t>(kSimuReplications) : 0, 0.0);
      allflag.assign(alldelta.size(), 0);
      MPI_Gatherv(delta.data(), own, MPI_DOUBLE, alldelta.data(), counts.data(), offsets.data(), MPI_DOUBLE, 0,
                  MPI_COMM_WORLD);
      MPI_Gatherv(flag.data(), own, MPI_UINT8_T, allflag.data(), counts.data(), offsets.data(), MPI_UINT8_T, 0,
                  MPI_COMM_WORLD);
    }
    std::array<double, 10> values{};
    if (v.threadid == 0) {
      // Only the replications that assigned a parent are counted.
      std::vector<double>& kept = sv.simdelta(s);
      std::vector<uint8_t>& right = sv.simcorrect(s);
      kept.clear();
      right.clear();
      for (std::size_t r = 0; r < alldelta.size(); ++r) {
        if (allflag[r] == 0) continue;
        kept.push_back(alldelta[r]);
        right.push_back(allflag[r] == 2 ? 1 : 0);
      }
      DetermineThreshold(s, static_cast<int32_t>(kept.size()), kept.data(), right.data(), table);
      for (int32_t c = 1; c <= 10; ++c) values[static_cast<std::size_t>(c - 1)] = table(c, s);
    }
    if (Distributed()) MPI_Bcast(values.data(), 10, MPI_DOUBLE, 0, MPI_COMM_WORLD);
    for (int32_t c = 1; c <= 10; ++c) table(c, s) = values[static_cast<std::size_t>(c - 1)];
  }
  Show("\r  Simulation done.", true);
  Barrier();
}
