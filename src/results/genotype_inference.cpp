// Genotype inference over the families of the best configuration.
//
// A parent's genotype probabilities come from conditioning: its genotype is
// fixed to each of its possible values in turn and the cluster's likelihood
// at the locus is summed over everything else, exactly as the search scores
// it. The family likelihood works over each parent's own alleles, pooling
// the alleles of the locus the parent's families do not show into one;
// such alleles are indistinguishable given the data, so the probability of
// a pooled genotype is shared among the real genotypes it stands for in
// proportion to their population frequencies.
//
// An offspring's genotype probabilities combine the gametes its parents
// pass on (each parent's genotype probabilities halved over its two
// alleles) with the offspring's own observation under the error model; a
// selfed offspring takes both gametes from one genotype. The copies of one
// individual (a clone group, when clones are inferred) share one genotype,
// which takes the observations of every copy; the parents are inferred
// from the families as the search scored them, each copy an offspring.
#include "results/genotype_inference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

#include "genotype/error_model.h"
#include "genotype/genotype_codes.h"
#include "likelihood/cluster_sum.h"
#include "likelihood/peeling.h"
#include "numeric/sorting.h"
#include "results/fixed_fields.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "state/writevar.h"

// The three genotype files of this process, written whole at the end.
class GenotypeFiles {
 public:
  std::optional<AtomicTextFile> file[3];
};

namespace {

std::size_t Gi(int32_t a, int32_t b, int32_t n) { return static_cast<std::size_t>(FamilyGenotypeIndex(a, b, n) - 1); }

std::string Trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : fixed_fields::TrimRight(s.substr(b));
}

void Normalise(std::vector<double>& x) {
  double sum = 0.0;
  for (double v : x) sum += v;
  if (sum > 0.0) {
    for (double& v : x) v /= sum;
  }
}

// Population weight of genotype (a, b) with inbreeding coefficient F.
double GenotypeWeight(const std::vector<double>& p, int32_t a, int32_t b, double F) {
  const double pa = p[static_cast<std::size_t>(a - 1)], pb = p[static_cast<std::size_t>(b - 1)];
  return std::max(0.0, a == b ? pa * (F + (1 - F) * pa) : 2 * (1 - F) * pa * pb);
}

// A parent's probabilities over its local genotypes, spread over the
// genotypes of all n alleles of the locus.
std::vector<double> Expand(const std::vector<double>& local, const std::vector<int32_t>& listed, bool pooled,
                           bool haploid, int32_t n, const std::vector<double>& p, double F) {
  const int32_t m = static_cast<int32_t>(listed.size()) + (pooled ? 1 : 0);
  std::vector<int32_t> others;
  double others_sum = 0.0;
  if (pooled) {
    std::vector<uint8_t> in(static_cast<std::size_t>(n) + 1, 0);
    for (int32_t a : listed) in[static_cast<std::size_t>(a)] = 1;
    for (int32_t a = 1; a <= n; ++a) {
      if (!in[static_cast<std::size_t>(a)]) {
        others.push_back(a);
        others_sum += p[static_cast<std::size_t>(a - 1)];
      }
    }
  }
  // Share of pooled allele mass that goes to allele x.
  auto share = [&](int32_t x) {
    return others_sum > 0.0 ? p[static_cast<std::size_t>(x - 1)] / others_sum : 1.0 / static_cast<double>(others.size());
  };
  auto global = [&](int32_t k) { return k <= static_cast<int32_t>(listed.size()) ? listed[static_cast<std::size_t>(k - 1)] : 0; };
  if (haploid) {
    std::vector<double> full(static_cast<std::size_t>(n), 0.0);
    for (int32_t k = 1; k <= m; ++k) {
      const double mass = local[static_cast<std::size_t>(k - 1)];
      if (global(k) > 0) {
        full[static_cast<std::size_t>(global(k) - 1)] += mass;
      } else {
        for (int32_t x : others) full[static_cast<std::size_t>(x - 1)] += mass * share(x);
      }
    }
    return full;
  }
  std::vector<double> full(static_cast<std::size_t>(n * (n + 1) / 2), 0.0);
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) {
      const double mass = local[Gi(i, j, m)];
      if (mass <= 0.0) continue;
      const int32_t a = global(i), b = global(j);
      if (a > 0 && b > 0) {
        full[Gi(a, b, n)] += mass;
      } else if (a > 0 || b > 0) {
        const int32_t c = a > 0 ? a : b;
        for (int32_t x : others) full[Gi(c, x, n)] += mass * share(x);
      } else {
        double total = 0.0;
        for (std::size_t u = 0; u < others.size(); ++u) {
          for (std::size_t v = u; v < others.size(); ++v) total += GenotypeWeight(p, others[u], others[v], F);
        }
        for (std::size_t u = 0; u < others.size(); ++u) {
          for (std::size_t v = u; v < others.size(); ++v) {
            const double w = total > 0.0 ? GenotypeWeight(p, others[u], others[v], F) / total : 0.0;
            full[Gi(others[u], others[v], n)] += mass * w;
          }
        }
      }
    }
  }
  return full;
}

// Allele distribution of the gametes of an individual with the given
// genotype probabilities.
std::vector<double> Gametes(const std::vector<double>& prob, bool haploid, int32_t n) {
  if (haploid) return prob;
  std::vector<double> q(static_cast<std::size_t>(n), 0.0);
  for (int32_t a = 1; a <= n; ++a) {
    for (int32_t b = a; b <= n; ++b) {
      const double x = prob[Gi(a, b, n)];
      q[static_cast<std::size_t>(a - 1)] += 0.5 * x;
      q[static_cast<std::size_t>(b - 1)] += 0.5 * x;
    }
  }
  return q;
}

// Probability of an individual's observation given true genotype (a, b)
// (haploid: allele a); 1 when it is untyped.
double Observation(const std::pair<int32_t, int32_t>& obs, bool haploid, int32_t a, int32_t b, int32_t l) {
  if (obs.first <= 0) return 1.0;
  return haploid ? PrbGtoPHaploid(a, obs.first, l) : PrbGtoP(a, b, obs.first, obs.second, l);
}

// Probabilities of an individual from its own observation alone (a locus
// that carries no information on relatives).
std::vector<double> Unrelated(const std::pair<int32_t, int32_t>& obs, bool haploid, int32_t n, int32_t l) {
  const std::vector<double>& p = likelihoodvar.obsallelefre(l);
  const double F = variables.inbreeding;
  std::vector<double> prob(static_cast<std::size_t>(haploid ? n : n * (n + 1) / 2), 0.0);
  for (int32_t a = 1; a <= n; ++a) {
    if (haploid) {
      prob[static_cast<std::size_t>(a - 1)] = p[static_cast<std::size_t>(a - 1)] * Observation(obs, true, a, 0, l);
      continue;
    }
    for (int32_t b = a; b <= n; ++b) prob[Gi(a, b, n)] = GenotypeWeight(p, a, b, F) * Observation(obs, false, a, b, l);
  }
  Normalise(prob);
  return prob;
}

// Genotype probabilities of one offspring typed once or several times (the
// copies of a clone group, one individual): prob holds the chances of its
// true genotypes given its parents (haploid: of its alleles) and receives
// them given every copy's observation as well, normalised.
void InferCloneGtype(const std::vector<int32_t>& copies, bool haploid, int32_t n, int32_t l, std::vector<double>& prob) {
  for (int32_t i : copies) {
    const auto obs = ObservedGenotype(0, i, l);
    for (int32_t a = 1; a <= n; ++a) {
      if (haploid) {
        prob[static_cast<std::size_t>(a - 1)] *= Observation(obs, true, a, 0, l);
        continue;
      }
      for (int32_t b = a; b <= n; ++b) prob[Gi(a, b, n)] *= Observation(obs, false, a, b, l);
    }
  }
  Normalise(prob);
}

// Two alleles as text, the smaller name first (names are whole numbers, so
// a shorter text is a smaller name).
std::string PairText(const std::string& x, const std::string& y) {
  const bool swap = y.size() < x.size() || (y.size() == x.size() && y < x);
  return swap ? y + ',' + x : x + ',' + y;
}

std::string AlleleText(int32_t a) {
  const std::vector<std::string>& names = writevar.CAlleleID;
  return a >= 0 && static_cast<std::size_t>(a) < names.size() ? names[static_cast<std::size_t>(a)] : std::to_string(a);
}

// Allele names of locus l in full, by allele index.
void SetAlleleNames(int32_t l, int32_t n) {
  std::vector<std::string>& names = writevar.CAlleleID;
  names.assign(static_cast<std::size_t>(n) + 1, std::string());
  names[0] = "0";
  const bool dominant = variables.dominantmarker(l) != 0;
  const std::vector<int32_t>* raw =
      static_cast<std::size_t>(l) <= variables.rawalleleid.size() ? &variables.rawalleleid(l) : nullptr;
  for (int32_t a = 1; a <= n; ++a) {
    // A dominant marker's alleles are named by number, as in the allele
    // frequency file.
    const bool named = !dominant && raw != nullptr && static_cast<std::size_t>(a) <= raw->size();
    names[static_cast<std::size_t>(a)] = named ? std::to_string((*raw)[static_cast<std::size_t>(a - 1)]) : std::to_string(a);
  }
}

void BuildCFre() {
  std::vector<std::string>& cfre = writevar.CFre;
  if (cfre.size() == 10001) return;
  cfre.assign(10001, std::string());
  char buffer[32];
  for (int32_t k = 0; k <= 10000; ++k) {
    std::snprintf(buffer, sizeof buffer, "%6.3f", k * 0.0001);
    cfre[static_cast<std::size_t>(k)] = Trim(buffer);
  }
}

// Whether a file lists only haploid individuals: fathers of a haplodiploid
// species, and its offspring when all are haploid sons. Such a file takes
// the one-allele layout; haploid sons among diploid daughters are written
// in the two-allele layout with their second allele left empty.
bool HaploidFile(int32_t kind) {
  const Variables& v = variables;
  if (v.haplodiploid != 1) return false;
  if (kind == 2) return true;
  if (kind == 1) {
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      if (!HaploidOffspring(i)) return false;
    }
    return v.smplsize > 0;
  }
  return false;
}

int32_t NumEstGenotype() {
  const int32_t k = likelihoodvar.numestgenotype;
  return k >= 1 ? std::min(k, 5) : 5;
}

std::string Header(int32_t kind) {
  static const char* const titles[3] = {"OffspringID", "FatherID", "MotherID"};
  std::string h = std::string(titles[kind - 1]) + ",MarkerID";
  const int32_t k = NumEstGenotype();
  if (HaploidFile(kind)) {
    h += ",Phenotype,TypeError";
    for (int32_t e = 1; e <= k; ++e) h += ",Genotype" + std::to_string(e) + ",Prob" + std::to_string(e);
  } else {
    h += ",ObsAllele1,ObsAllele2,TypeError";
    for (int32_t e = 1; e <= k; ++e) {
      const std::string s = std::to_string(e);
      h += ",Est" + s + "-Allele1,Est" + s + "-Allele2,Prob" + s;
    }
  }
  return h;
}

// Appends one individual's row: kind 1 offspring, 2 fathers, 3 mothers.
void WriteInferredGtype(int32_t kind, GenotypeFiles& files, const std::string& id, int32_t l,
                        const std::pair<int32_t, int32_t>& obs, bool haploid, const std::vector<double>& prob) {
  std::optional<AtomicTextFile>& file = files.file[kind - 1];
  if (!file) StopWithMessage("Genotype file " + std::to_string(kind) + " is not open", "WriteInferredGtype");
  const int32_t n = likelihoodvar.obsnumallele(l);
  const int32_t count = static_cast<int32_t>(prob.size());
  Vec1<double> key(static_cast<std::size_t>(count));
  for (int32_t g = 1; g <= count; ++g) key(g) = -prob[static_cast<std::size_t>(g - 1)];
  Vec1<int32_t> order;
  Indexx(count, key, order);
  // Allele pair of table entry g (haploid: the allele and none).
  std::vector<std::pair<int32_t, int32_t>> pairs(static_cast<std::size_t>(count));
  for (int32_t a = 1; a <= n; ++a) {
    if (haploid) {
      pairs[static_cast<std::size_t>(a - 1)] = {a, 0};
      continue;
    }
    for (int32_t b = a; b <= n; ++b) pairs[Gi(a, b, n)] = {a, b};
  }
  const bool twoAlleles = !HaploidFile(kind);
  const bool dominant = variables.dominantmarker(l) != 0;
  std::string row = id + ',' + Trim(variables.markerid(l));
  // Observed alleles; a dominant phenotype is written as its number.
  const std::string o1 = AlleleText(obs.first <= 0 ? 0 : obs.first);
  const std::string o2 = haploid || dominant ? std::string() : AlleleText(obs.second <= 0 ? 0 : obs.second);
  row += ',' + (twoAlleles ? (o2.empty() ? o1 + ',' : PairText(o1, o2)) : o1);
  // The typing-error flag: 1 when the observation cannot come from the most
  // probable genotype without a typing error.
  int32_t flag = 0;
  if (obs.first > 0 && count > 0) {
    const auto [t1, t2] = pairs[static_cast<std::size_t>(order(1) - 1)];
    const double p = PrbG_P(obs.first, haploid || dominant ? 0 : obs.second, t1, t2, n, 0.0, 0.0, 0);
    flag = p > 0.0 ? 0 : 1;
  }
  row += ',' + std::to_string(flag);
  const int32_t listed = NumEstGenotype();
  for (int32_t e = 1; e <= listed; ++e) {
    if (e > count) {
      row += twoAlleles ? ",,," : ",,";
      continue;
    }
    const int32_t g = order(e);
    const auto [a, b] = pairs[static_cast<std::size_t>(g - 1)];
    if (!twoAlleles) {
      row += ',' + AlleleText(a);
    } else {
      row += ',' + (haploid ? AlleleText(a) + ',' : PairText(AlleleText(a), AlleleText(b)));
    }
    row += ',' + ProbabilityText(prob[static_cast<std::size_t>(g - 1)]);
  }
  *file << row << '\n';
}

}  // namespace

const std::string& ProbabilityText(double p) {
  BuildCFre();
  // A probability a rounding error puts above 1 (or a NaN) must still name
  // an entry of the table.
  double x = p * 10000.0;
  if (!(x >= 0.0)) x = 0.0;
  const long k = std::min(10000L, std::lround(std::min(x, 10000.0)));
  return writevar.CFre[static_cast<std::size_t>(k)];
}

bool InferFamilyGenotypes(int32_t l, ClusterGenotypes& out) {
  const FamilyLoglVar& fv = familyloglvar;
  const int32_t n = likelihoodvar.obsnumallele(l);
  const bool hd = variables.haplodiploid == 1;
  const double F = variables.inbreeding;
  const std::size_t npar = fv.parents.size();
  out = ClusterGenotypes{};
  out.parents.resize(npar);
  out.parenthaploid.resize(npar);
  if (n < 1) return true;
  const std::vector<double>& p = likelihoodvar.obsallelefre(l);
  for (std::size_t k = 0; k < npar; ++k) out.parenthaploid[k] = hd && fv.parents[k].sex == 1 ? 1 : 0;

  LocusGraphView view;
  if (n >= 2) {
    if (!FamilyLocusGraph(l, view)) return false;
    ClusterGraph graph = *view.graph;
    // The sums prune what the search's likelihood prunes.
    const double prune = variables.likelihoodprecision >= 3 ? 0.0 : likelihoodvar.prec3;
    std::vector<double> logs;
    for (std::size_t k = 0; k < npar; ++k) {
      std::vector<double>& w = graph.nodes[k].w;
      const std::vector<double> saved = w;
      const std::size_t G = static_cast<std::size_t>(graph.nodes[k].G);
      logs.assign(G, -1e300);
      double best = -1e300;
      for (std::size_t g = 0; g < G; ++g) {
        if (!(saved[g] > 0.0)) continue;
        std::fill(w.begin(), w.end(), 0.0);
        w[g] = saved[g];
        logs[g] = ClusterLogSum(graph, prune);
        best = std::max(best, logs[g]);
      }
      w = saved;
      if (best <= -1e300) return false;
      std::vector<double> local(G, 0.0);
      for (std::size_t g = 0; g < G; ++g) local[g] = logs[g] <= -1e300 ? 0.0 : std::exp(logs[g] - best);
      Normalise(local);
      out.parents[k] = Expand(local, view.alleles[k], view.pooled[k] != 0, out.parenthaploid[k] != 0, n, p, F);
    }
  } else {
    for (std::size_t k = 0; k < npar; ++k) {
      const auto& par = fv.parents[k];
      const std::pair<int32_t, int32_t> obs = par.candidate > 0 ? ObservedGenotype(par.sex, par.candidate, l)
                                                                : std::pair<int32_t, int32_t>{0, 0};
      out.parents[k] = Unrelated(obs, out.parenthaploid[k] != 0, n, l);
    }
  }

  for (const auto& fam : fv.families) {
    const bool selfed = fam.father >= 0 && fam.father == fam.mother;
    const std::vector<double> qm = Gametes(out.parents[static_cast<std::size_t>(fam.mother)],
                                           out.parenthaploid[static_cast<std::size_t>(fam.mother)] != 0, n);
    std::vector<double> qf;
    if (fam.father >= 0) {
      qf = Gametes(out.parents[static_cast<std::size_t>(fam.father)],
                   out.parenthaploid[static_cast<std::size_t>(fam.father)] != 0, n);
    }
    // Offspring genotype probabilities before their own observations.
    std::vector<double> diploid(static_cast<std::size_t>(n * (n + 1) / 2), 0.0);
    if (selfed) {
      const std::vector<double>& pp = out.parents[static_cast<std::size_t>(fam.father)];
      for (int32_t a = 1; a <= n; ++a) {
        for (int32_t b = a; b <= n; ++b) {
          const double x = pp[Gi(a, b, n)];
          diploid[Gi(a, a, n)] += 0.25 * x;
          diploid[Gi(b, b, n)] += 0.25 * x;
          diploid[Gi(a, b, n)] += 0.5 * x;
        }
      }
    } else if (fam.father >= 0) {
      for (int32_t a = 1; a <= n; ++a) {
        for (int32_t b = a; b <= n; ++b) {
          const double fa = qf[static_cast<std::size_t>(a - 1)], fb = qf[static_cast<std::size_t>(b - 1)];
          const double ma = qm[static_cast<std::size_t>(a - 1)], mb = qm[static_cast<std::size_t>(b - 1)];
          diploid[Gi(a, b, n)] = a == b ? fa * ma : fa * mb + fb * ma;
        }
      }
    }
    const std::size_t start = out.offspring.size();
    for (int32_t i : fam.members) {
      const bool haploid = hd && variables.offploid(i) == 1;
      std::vector<double> prob = haploid ? qm : diploid;
      InferCloneGtype({i}, haploid, n, l, prob);
      out.offspring.push_back(i);
      out.offspringprob.push_back(std::move(prob));
      out.offspringhaploid.push_back(haploid ? 1 : 0);
    }
    // Copies of one individual share its genotype.
    const Mat1<int32_t>& clone = variables.IndivLoc3;
    if (variables.allowclone != 1 || clone.rows() < static_cast<std::size_t>(variables.smplsize)) continue;
    for (std::size_t x = start; x < out.offspring.size(); ++x) {
      std::vector<int32_t> copies;
      std::vector<std::size_t> slots;
      for (std::size_t y = start; y < out.offspring.size(); ++y) {
        if (clone(out.offspring[y], 3) == clone(out.offspring[x], 3)) {
          copies.push_back(out.offspring[y]);
          slots.push_back(y);
        }
      }
      if (copies.size() < 2 || slots.front() != x) continue;
      const bool haploid = out.offspringhaploid[x] != 0;
      std::vector<double> prob = haploid ? qm : diploid;
      InferCloneGtype(copies, haploid, n, l, prob);
      for (std::size_t y : slots) out.offspringprob[y] = prob;
    }
  }
  return true;
}

void AddParentAlleleCounts(const ClusterGenotypes& inferred, int32_t n, std::vector<double>& counts) {
  if (counts.size() < static_cast<std::size_t>(n)) counts.resize(static_cast<std::size_t>(n), 0.0);
  for (std::size_t k = 0; k < inferred.parents.size(); ++k) {
    const bool haploid = inferred.parenthaploid[k] != 0;
    const std::vector<double> q = Gametes(inferred.parents[k], haploid, n);
    for (int32_t a = 1; a <= n; ++a) counts[static_cast<std::size_t>(a - 1)] += (haploid ? 1.0 : 2.0) * q[static_cast<std::size_t>(a - 1)];
  }
}

void GenotypeInference(int32_t l, int32_t slot, const Mat1<std::string>& parentIds, GenotypeFiles& files,
                       std::vector<double>& allelecount) {
  FamilyBuild(slot);
  const FamilyLoglVar& fv = familyloglvar;
  ClusterGenotypes inferred;
  if (!InferFamilyGenotypes(l, inferred)) {
    variables.errmsg(1) = "Genotype inference: the families of cluster " + std::to_string(slot) +
                          " of the best configuration are impossible at locus " + std::to_string(l) + ".";
    StopOnError(1, "Output");
  }
  const int32_t n = likelihoodvar.obsnumallele(l);
  if (n < 1) return;
  allelecount.resize(static_cast<std::size_t>(n), 0.0);
  for (std::size_t k = 0; k < fv.parents.size(); ++k) {
    const auto& par = fv.parents[k];
    const bool haploid = inferred.parenthaploid[k] != 0;
    // The parent's identifier: a candidate's own, an unsampled parent's made
    // up from its family, read from any offspring it has in its role.
    std::string id;
    for (const auto& fam : fv.families) {
      const int32_t node = par.sex == 1 ? fam.father : fam.mother;
      if (node == static_cast<int32_t>(k) && !fam.members.empty()) {
        id = Trim(parentIds(fam.members.front(), par.sex));
        break;
      }
    }
    const std::pair<int32_t, int32_t> obs = par.candidate > 0 ? ObservedGenotype(par.sex, par.candidate, l)
                                                              : std::pair<int32_t, int32_t>{0, 0};
    WriteInferredGtype(par.sex == 1 ? 2 : 3, files, id, l, obs, haploid, inferred.parents[k]);
  }
  AddParentAlleleCounts(inferred, n, allelecount);
  for (std::size_t j = 0; j < inferred.offspring.size(); ++j) {
    const int32_t i = inferred.offspring[j];
    WriteInferredGtype(1, files, Trim(variables.offspringid(i)), l, ObservedGenotype(0, i, l),
                       inferred.offspringhaploid[j] != 0, inferred.offspringprob[j]);
  }
}

void InferGenotypes(const Mat1<std::string>& parentIds, Vec1<std::vector<double>>& allelecounts) {
  const Variables& v = variables;
  allelecounts.assign(static_cast<std::size_t>(std::max(v.numloci, 0)), {});
  // Without the offspring's genotypes (results written from a configuration
  // alone) there is nothing to infer.
  if (v.indivgtype.size() < static_cast<std::size_t>(std::max(v.numloci, 0))) return;
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (v.indivgtype(l).size() < ColumnWords(v.smplsize, likelihoodvar.obsnumallele(l))) return;
  }
  static const char* const suffixes[3] = {".OffGenotype", ".DadGenotype", ".MumGenotype"};
  GenotypeFiles files;
  for (int32_t kind = 1; kind <= 3; ++kind) {
    std::string name = v.fname + suffixes[kind - 1];
    if (v.numthreads > 1) name += std::to_string(v.threadid);
    files.file[kind - 1].emplace(name);
    if (v.threadid == 0) *files.file[kind - 1] << Header(kind) << '\n';
  }
  // Clusters in the order of their first members.
  std::vector<std::pair<int32_t, int32_t>> slots;
  for (int32_t k = 1; k <= static_cast<int32_t>(v.IndivCluster.size()); ++k) {
    if (v.IndivClusterIdx(k) != -1 && !v.IndivCluster(k).empty()) slots.push_back({v.IndivCluster(k).front(), k});
  }
  std::sort(slots.begin(), slots.end());
  Arr1<int32_t, 2> range;
  SetThreadTask(v.numloci, range);
  if (v.displayq != 0) {
    std::cout << "Inferring genotypes and allele frequencies..." << '\n' << "  Locus: 1 - " << v.numloci << std::endl;
  }
  for (int32_t l = range(1); l <= range(2); ++l) {
    if (v.displayq != 0) std::cout << '\r' << "  " << l << std::flush;
    SetAlleleNames(l, likelihoodvar.obsnumallele(l));
    for (const auto& s : slots) GenotypeInference(l, s.second, parentIds, files, allelecounts(l));
  }
  if (v.displayq != 0) std::cout << "\r  Done for all loci." << std::endl;
  for (auto& f : files.file) f->Commit();
}
