// Clone inference over the full-sib families of the best configuration.
//
// Every pair of members of a family gets a relatedness estimate; members
// whose mean estimate stays above 0.35 form candidate groups. Full sibs are
// expected at 0.5 by this estimate, so the candidate groups hold full sibs
// as readily as copies of one individual: within each candidate group, the
// members are joined into clone groups only as far as the clone likelihood
// of the family (CloneFamily) prefers one individual typed several times to
// distinct full sibs. Each final group then gets its probability against
// its nearest alternatives.
#include "results/clone_inference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "results/family_probabilities.h"
#include "results/fixed_fields.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr double kNone = -std::numeric_limits<double>::infinity();

// Lynch's similarity of two codominant genotypes (alleles in increasing
// order): 1 identical, 0.75 a homozygote's allele carried by the other,
// 0.5 two heterozygotes sharing one allele, 0 otherwise.
double Similarity(std::pair<int32_t, int32_t> x, std::pair<int32_t, int32_t> y) {
  if (x.first > x.second) std::swap(x.first, x.second);
  if (y.first > y.second) std::swap(y.first, y.second);
  if (x == y) return 1.0;
  const bool hx = x.first == x.second, hy = y.first == y.second;
  if (hx && (y.first == x.first || y.second == x.first)) return 0.75;
  if (hy && (x.first == y.first || x.second == y.first)) return 0.75;
  if (!hx && !hy && (x.first == y.first || x.first == y.second || x.second == y.first || x.second == y.second)) {
    return 0.5;
  }
  return 0.0;
}

// Whether the genotypes of locus l are held for the group (0 offspring, 1
// or 2 candidates of that sex) up to individual k: results written from a
// configuration alone have none.
bool Held(int32_t sex, int32_t k, int32_t l) {
  const Variables& v = variables;
  const auto& table = sex == 0 ? v.indivgtype : v.cndgtype(sex);
  if (l < 1 || static_cast<std::size_t>(l) > table.size() ||
      static_cast<std::size_t>(l) > likelihoodvar.obsnumallele.size()) {
    return false;
  }
  return table(l).size() >= ColumnWords(k, likelihoodvar.obsnumallele(l));
}

// Observed genotype of individual k of the group at locus l; missing when
// it is not held.
std::pair<int32_t, int32_t> Observed(int32_t sex, int32_t k, int32_t l) {
  return Held(sex, k, l) ? ObservedGenotype(sex, k, l) : std::pair<int32_t, int32_t>{0, 0};
}

void FillG(Vec1<std::pair<int32_t, int32_t>>& g, int32_t i) {
  const int32_t nl = variables.numloci;
  g.assign(static_cast<std::size_t>(std::max(nl, 0)), {0, 0});
  for (int32_t l = 1; l <= nl; ++l) {
    if (Held(0, i, l) && likelihoodvar.obsnumallele(l) >= 2) g(l) = Observed(0, i, l);
  }
}

// Probability of an observation given a true genotype (haploid: allele a);
// 1 when the individual is untyped.
double Observation(const std::pair<int32_t, int32_t>& obs, bool haploid, int32_t a, int32_t b, int32_t l) {
  if (obs.first <= 0) return 1.0;
  return haploid ? PrbGtoPHaploid(a, obs.first, l) : PrbGtoP(a, b, obs.first, obs.second, l);
}

// log(sum exp(x)) over the finite entries; kNone when there are none.
double LogSumExp(const std::vector<double>& x) {
  double top = kNone;
  for (double v : x) top = std::max(top, v);
  if (top == kNone) return kNone;
  double sum = 0.0;
  for (double v : x) {
    if (v != kNone) sum += std::exp(v - top);
  }
  return top + std::log(sum);
}

}  // namespace

void SetLynchWgt() {
  const int32_t nl = variables.numloci;
  Vec1<double>& w = likelihoodvar.LynchWgt;
  w.assign(static_cast<std::size_t>(std::max(nl, 0)), 0.0);
  for (int32_t l = 1; l <= nl; ++l) {
    if (static_cast<std::size_t>(l) > likelihoodvar.obsnumallele.size() || likelihoodvar.obsnumallele(l) < 2 ||
        static_cast<std::size_t>(l) > likelihoodvar.obsallelefre.size()) {
      continue;
    }
    const std::vector<double>& p = likelihoodvar.obsallelefre(l);
    if (variables.dominantmarker(l) != 0) {
      // The estimate is 1 - D / (2 W), D the loci whose phenotypes differ:
      // with W half the chance that unrelated individuals differ, it is 0
      // for unrelated individuals as for copies of one it is 1.
      const double recessive = p.size() >= 2 ? p[1] * p[1] : 0.0;
      w(l) = recessive * (1.0 - recessive);
    } else {
      // Expected similarity under Hardy-Weinberg proportions.
      double s2 = 0.0, s3 = 0.0;
      for (double x : p) {
        s2 += x * x;
        s3 += x * x * x;
      }
      w(l) = 2.0 * s2 - s3;
    }
  }
}

void SetFirstG(int32_t i) { FillG(likelihoodvar.FirstG, i); }
void SetSecondG(int32_t j) { FillG(likelihoodvar.SecondG, j); }

double R_Li_Lynch(int32_t j) {
  SetSecondG(j);
  const LikelihoodVar& lv = likelihoodvar;
  double sumS = 0.0, sumS0 = 0.0, weight = 0.0;
  int32_t codominant = 0, alleles = 0, dominant = 0, differ = 0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    const int32_t n = static_cast<std::size_t>(l) <= lv.obsnumallele.size() ? lv.obsnumallele(l) : 0;
    if (n < 2 || static_cast<std::size_t>(l) > lv.FirstG.size() || static_cast<std::size_t>(l) > lv.LynchWgt.size()) {
      continue;
    }
    const auto& x = lv.FirstG(l);
    const auto& y = lv.SecondG(l);
    if (x.first <= 0 || y.first <= 0) continue;
    if (variables.dominantmarker(l) != 0) {
      ++dominant;
      weight += lv.LynchWgt(l);
      if (x.first != y.first) ++differ;
    } else {
      ++codominant;
      alleles += n;
      sumS += Similarity(x, y);
      sumS0 += lv.LynchWgt(l);
    }
  }
  // A part whose expected value leaves nothing to divide by (allele
  // frequencies of 0 and 1) gives no estimate.
  const bool hasC = codominant > 0 && codominant - sumS0 > 1e-12;
  const bool hasD = dominant > 0 && weight > 1e-12;
  const double rc = hasC ? (sumS - sumS0) / (codominant - sumS0) : 0.0;
  const double rd = hasD ? 1.0 - 0.5 * differ / weight : 0.0;
  if (hasC && hasD) return (rc * alleles + rd * dominant) / (alleles + dominant);
  return hasC ? rc : rd;
}

std::vector<int32_t> CloneGrouping(const std::vector<double>& r, int32_t k) {
  std::vector<std::vector<int32_t>> groups;
  for (int32_t a = 0; a < k; ++a) groups.push_back({a});
  auto at = [&](int32_t a, int32_t b) {
    return r[static_cast<std::size_t>(a) * static_cast<std::size_t>(k) + static_cast<std::size_t>(b)];
  };
  while (groups.size() > 1) {
    double best = kNone;
    std::size_t bi = 0, bj = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
      for (std::size_t j = i + 1; j < groups.size(); ++j) {
        double sum = 0.0;
        for (int32_t a : groups[i]) {
          for (int32_t b : groups[j]) sum += at(a, b);
        }
        const double mean = sum / static_cast<double>(groups[i].size() * groups[j].size());
        if (mean >= best) {
          best = mean;
          bi = i;
          bj = j;
        }
      }
    }
    if (!(best >= 0.35000001)) break;
    groups[bi].insert(groups[bi].end(), groups[bj].begin(), groups[bj].end());
    std::sort(groups[bi].begin(), groups[bi].end());
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(bj));
  }
  std::vector<int32_t> label(static_cast<std::size_t>(std::max(k, 0)), 0);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (int32_t a : groups[g]) label[static_cast<std::size_t>(a)] = static_cast<int32_t>(g) + 1;
  }
  return label;
}

// ---------------------------------------------------------------------------
// Clone likelihood of a family.

namespace {

// The joint observation probabilities of a group's copies, by true genotype.
void GroupJoint(const CloneFamily::Locus& L, const std::vector<int32_t>& group, std::vector<double>& joint) {
  const std::size_t size = L.obs[static_cast<std::size_t>(group.front())].size();
  joint.assign(size, 1.0);
  for (int32_t k : group) {
    const std::vector<double>& o = L.obs[static_cast<std::size_t>(k)];
    for (std::size_t g = 0; g < size; ++g) joint[g] *= o[g];
  }
}

// The term of a group at parental pair p: the chance that one offspring of
// the pair shows every observation of the group (0 at or below 1e-300).
double GroupTerm(const CloneFamily::Locus& L, const std::vector<double>& joint, bool haploid, std::size_t p) {
  double x;
  if (haploid) {
    x = 0.5 * (joint[static_cast<std::size_t>(L.hap[p][0])] + joint[static_cast<std::size_t>(L.hap[p][1])]);
  } else {
    const auto& d = L.dip[p];
    x = 0.25 * (joint[static_cast<std::size_t>(d[0])] + joint[static_cast<std::size_t>(d[1])] +
                joint[static_cast<std::size_t>(d[2])] + joint[static_cast<std::size_t>(d[3])]);
  }
  return x > 1e-300 ? x : 0.0;
}

}  // namespace

CloneFamily::CloneFamily(std::vector<int32_t> members, int32_t father, int32_t mother, bool selfed)
    : members_(std::move(members)) {
  const Variables& v = variables;
  for (int32_t i : members_) haploid_.push_back(HaploidOffspring(i) ? 1 : 0);
  const bool fatherHaploid = v.haplodiploid == 1 && v.ploidy(1) == 1 && !selfed;
  const double F = v.inbreeding;
  const int32_t last = members_.empty() ? 0 : *std::max_element(members_.begin(), members_.end());
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (!Held(0, last, l) || static_cast<std::size_t>(l) > likelihoodvar.obsallelefre.size()) continue;
    const int32_t n = likelihoodvar.obsnumallele(l);
    if (n < 2) continue;
    std::vector<std::pair<int32_t, int32_t>> obs;
    bool typed = false;
    for (int32_t i : members_) {
      obs.push_back(Observed(0, i, l));
      typed = typed || obs.back().first > 0;
    }
    // A locus at which no member is typed is the same under every clone
    // configuration.
    if (!typed) continue;
    std::pair<int32_t, int32_t> fobs{0, 0}, mobs{0, 0};
    if (selfed) {
      if (father > 0)
        fobs = mobs = Observed(1, father, l);
      else if (mother > 0)
        fobs = mobs = Observed(2, mother, l);
    } else {
      if (father > 0) fobs = Observed(1, father, l);
      if (mother > 0) mobs = Observed(2, mother, l);
    }
    // Alleles in play: those observed in the family (every allele of a
    // dominant locus), the rest pooled into one, observed through a
    // representative of them.
    const bool dominant = v.dominantmarker(l) != 0;
    std::vector<uint8_t> seen(static_cast<std::size_t>(n) + 1, dominant ? 1 : 0);
    auto mark = [&](const std::pair<int32_t, int32_t>& g) {
      for (int32_t a : {g.first, g.second}) {
        if (a >= 1 && a <= n) seen[static_cast<std::size_t>(a)] = 1;
      }
    };
    if (!dominant) {
      for (const auto& g : obs) mark(g);
      mark(fobs);
      mark(mobs);
    }
    const std::vector<double>& p = likelihoodvar.obsallelefre(l);
    std::vector<int32_t> allele;
    std::vector<double> freq;
    int32_t pooled = 0;
    double pooledFreq = 0.0;
    for (int32_t a = 1; a <= n; ++a) {
      if (seen[static_cast<std::size_t>(a)]) {
        allele.push_back(a);
        freq.push_back(p[static_cast<std::size_t>(a - 1)]);
      } else {
        if (pooled == 0) pooled = a;
        pooledFreq += p[static_cast<std::size_t>(a - 1)];
      }
    }
    if (pooled > 0) {
      allele.push_back(pooled);
      freq.push_back(pooledFreq);
    }
    Locus L;
    L.l = l;
    L.m = static_cast<int32_t>(allele.size());
    const int32_t m = L.m;
    const std::size_t G = static_cast<std::size_t>(m * (m + 1) / 2);
    auto gi = [&](int32_t a, int32_t b) { return FamilyGenotypeIndex(a, b, m) - 1; };
    // Parental genotypes over local alleles 1..m with their weights.
    struct Geno {
      int32_t a, b;
      double logw;
    };
    auto parents = [&](bool hap, const std::pair<int32_t, int32_t>& o) {
      std::vector<Geno> out;
      for (int32_t a = 1; a <= m; ++a) {
        const double pa = freq[static_cast<std::size_t>(a - 1)];
        for (int32_t b = a; b <= (hap ? a : m); ++b) {
          const double pb = freq[static_cast<std::size_t>(b - 1)];
          double w = hap ? pa : (a == b ? pa * (F + (1 - F) * pa) : 2 * (1 - F) * pa * pb);
          const int32_t ga = allele[static_cast<std::size_t>(a - 1)], gb = allele[static_cast<std::size_t>(b - 1)];
          w *= Observation(o, hap, ga, gb, l);
          if (w > 1e-300) out.push_back({a, b, std::log(w)});
        }
      }
      return out;
    };
    const std::vector<Geno> dads = parents(fatherHaploid, fobs);
    const std::vector<Geno> mums = parents(false, mobs);
    auto add = [&](const Geno& f, const Geno& mu, double logw) {
      L.prior.push_back(logw);
      L.dip.push_back({gi(f.a, mu.a), gi(f.a, mu.b), gi(f.b, mu.a), gi(f.b, mu.b)});
      L.hap.push_back({mu.a - 1, mu.b - 1});
    };
    if (selfed) {
      for (const Geno& g : mums) add(g, g, g.logw);
    } else {
      for (const Geno& f : dads) {
        for (const Geno& mu : mums) add(f, mu, f.logw + mu.logw);
      }
    }
    for (std::size_t k = 0; k < members_.size(); ++k) {
      const bool hap = haploid_[k] != 0;
      std::vector<double> o(hap ? static_cast<std::size_t>(m) : G, 1.0);
      for (int32_t a = 1; a <= m; ++a) {
        const int32_t ga = allele[static_cast<std::size_t>(a - 1)];
        if (hap) {
          o[static_cast<std::size_t>(a - 1)] = Observation(obs[k], true, ga, 0, l);
          continue;
        }
        for (int32_t b = a; b <= m; ++b) {
          o[static_cast<std::size_t>(gi(a, b))] =
              Observation(obs[k], false, ga, allele[static_cast<std::size_t>(b - 1)], l);
        }
      }
      L.obs.push_back(std::move(o));
    }
    loci_.push_back(std::move(L));
  }
}

bool CloneFamily::Haploid(const std::vector<int32_t>& group) const {
  return haploid_[static_cast<std::size_t>(group.front())] != 0;
}

double CloneFamily::FsConfig(std::size_t k, const Groups& groups) const {
  const Locus& L = loci_[k];
  std::vector<double> logp = L.prior;
  std::vector<double> joint;
  for (const auto& g : groups) {
    GroupJoint(L, g, joint);
    for (std::size_t p = 0; p < logp.size(); ++p) {
      const double h = GroupTerm(L, joint, Haploid(g), p);
      logp[p] = h > 0.0 && logp[p] != kNone ? logp[p] + std::log(h) : kNone;
    }
  }
  return LogSumExp(logp);
}

double CloneFamily::FsConfigLog(const Groups& groups) const {
  double sum = 0.0;
  for (std::size_t k = 0; k < loci_.size(); ++k) {
    const double x = FsConfig(k, groups);
    if (x == kNone) return kNone;
    sum += x;
  }
  return sum;
}

CloneFamily::Base CloneFamily::MakeBase(const Groups& groups) const {
  Base base;
  std::vector<double> joint, logp;
  for (const Locus& L : loci_) {
    std::vector<double> logsum = L.prior;
    std::vector<int32_t> zeros(L.prior.size(), 0);
    for (const auto& g : groups) {
      GroupJoint(L, g, joint);
      for (std::size_t p = 0; p < logsum.size(); ++p) {
        const double h = GroupTerm(L, joint, Haploid(g), p);
        if (h > 0.0)
          logsum[p] += std::log(h);
        else
          ++zeros[p];
      }
    }
    logp.resize(logsum.size());
    double top = kNone;
    for (std::size_t p = 0; p < logsum.size(); ++p) {
      logp[p] = zeros[p] == 0 ? logsum[p] : kNone;
      top = std::max(top, logp[p]);
    }
    // A join multiplies a pair's terms by at most 4, and never revives a
    // pair whose terms hold a zero: the pairs below e^-40 of the largest
    // cannot matter to it.
    std::vector<std::size_t> active;
    for (std::size_t p = 0; p < logp.size(); ++p) {
      if (logp[p] != kNone && logp[p] >= top - 40.0) active.push_back(p);
    }
    const double x = LogSumExp(logp);
    base.total = (x == kNone || base.total == kNone) ? kNone : base.total + x;
    base.logsum.push_back(std::move(logsum));
    base.zeros.push_back(std::move(zeros));
    base.active.push_back(std::move(active));
  }
  return base;
}

double CloneFamily::Replace(const Base& base, const Groups& groups, const std::vector<std::size_t>& removed,
                            const Groups& added, bool join) const {
  double sum = 0.0;
  std::vector<double> logp;
  std::vector<std::vector<double>> joints(removed.size() + added.size());
  std::vector<double> h(joints.size());
  for (std::size_t k = 0; k < loci_.size(); ++k) {
    const Locus& L = loci_[k];
    for (std::size_t x = 0; x < removed.size(); ++x) GroupJoint(L, groups[removed[x]], joints[x]);
    for (std::size_t x = 0; x < added.size(); ++x) GroupJoint(L, added[x], joints[removed.size() + x]);
    const std::size_t count = join ? base.active[k].size() : L.prior.size();
    logp.assign(count, kNone);
    for (std::size_t q = 0; q < count; ++q) {
      const std::size_t p = join ? base.active[k][q] : q;
      // The removed groups' zero terms, the added ones' terms, and the
      // ratio of the added to the removed nonzero terms.
      int32_t zeros = base.zeros[k][p];
      double up = 1.0, down = 1.0;
      for (std::size_t x = 0; x < removed.size(); ++x) {
        const double t = GroupTerm(L, joints[x], Haploid(groups[removed[x]]), p);
        if (t > 0.0)
          down *= t;
        else
          --zeros;
      }
      for (std::size_t x = 0; x < added.size(); ++x) {
        const double t = GroupTerm(L, joints[removed.size() + x], Haploid(added[x]), p);
        if (t > 0.0)
          up *= t;
        else
          ++zeros;
      }
      if (zeros != 0 || !(up > 0.0) || !(down > 0.0)) continue;
      logp[q] = base.logsum[k][p] + std::log(up) - std::log(down);
    }
    const double x = LogSumExp(logp);
    if (x == kNone) return kNone;
    sum += x;
  }
  return sum;
}

double CloneFamily::SingleClonePrb(const Groups& groups, std::size_t g) const {
  return SingleClonePrb(MakeBase(groups), groups, g);
}

double CloneFamily::SingleClonePrb(const Base& base, const Groups& groups, std::size_t g) const {
  if (base.total == kNone) return 0.0;
  const std::vector<int32_t>& group = groups[g];
  double others = 0.0;
  auto count = [&](double logl) {
    if (logl != kNone) others += std::exp(std::min(logl - base.total, 700.0));
  };
  if (group.size() >= 2) {
    // A pair splits one way only.
    for (std::size_t x = 0; x < (group.size() == 2 ? 1 : group.size()); ++x) {
      std::vector<int32_t> rest = group;
      rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(x));
      count(Replace(base, groups, {g}, {rest, {group[x]}}, false));
    }
  }
  for (std::size_t o = 0; o < groups.size(); ++o) {
    if (o == g || Haploid(groups[o]) != Haploid(group)) continue;
    std::vector<int32_t> joined = group;
    joined.insert(joined.end(), groups[o].begin(), groups[o].end());
    std::sort(joined.begin(), joined.end());
    count(Replace(base, groups, {std::min(g, o), std::max(g, o)}, {joined}, true));
  }
  return 1.0 / (1.0 + others);
}

// ---------------------------------------------------------------------------
// The step over the best configuration.

namespace {

// Joins, within each candidate group (label > 0 shared), the clone groups
// whose union the likelihood prefers, the best join first, until no join
// raises the likelihood. Starts from every member on its own.
CloneFamily::Groups JoinByLikelihood(const CloneFamily& family, const std::vector<int32_t>& candidate) {
  const std::size_t k = candidate.size();
  CloneFamily::Groups groups;
  for (std::size_t a = 0; a < k; ++a) groups.push_back({static_cast<int32_t>(a)});
  std::vector<int32_t> size(k + 1, 0);
  for (int32_t c : candidate) ++size[static_cast<std::size_t>(c)];
  if (std::none_of(size.begin(), size.end(), [](int32_t s) { return s >= 2; })) return groups;
  for (;;) {
    const CloneFamily::Base base = family.MakeBase(groups);
    double bestGain = 0.0;
    std::size_t bi = 0, bj = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
      for (std::size_t j = i + 1; j < groups.size(); ++j) {
        const int32_t a = groups[i].front(), b = groups[j].front();
        if (candidate[static_cast<std::size_t>(a)] != candidate[static_cast<std::size_t>(b)]) continue;
        std::vector<int32_t> joined = groups[i];
        joined.insert(joined.end(), groups[j].begin(), groups[j].end());
        const double logl = family.Replace(base, groups, {i, j}, {joined}, true);
        if (logl == kNone) continue;
        // From an impossible reading any possible one is a gain.
        const double gain = base.total == kNone ? 1.0 : logl - base.total;
        if (gain > bestGain) {
          bestGain = gain;
          bi = i;
          bj = j;
        }
      }
    }
    if (!(bestGain > 0.0)) break;
    groups[bi].insert(groups[bi].end(), groups[bj].begin(), groups[bj].end());
    std::sort(groups[bi].begin(), groups[bi].end());
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(bj));
  }
  return groups;
}

}  // namespace

void FindClone() {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  if (v.displayq != 0) std::cout << "Inferring clones..." << std::endl;
  if (v.BtIndivLoc.rows() < static_cast<std::size_t>(std::max(n, 0)) || v.BtIndivLoc.cols() < 3) {
    v.errmsg(1) = "Clone inference: the best configuration does not cover the " + std::to_string(n) + " offspring.";
    StopOnError(1, "FindClone");
  }
  SetLynchWgt();
  Vec1<int32_t> fsid;
  const int32_t nfam = FindFSFamilyID(v.BtIndivLoc, fsid);
  std::vector<std::vector<int32_t>> families(static_cast<std::size_t>(nfam) + 1);
  for (int32_t i = 1; i <= n; ++i) families[static_cast<std::size_t>(fsid(i))].push_back(i);

  // Relatedness of every pair of members of a family, the pairs dealt out
  // among the processes and completed by a sum.
  std::vector<std::size_t> first(families.size(), 0);
  std::size_t total = 0;
  for (std::size_t f = 1; f < families.size(); ++f) {
    first[f] = total;
    const std::size_t k = families[f].size();
    total += k * (k - 1) / 2;
  }
  std::vector<double> pairs(total, 0.0);
  for (std::size_t f = 1; f < families.size(); ++f) {
    const std::vector<int32_t>& mem = families[f];
    if (mem.size() < 2) continue;
    if (v.displayq != 0) {
      std::cout << "  Computing pairwise r in FS family " << f << ", Family Size: " << mem.size() << " ..."
                << std::endl;
    }
    std::size_t at = first[f];
    for (std::size_t a = 0; a < mem.size(); ++a) {
      bool set = false;
      for (std::size_t b = a + 1; b < mem.size(); ++b, ++at) {
        if (!OwnItem(static_cast<int64_t>(at))) continue;
        if (!set) SetFirstG(mem[a]);
        set = true;
        pairs[at] = R_Li_Lynch(mem[b]);
      }
    }
  }
  ShareItems(pairs);

  v.CloneConfig.assign(static_cast<std::size_t>(std::max(n, 0)), 0);
  v.IndivLoc3.assign(static_cast<std::size_t>(std::max(n, 0)), 3, 0);
  v.CloneProb.clear();
  const bool assigned =
      v.BtInferParent.rows() >= static_cast<std::size_t>(std::max(n, 0)) && v.BtInferParent.cols() >= 2;
  int32_t index = 0;
  for (std::size_t f = 1; f < families.size(); ++f) {
    const std::vector<int32_t>& mem = families[f];
    const int32_t k = static_cast<int32_t>(mem.size());
    std::vector<double> r(static_cast<std::size_t>(k) * static_cast<std::size_t>(k), 0.0);
    std::size_t at = first[f];
    for (int32_t a = 0; a < k; ++a) {
      for (int32_t b = a + 1; b < k; ++b, ++at) {
        // One individual cannot be typed once haploid and once diploid.
        const bool mixed =
            HaploidOffspring(mem[static_cast<std::size_t>(a)]) != HaploidOffspring(mem[static_cast<std::size_t>(b)]);
        const double x = mixed ? -1e30 : pairs[at];
        r[static_cast<std::size_t>(a * k + b)] = r[static_cast<std::size_t>(b * k + a)] = x;
      }
    }
    const std::vector<int32_t> candidate = CloneGrouping(r, k);
    const int32_t i1 = mem.front();
    // The father as his first diploid offspring names him (haploid sons
    // name none).
    int32_t father = 0;
    for (int32_t i : mem) {
      if (assigned && !HaploidOffspring(i)) {
        father = v.BtInferParent(i, 1);
        break;
      }
    }
    const int32_t mother = assigned ? v.BtInferParent(i1, 2) : 0;
    const bool selfed = v.numsex == 1 && v.BtIndivLoc(i1, 1) == v.BtIndivLoc(i1, 2);
    CloneFamily family(mem, father, mother, selfed);
    CloneFamily::Groups groups = k >= 2 ? JoinByLikelihood(family, candidate) : CloneFamily::Groups{{0}};
    std::sort(groups.begin(), groups.end());
    const CloneFamily::Base base = family.MakeBase(groups);
    for (std::size_t g = 0; g < groups.size(); ++g) {
      ++index;
      v.CloneProb.resize(static_cast<std::size_t>(index));
      v.CloneProb(index) = family.SingleClonePrb(base, groups, g);
      for (int32_t a : groups[g]) {
        const int32_t i = mem[static_cast<std::size_t>(a)];
        v.CloneConfig(i) = static_cast<int32_t>(g) + 1;
        v.IndivLoc3(i, 1) = static_cast<int32_t>(f);
        v.IndivLoc3(i, 2) = static_cast<int32_t>(g) + 1;
        v.IndivLoc3(i, 3) = index;
      }
    }
  }
}

void WriteBestClone() {
  using fixed_fields::Fixed;
  using fixed_fields::Int;
  using fixed_fields::TrimRight;
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const int32_t count = static_cast<int32_t>(v.CloneProb.size());
  if (v.IndivLoc3.rows() < static_cast<std::size_t>(std::max(n, 0))) return;
  std::vector<std::vector<int32_t>> members(static_cast<std::size_t>(count) + 1);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t c = v.IndivLoc3(i, 3);
    if (c >= 1 && c <= count) members[static_cast<std::size_t>(c)].push_back(i);
  }
  std::size_t largest = 0;
  for (const auto& m : members) largest = std::max(largest, m.size());
  AtomicTextFile out(v.fname + ".BestClone");
  out << "CloneIndex      Prob      ";
  for (std::size_t k = 1; k <= largest; ++k) out << (k > 1 ? "," : "") << "Member" << k;
  out << " \n";
  for (int32_t c = 1; c <= count; ++c) {
    std::string row = Int(c, 10) + Fixed(v.CloneProb(c), 10, 3) + "      ";
    const auto& m = members[static_cast<std::size_t>(c)];
    for (std::size_t x = 0; x < m.size(); ++x) {
      if (x > 0) row += ',';
      const std::string& id = v.offspringid(m[x]);
      const std::size_t b = id.find_first_not_of(' ');
      row += b == std::string::npos ? std::string() : TrimRight(id.substr(b));
    }
    out << row << '\n';
  }
  out.Commit();
}
