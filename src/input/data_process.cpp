// Processing of the data read: the order of the alleles of dominant loci,
// checks against known population frequencies and of the known
// relationships, the observed allele frequencies, the genotype code tables, and
// the allele-frequency update for selfing.
#include "input/data_process.h"

#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "genotype/genotype_codes.h"
#include "input/allele_recoding.h"
#include "input/known_relationships.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "runctl/parallel.h"
#include "state/likelihoodvar.h"
#include "state/setgetgtype.h"
#include "state/variables.h"

namespace {

bool Show() { return variables.threadid == 0 && variables.displayq != 0; }

std::string Width(int64_t value, int width) {
  std::ostringstream s;
  s << std::setw(width) << value;
  return s.str();
}

// Position of an allele name in the known list of locus l, 0 if absent.
int32_t KnownAllele(int32_t l, int32_t name) {
  const Variables& v = variables;
  for (int32_t k = 1; k <= v.popnumallele(l); ++k) {
    if (v.popallele(k, l) == name) return k;
  }
  return 0;
}

// Step 3: every allele of the sample must be in the known list; a known
// frequency of zero would make the observed allele impossible.
void CheckKnownFrequencies() {
  Variables& v = variables;
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (v.dominantmarker(l) != 0) continue;
    for (int32_t name : v.rawalleleid(l)) {
      const int32_t k = KnownAllele(l, name);
      const std::string head = "Allele" + Width(name, 6) + " at locus" + Width(l, 4);
      if (k == 0) StopWithMessage(head + " is found in the sample but absent from the population!", "DataProcess");
      if (v.popallelefre(k, l) <= 1e-300) {
        if (Show()) {
          std::cout << head << " is found in the sample but has a known freqency of 0!\n"
                    << "Its frequency is now reset to 0.001" << std::endl;
        }
        v.popallelefre(k, l) = 0.001;
        Sleeping(v.stoppauseseconds);
      }
    }
  }
}

// Allele counts of locus l over the offspring and the candidates that are
// not the same individual as an offspring or as a candidate father.
std::vector<double> AlleleCounts(int32_t l) {
  const Variables& v = variables;
  const bool dominant = v.dominantmarker(l) != 0;
  std::vector<double> c(static_cast<std::size_t>(std::max<int32_t>(dominant ? 2 : v.rawallelenum(l), 0)), 0.0);
  auto add = [&](int32_t sex, int32_t k, int32_t copies) {
    const auto [a, b] = StoredAlleles(sex, k, l);
    if (a <= 0) return;
    if (dominant) {
      c[static_cast<std::size_t>(a - 1)] += 1;  // individuals showing the phenotype
      return;
    }
    c[static_cast<std::size_t>(a - 1)] += 1;
    if (copies == 2 && b > 0) c[static_cast<std::size_t>(b - 1)] += 1;
  };
  for (int32_t i = 1; i <= v.smplsize; ++i) add(0, i, v.offploid(i) == 1 ? 1 : 2);
  for (int32_t sex = 1; sex <= 2; ++sex) {
    if (dominant && v.ploidy(sex) == 1) continue;
    for (int32_t k = 1; k <= v.numchild(sex); ++k) {
      if (!v.cndinoffspring(sex).empty() && v.cndinoffspring(sex)(k) != 0) continue;
      if (sex == 2 && !v.cndinothersex(2).empty() && v.cndinothersex(2)(k) != 0) continue;
      add(sex, k, v.ploidy(sex));
    }
  }
  return c;
}

// Recessive-allele frequency of a dominant locus from the share f of typed
// individuals showing the recessive phenotype: the root of
// (1 - D) q^2 + D q = f. With D = 1 the equation reads q = f.
double RecessiveFrequency(double f, double D) {
  if (D >= 1.0) return f;
  return (std::sqrt(D * D + 4 * (1 - D) * f) - D) / (2 * (1 - D));
}

// Step 5: observed allele frequencies, and the code tables.
void ObservedFrequencies() {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const std::size_t nl = static_cast<std::size_t>(v.numloci);
  lv.obsnumallele.assign(nl, 0);
  lv.obsallelefre.assign(nl);
  int32_t maxn = 0;
  for (int32_t l = 1; l <= v.numloci; ++l) {
    const bool dominant = v.dominantmarker(l) != 0;
    lv.obsnumallele(l) = v.rawallelenum(l);
    maxn = std::max(maxn, lv.obsnumallele(l));
    std::vector<double> c = AlleleCounts(l);
    if (!dominant && c.size() == 2 && c[0] < c[1]) {
      // The more frequent allele of a biallelic locus is allele 1.
      ReverseGtype(l);
      std::swap(c[0], c[1]);
    }
    std::vector<double>& p = lv.obsallelefre(l);
    if (dominant) {
      p.assign(2, 0.0);
      if (v.popallelefreknownq == 1 && v.popnumallele(l) >= 2) {
        p[1] = v.popallelefre(2, l);
      } else if (c[0] > 0 && c[1] > 0) {
        double q = RecessiveFrequency(c[1] / (c[0] + c[1]), v.droprate(l));
        const int32_t m = v.ploidy(1) == 1 ? v.numchild(1) : 0;
        if (m >= 1) {
          // Haploid males show their allele directly.
          int32_t k2 = 0;
          for (int32_t k = 1; k <= m; ++k) k2 += StoredAlleles(1, k, l).first == 2 ? 1 : 0;
          const double T = c[0] + c[1];
          const double w = T / (T + 4.0 * m);
          q = w * q + (1 - w) * static_cast<double>(k2) / m;
        }
        p[1] = q;
      } else {
        p[1] = c[1] > 0 ? 1.0 : 0.0;
      }
      p[0] = 1.0 - p[1];
      // Whatever order the phenotypes were met in, allele 1 is the item 1.
      std::vector<int32_t>& names = v.rawalleleid(l);
      if (names.size() == 2 && names[0] == 2) std::swap(names[0], names[1]);
      continue;
    }
    const int32_t n = lv.obsnumallele(l);
    p.assign(static_cast<std::size_t>(n), 0.0);
    double total = 0.0;
    for (int32_t a = 1; a <= n; ++a) {
      const double x = v.popallelefreknownq == 1 ? v.popallelefre(KnownAllele(l, v.rawalleleid(l)[static_cast<std::size_t>(a - 1)]), l)
                                                 : c[static_cast<std::size_t>(a - 1)];
      p[static_cast<std::size_t>(a - 1)] = x;
      total += x;
    }
    for (double& x : p) x = total > 0 ? x / total : 1.0 / n;
  }
  lv.obsallelefre0 = lv.obsallelefre;
  lv.allelefre = lv.obsallelefre;
  lv.locus2logl.assign(3, nl, 0.0);
  BuildGenotypeCodes(maxn);
}

// Reads frequencies saved by an earlier selfing update, only when they fit
// this data: the same loci with the same numbers of alleles, every
// frequency in [0, 1] and every locus summing to 1.
bool ReadInbAlleleFre(const std::string& name) {
  std::ifstream in(name);
  if (!in) return false;
  LikelihoodVar& lv = likelihoodvar;
  Vec1<std::vector<double>> fre(static_cast<std::size_t>(variables.numloci));
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    int32_t locus = 0, n = 0;
    if (!(in >> locus >> n) || locus != l || n != static_cast<int32_t>(lv.obsallelefre(l).size())) return false;
    double sum = 0.0;
    for (int32_t a = 0; a < n; ++a) {
      double x = 0.0;
      if (!(in >> x) || !(x >= 0.0 && x <= 1.0)) return false;
      fre(l).push_back(x);
      sum += x;
    }
    if (n > 0 && std::fabs(sum - 1.0) > 1e-6) return false;
  }
  lv.obsallelefre = fre;
  return true;
}

void WriteInbAlleleFre(const std::string& name) {
  AtomicTextFile out(name);
  char buf[64];
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    const auto& p = likelihoodvar.obsallelefre(l);
    out << l << ' ' << p.size();
    for (double x : p) {
      std::snprintf(buf, sizeof buf, " %.17E", x);
      out << buf;
    }
    out << '\n';
  }
  out.Commit();
}

// Allele frequencies and inbreeding estimated together: a homozygote is
// identical by descent with probability F / (p (1 - F) + F), and its copies
// that are identical by descent count once. Individuals are divided among
// the processes; their counts are summed over all of them.
void SelfingFrequencyUpdate() {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t total = v.smplsize + v.numchild(1);
  Arr1<int32_t, 2> range;
  SetThreadTask(total, range);
  lv.l2thread = range;
  double F = v.inbreeding;
  if (Show()) std::cout << "Updating allele frequencies by accounting for selfing... Iterate:";
  int32_t progress = 0;
  for (int32_t iter = 1; iter <= 100; ++iter) {
    // counts[...]: per locus, allele copies then the identical-by-descent
    // share and the number of typed individuals.
    std::vector<double> counts;
    std::vector<std::size_t> start(static_cast<std::size_t>(v.numloci) + 1, 0);
    for (int32_t l = 1; l <= v.numloci; ++l) {
      start[static_cast<std::size_t>(l - 1)] = counts.size();
      counts.resize(counts.size() + lv.obsallelefre(l).size() + 2, 0.0);
    }
    for (int32_t k = range(1); k <= range(2); ++k) {
      const int32_t sex = k <= v.smplsize ? 0 : 1;
      const int32_t idx = sex == 0 ? k : k - v.smplsize;
      if (sex == 1 && !v.cndinoffspring(1).empty() && v.cndinoffspring(1)(idx) != 0) continue;
      for (int32_t l = 1; l <= v.numloci; ++l) {
        if (v.dominantmarker(l) != 0 || lv.obsnumallele(l) < 2) continue;
        const auto [a, b] = StoredAlleles(sex, idx, l);
        if (a <= 0) continue;
        const std::vector<double>& p = lv.obsallelefre(l);
        double* c = &counts[start[static_cast<std::size_t>(l - 1)]];
        const std::size_t n = p.size();
        double ibd = 0.0;
        if (a == b) {
          const double pa = p[static_cast<std::size_t>(a - 1)];
          ibd = (pa * (1 - F) + F) > 0 ? F / (pa * (1 - F) + F) : 0.0;
          c[a - 1] += 2 - ibd;
        } else {
          c[a - 1] += 1;
          c[b - 1] += 1;
        }
        c[n] += ibd;
        c[n + 1] += 1;
      }
    }
    if (variables.numthreads > 1 && MpiActive()) {
      MPI_Allreduce(MPI_IN_PLACE, counts.data(), static_cast<int>(counts.size()), MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    }
    double sumF = 0.0;
    int32_t nloci = 0;
    for (int32_t l = 1; l <= v.numloci; ++l) {
      if (v.dominantmarker(l) != 0 || lv.obsnumallele(l) < 2) continue;
      std::vector<double>& p = lv.obsallelefre(l);
      const double* c = &counts[start[static_cast<std::size_t>(l - 1)]];
      double sum = 0.0;
      for (std::size_t a = 0; a < p.size(); ++a) sum += c[a];
      if (sum > 0) {
        for (std::size_t a = 0; a < p.size(); ++a) p[a] = c[a] / sum;
      }
      if (c[p.size() + 1] > 0) {
        sumF += c[p.size()] / c[p.size() + 1];
        ++nloci;
      }
    }
    const double newF = nloci > 0 ? std::min(0.99, std::max(-0.99, sumF / nloci)) : 0.0;
    WriteProgress(progress, 1, "Updating allele frequencies by accounting for selfing... Iterate: " + std::to_string(iter));
    const bool done = std::fabs(newF - F) <= 1e-3 * std::fabs(newF) || std::fabs(newF - F) <= 1e-20;
    F = newF;
    if (done) break;
  }
  if (Show()) std::cout << std::endl;
}

}  // namespace

void DataProcess() {
  Variables& v = variables;
  if (v.popallelefreknownq == 1) CheckKnownFrequencies();
  CheckKnownRelationships();
  ObservedFrequencies();

  // Step 6: allele frequencies updated for selfing.
  const int32_t ncand = v.numsex == 1 ? v.numchild(1) : v.numchild(1) + v.numchild(2);
  if (v.popallelefreknownq == 1 || ncand > 2 * v.smplsize) return;
  const std::string name = v.fname + ".InbAlleleFr";
  if (FileExists(name)) {
    if (Show()) std::cout << "Reading updated allele frequency..." << std::endl;
    if (ReadInbAlleleFre(name)) {
      likelihoodvar.obsallelefre0 = likelihoodvar.obsallelefre;
      likelihoodvar.allelefre = likelihoodvar.obsallelefre;
      return;
    }
  }
  if (v.numsex == 1 && v.allowinbreeding == 1) {
    SelfingFrequencyUpdate();
    likelihoodvar.obsallelefre0 = likelihoodvar.obsallelefre;
    likelihoodvar.allelefre = likelihoodvar.obsallelefre;
    if (v.threadid == 0) {
      if (Show()) std::cout << "Writing updated allele frequency..." << std::endl;
      WriteInbAlleleFre(name);
    }
  }
}
