// Probability of the genotypes of two individuals at one locus under a
// pairwise relationship.
//
// The alleles of the locus are reduced to those the two observations show
// plus one pooled allele for all the others. Under the error model the
// probability of an observation depends only on which true alleles equal
// which observed ones, so every allele the pair does not show behaves the
// same, and merging them changes neither the identity-by-descent structure
// nor any probability: the reduction is exact while the sums stay over at
// most five alleles.
#include "pairwise/dyad_probability.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "genotype/error_model.h"
#include "runctl/error_stop.h"
#include "state/dyadprbvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr int32_t kMaxReduced = 12;
constexpr int32_t kMaxReducedGenotypes = kMaxReduced * (kMaxReduced + 1) / 2;

DyadDelta MakeDelta(double d7, double d8, double d9) {
  DyadDelta d;
  d(7) = d7;
  d(8) = d8;
  d(9) = d9;
  return d;
}

double Fr(int32_t x) { return dyadprbvariables.Afr(x); }

// The same relationship seen from the other member: Delta3/Delta5 and
// Delta4/Delta6 describe which of the two is inbred.
DyadDelta Swapped(const DyadDelta& d) {
  DyadDelta s = d;
  std::swap(s(3), s(5));
  std::swap(s(4), s(6));
  return s;
}

bool Inbred(const DyadDelta& d) {
  for (int32_t k = 1; k <= 6; ++k) {
    if (d(k) > 1e-12) return true;
  }
  return false;
}

// Detailed identity states of the genes (A1, A2, B1, B2) behind each
// condensed state: genes with the same class number are identical by
// descent. The detailed states of a condensed state are equally likely.
struct IdentityState {
  int32_t count;
  int8_t cls[4][4];
};
constexpr IdentityState kStates[9] = {
    {1, {{0, 0, 0, 0}}},
    {1, {{0, 0, 1, 1}}},
    {2, {{0, 0, 0, 1}, {0, 0, 1, 0}}},
    {1, {{0, 0, 1, 2}}},
    {2, {{0, 1, 0, 0}, {1, 0, 0, 0}}},
    {1, {{0, 1, 2, 2}}},
    {2, {{0, 1, 0, 1}, {0, 1, 1, 0}}},
    {4, {{0, 1, 0, 2}, {0, 1, 2, 0}, {0, 1, 1, 2}, {0, 1, 2, 1}}},
    {1, {{0, 1, 2, 3}}},
};

// Probability of the ordered genes g under one detailed state: each class
// of identical genes carries one allele drawn from the population.
double OrderedGenes(const int32_t g[4], const int8_t cls[4]) {
  double p = 1.0;
  for (int8_t c = 0; c < 4; ++c) {
    int32_t allele = 0;
    for (int k = 0; k < 4; ++k) {
      if (cls[k] != c) continue;
      if (allele == 0) {
        allele = g[k];
        p *= Fr(allele);
      } else if (g[k] != allele) {
        return 0.0;
      }
    }
  }
  return p;
}

// Two diploid genotypes under any coefficients, from the detailed states:
// the sum over the orders of each unordered genotype.
double InbredDiploidPair(int32_t a, int32_t b, int32_t c, int32_t d, const DyadDelta& delta) {
  const int32_t n1 = a == b ? 1 : 2, n2 = c == d ? 1 : 2;
  const int32_t x[2][2] = {{a, b}, {b, a}}, y[2][2] = {{c, d}, {d, c}};
  double total = 0.0;
  for (int32_t s = 0; s < 9; ++s) {
    if (delta(s + 1) <= 0.0) continue;
    const IdentityState& st = kStates[s];
    double ps = 0.0;
    for (int32_t k = 0; k < st.count; ++k) {
      for (int32_t u = 0; u < n1; ++u) {
        for (int32_t v = 0; v < n2; ++v) {
          const int32_t g[4] = {x[u][0], x[u][1], y[v][0], y[v][1]};
          ps += OrderedGenes(g, st.cls[k]);
        }
      }
    }
    total += delta(s + 1) * ps / st.count;
  }
  return total;
}

// Reduced genotypes (i, j), i <= j, over m alleles, and their positions.
struct GenotypeList {
  int32_t m = 0, G = 0;
  std::array<std::pair<int8_t, int8_t>, kMaxReducedGenotypes> pairs{};
  std::array<std::array<int8_t, kMaxReduced + 1>, kMaxReduced + 1> index{};
  void Build(int32_t alleles) {
    m = alleles;
    G = 0;
    for (int32_t i = 1; i <= m; ++i) {
      for (int32_t j = i; j <= m; ++j) {
        pairs[static_cast<std::size_t>(G)] = {static_cast<int8_t>(i), static_cast<int8_t>(j)};
        index[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = static_cast<int8_t>(G);
        index[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = static_cast<int8_t>(G);
        ++G;
      }
    }
  }
  int32_t Of(int32_t i, int32_t j) const {
    return index[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
  }
};

// Probabilities of one member's observation given each true genotype (or
// allele, for a haploid member) over the reduced alleles; the observation
// is already in reduced labels. A missing observation is certain whatever
// the truth, so the pair's probability is then that of the other member.
void ObservationWeights(int32_t l, const GenotypeList& gl, int32_t o1, int32_t o2, bool haploid, double* w) {
  if (o1 <= 0) {
    std::fill(w, w + (haploid ? gl.m : gl.G), 1.0);
    return;
  }
  if (haploid) {
    for (int32_t t = 1; t <= gl.m; ++t) w[t - 1] = PrbGtoPHaploid(t, o1, l);
    return;
  }
  for (int32_t g = 0; g < gl.G; ++g) {
    const auto [i, j] = gl.pairs[static_cast<std::size_t>(g)];
    w[g] = PrbGtoP(i, j, o1, o2, l);
  }
}

// Both members diploid: the double sum over their true genotypes g1, g2 of
// P(observation 1 | g1) P(observation 2 | g2) PrbGDyad(g1, g2), regrouped by
// identity state. Within a state every class of identical genes carries an
// independent population draw, and an observation's probability depends on
// the unordered genotype only, so each state's part factors into sums over
// at most two alleles. With W(x, y) the observation weight of genotype
// (x, y) and p the frequencies:
//   autozygous a:        s(a) = W(a, a),           A = sum_a p_a s(a)
//   one gene fixed at x: h(x) = sum_y p_y W(x, y), T = sum_x p_x h(x)
// state 1 (all four genes one): sum_a p_a s1(a) s2(a);  2: A1 A2;
// 3 (first autozygous, sharing): sum_a p_a s1(a) h2(a); 4: A1 T2;
// 5 and 6 the same with the members exchanged; 7 (both genes shared):
// sum_x,y p_x p_y W1(x, y) W2(x, y); 8 (one shared): sum_x p_x h1(x) h2(x);
// 9: T1 T2. Ordered genes are summed, so the factor 2 of a heterozygote
// comes by itself. Every term is a product of non-negative factors that the
// double sum also holds, so a pair impossible there is exactly 0 here.
double DiploidStateSum(const GenotypeList& gl, const double* w1, const double* w2, const DyadDelta& dl) {
  const int32_t m = gl.m;
  std::array<double, kMaxReduced + 1> s1{}, s2{}, h1{}, h2{};
  double A1 = 0, A2 = 0, T1 = 0, T2 = 0, both = 0;
  for (int32_t x = 1; x <= m; ++x) {
    const std::size_t ux = static_cast<std::size_t>(x);
    double a = 0, b = 0;
    for (int32_t y = 1; y <= m; ++y) {
      const std::size_t g = static_cast<std::size_t>(gl.Of(x, y));
      a += Fr(y) * w1[g];
      b += Fr(y) * w2[g];
      both += Fr(x) * Fr(y) * w1[g] * w2[g];
    }
    h1[ux] = a;
    h2[ux] = b;
    s1[ux] = w1[static_cast<std::size_t>(gl.Of(x, x))];
    s2[ux] = w2[static_cast<std::size_t>(gl.Of(x, x))];
    A1 += Fr(x) * s1[ux];
    A2 += Fr(x) * s2[ux];
    T1 += Fr(x) * a;
    T2 += Fr(x) * b;
  }
  double total = dl(2) * A1 * A2 + dl(4) * A1 * T2 + dl(6) * A2 * T1 + dl(7) * both + dl(9) * T1 * T2;
  for (int32_t x = 1; x <= m; ++x) {
    const std::size_t ux = static_cast<std::size_t>(x);
    total += Fr(x) * (dl(1) * s1[ux] * s2[ux] + dl(3) * s1[ux] * h2[ux] + dl(5) * s2[ux] * h1[ux] +
                      dl(8) * h1[ux] * h2[ux]);
  }
  return total;
}

}  // namespace

const DyadDelta& SibDyadDelta(int32_t haplodiploid, int32_t relationship) {
  static const DyadDelta table[2][3] = {
      {MakeDelta(0.25, 0.5, 0.25), MakeDelta(0.0, 0.5, 0.5), MakeDelta(0.0, 0.5, 0.5)},
      {MakeDelta(0.5, 0.5, 0.0), MakeDelta(0.0, 1.0, 0.0), MakeDelta(0.0, 0.5, 0.5)},
  };
  return table[haplodiploid == 1 ? 1 : 0][std::clamp(relationship, 0, 2)];
}

const DyadDelta& ParentOffspringDelta() {
  static const DyadDelta d = MakeDelta(0.0, 1.0, 0.0);
  return d;
}

const DyadDelta& UnrelatedDelta() {
  static const DyadDelta d = MakeDelta(0.0, 0.0, 1.0);
  return d;
}

// Pairs with a selfed offspring. The selfing parent P carries two genes P1
// and P2 that are not identical by descent; a selfed offspring S receives
// two independent copies, each P1 or P2 with chance 1/2, so S is autozygous
// with chance 1/2.
// - S (first) and an outbred sib O through P (second): O carries a copy of
//   P1 or P2 and a gene of an unrelated parent. Of the 8 equal choices of
//   (S1, S2, O1): S autozygous for O's gene from P (2/8) is state 3; S
//   autozygous for the other gene (2/8) is state 4; S not autozygous (4/8)
//   carries both of P's genes, one of which O shares: state 8.
// - Two selfed sibs S, T: of the 16 equal choices of (S1, S2, T1, T2), all
//   four the same gene (2/16) is state 1; both autozygous for different
//   genes (2/16) state 2; S autozygous and T not (4/16) means S's gene is
//   one of T's two: state 3; the converse (4/16) state 5; neither
//   autozygous (4/16): both carry P1 and P2, state 7.
// - P (first) and S (second): S autozygous for one of P's genes (1/2) is
//   state 5; otherwise S carries P1 and P2 as P does: state 7.
// Each set's kinship, Delta1 + (Delta3 + Delta5 + Delta7) / 2 + Delta8 / 4,
// is 1/4, 1/2 and 1/2: the chance that a gene drawn from each member is the
// same copy of one of P's genes.
const DyadDelta& SelfedOutbredSibDelta() {
  static const DyadDelta d = [] {
    DyadDelta x = MakeDelta(0.0, 0.5, 0.0);
    x(3) = 0.25;
    x(4) = 0.25;
    return x;
  }();
  return d;
}

const DyadDelta& SelfedSibsDelta() {
  static const DyadDelta d = [] {
    DyadDelta x = MakeDelta(0.25, 0.0, 0.0);
    x(1) = 0.125;
    x(2) = 0.125;
    x(3) = 0.25;
    x(5) = 0.25;
    return x;
  }();
  return d;
}

const DyadDelta& ParentSelfedOffspringDelta() {
  static const DyadDelta d = [] {
    DyadDelta x = MakeDelta(0.5, 0.0, 0.0);
    x(5) = 0.5;
    return x;
  }();
  return d;
}

double PrbGDyad(int32_t a, int32_t b, int32_t c, int32_t d, const DyadDelta& delta) {
  if (b < 1 && d < 1) {
    return delta(8) * (a == c ? Fr(a) : 0.0) + delta(9) * Fr(a) * Fr(c);
  }
  if (b < 1) return PrbGDyad(c, d, a, b, Swapped(delta));
  const double pa = Fr(a), pb = Fr(b);
  const double pg1 = a == b ? pa * pa : 2 * pa * pb;
  if (d < 1) {
    // Haploid second member: its gene is a copy of one of the first
    // member's two (Delta8), or a population draw (Delta9); Delta1 and
    // Delta2 add the autozygous first member.
    const double pc = Fr(c);
    double p = pg1 * (delta(8) * 0.5 * ((c == a ? 1 : 0) + (c == b ? 1 : 0)) + delta(9) * pc);
    if (a == b) p += delta(2) * pa * pc + (c == a ? delta(1) * pa : 0.0);
    return p;
  }
  if (Inbred(delta)) return InbredDiploidPair(a, b, c, d, delta);
  // Non-inbred: the second genotype equals the first (Delta7), takes one
  // gene of the first, either with chance 1/2, and one from the population
  // (Delta8), or is independent of it (Delta9).
  const double pc = Fr(c), pd = Fr(d);
  const bool same = (a == c && b == d) || (a == d && b == c);
  auto fromOne = [&](int32_t x) {
    if (c == d) return x == c ? pc : 0.0;
    return (x == c ? pd : 0.0) + (x == d ? pc : 0.0);
  };
  const double pg2 = c == d ? pc * pc : 2 * pc * pd;
  return pg1 * (delta(7) * (same ? 1.0 : 0.0) + delta(8) * 0.5 * (fromOne(a) + fromOne(b)) + delta(9) * pg2);
}

double PrbPDyad(int32_t l, const DyadObs& o1, const DyadObs& o2, const DyadDelta& delta) {
  const int32_t n = likelihoodvar.obsnumallele(l);
  const bool dominant = variables.dominantmarker(l) != 0;
  // A haploid member goes second; a diploid codominant genotype with one
  // allele only is missing.
  DyadObs x = o1, y = o2;
  DyadDelta dl = delta;
  if (x.haploid && !y.haploid) {
    std::swap(x, y);
    dl = Swapped(delta);
  }
  for (DyadObs* o : {&x, &y}) {
    if (o->haploid || dominant) o->a2 = 0;
    if (!o->haploid && !dominant && o->a2 <= 0) o->a1 = 0;
  }
  if ((x.a1 <= 0 && y.a1 <= 0) || n < 2) return 1.0;

  // Reduced alleles: at a dominant or two-allele locus the locus's own two
  // (dominance depends on the allele numbers); otherwise the alleles shown,
  // in order of first appearance, and a pooled allele when more exist.
  DyadPrbVariables& dv = dyadprbvariables;
  const std::vector<double>& fre = likelihoodvar.obsallelefre(l);
  int32_t m = 0;
  if (dominant || n <= 2) {
    m = 2;
    dv.Afr(1) = fre[0];
    dv.Afr(2) = fre[1];
  } else {
    std::array<int32_t, 5> shown{};
    double sum = 0.0;
    auto label = [&](int32_t& a) {
      if (a <= 0) return;
      for (int32_t k = 1; k <= m; ++k) {
        if (shown[static_cast<std::size_t>(k)] == a) {
          a = k;
          return;
        }
      }
      shown[static_cast<std::size_t>(++m)] = a;
      dv.Afr(m) = fre[static_cast<std::size_t>(a - 1)];
      sum += dv.Afr(m);
      a = m;
    };
    label(x.a1);
    label(x.a2);
    label(y.a1);
    label(y.a2);
    if (m < n) {
      ++m;
      dv.Afr(m) = std::max(0.0, 1.0 - sum);
    }
  }
  dv.nafr = m;

  GenotypeList gl;
  gl.Build(m);
  std::array<double, kMaxReducedGenotypes> w1{}, w2{};
  ObservationWeights(l, gl, x.a1, x.a2, x.haploid, w1.data());
  ObservationWeights(l, gl, y.a1, y.a2, y.haploid, w2.data());
  // Parent and offspring with a haploid member: the haploid gene is (or
  // gives) one of the other member's, so one sum over the shared gene
  // replaces the second genotype.
  const bool shared = dl(8) >= 0.999999;

  double total = 0.0;
  if (x.haploid) {
    for (int32_t t1 = 1; t1 <= m; ++t1) {
      const double u = w1[static_cast<std::size_t>(t1 - 1)];
      if (u <= 0.0) continue;
      if (shared) {
        total += Fr(t1) * u * w2[static_cast<std::size_t>(t1 - 1)];
        continue;
      }
      for (int32_t t2 = 1; t2 <= m; ++t2) {
        const double v = w2[static_cast<std::size_t>(t2 - 1)];
        if (v > 0.0) total += u * v * PrbGDyad(t1, 0, t2, 0, dl);
      }
    }
    return total;
  }
  if (y.haploid) {
    for (int32_t g1 = 0; g1 < gl.G; ++g1) {
      const double u = w1[static_cast<std::size_t>(g1)];
      if (u <= 0.0) continue;
      const auto [i, j] = gl.pairs[static_cast<std::size_t>(g1)];
      if (shared) {
        const double pg1 = i == j ? Fr(i) * Fr(i) : 2 * Fr(i) * Fr(j);
        total += pg1 * u * 0.5 * (w2[static_cast<std::size_t>(i - 1)] + w2[static_cast<std::size_t>(j - 1)]);
        continue;
      }
      for (int32_t t = 1; t <= m; ++t) {
        const double v = w2[static_cast<std::size_t>(t - 1)];
        if (v > 0.0) total += u * v * PrbGDyad(i, j, t, 0, dl);
      }
    }
    return total;
  }
  return DiploidStateSum(gl, w1.data(), w2.data(), dl);
}

void Compute_Dyad_Locus_LogL(int32_t l, const DyadObs& o1, const DyadObs& o2, const DyadDelta& delta,
                             double& result) {
  const double P = PrbPDyad(l, o1, o2, delta);
  if (std::isnan(P)) {
    StopWithMessage("Error in dyad likelihood calculation at locus " + std::to_string(l),
                    "Compute_Dyad_Locus2_LogL");
  }
  result = P > 1e-300 ? std::log(P) : -1e38;
}
