// The files of the population estimates that accompany the best
// configuration: ".Inbreeding", ".AlleleFreq" and ".ErrorRate", and the
// inbreeding estimators they report. Every file is
// written whole under a temporary name and renamed into place; a failed
// write stops the program naming the file.
#include "results/estimate_files.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "genotype/genotype_codes.h"
#include "likelihood/inbreeding.h"
#include "results/fixed_fields.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "runctl/parallel.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

using fixed_fields::Fixed;
using fixed_fields::Right;
using fixed_fields::TrimRight;

namespace {

// One line of the inbreeding file: texts and reals in fields of width 20.
std::string Texts(std::initializer_list<const char*> texts) {
  std::string line;
  for (const char* t : texts) line += Right(t, 20);
  return line;
}

std::string Reals(std::initializer_list<double> values) {
  std::string line;
  for (const double x : values) line += Fixed(x, 20, 4);
  return line;
}

// Inbreeding coefficient of a population with selfing rate s, and back.
double InbreedingOfSelfing(double s) { return s / (2.0 - s); }
double SelfingOfInbreeding(double f) { return f <= 0.0 ? 0.0 : 2.0 * f / (1.0 + f); }

std::string Freq(double x) { return rtoc(x, "%9.4f"); }

}  // namespace

// Selfing leaves whole genomes inbred, so heterozygosity is correlated
// between loci: with H_l an individual's heterozygosity indicator at locus
// l, g2 = E[H_l H_m] / (E[H_l] E[H_m]) - 1 over pairs of distinct loci is
// zero without selfing. The expectations are taken over pairs of loci typed
// in the same individual (numerator) and in two different individuals
// (denominator), so missing genotypes bias neither. A population selfing at
// rate s has t generations of selfing behind an individual with chance
// (1 - s) s^t, which halves its heterozygosity t times; this gives
// g2 = (2 - s)^2 / ((1 - s)(4 - s)) - 1, solved here for s. Dropout makes
// false homozygotes at each locus on its own and so adds no correlation.
void Identity(double& est) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  est = -1.0;
  std::vector<int32_t> loci;
  for (int32_t l = 1; l <= v.numloci; ++l) {
    if (v.dominantmarker(l) == 0 && static_cast<std::size_t>(l) <= lv.obsnumallele.size() && lv.obsnumallele(l) >= 2) {
      loci.push_back(l);
    }
  }
  const std::size_t L = loci.size();
  if (L < 2) return;
  // Heterozygosity of every diploid individual sampled once (offspring, and
  // the candidates not also listed as an offspring or in the other sex):
  // 1 heterozygous, 0 homozygous, -1 not typed.
  std::vector<std::vector<int8_t>> h;
  auto add = [&](int32_t sex, int32_t k) {
    std::vector<int8_t> row(L, -1);
    for (std::size_t x = 0; x < L; ++x) {
      const auto [a, b] = ObservedGenotype(sex, k, loci[x]);
      if (a > 0 && b > 0) row[x] = a != b ? 1 : 0;
    }
    h.push_back(std::move(row));
  };
  auto listed = [&](const Arr1<Vec1<int32_t>, 2>& table, int32_t sex, int32_t k) {
    return static_cast<std::size_t>(k) <= table(sex).size() && table(sex)(k) != 0;
  };
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (v.offploid(i) == 2) add(0, i);
  }
  for (int32_t sex = 1; sex <= 2; ++sex) {
    if (v.ploidy(sex) != 2) continue;
    for (int32_t k = 1; k <= v.numchild(sex); ++k) {
      if (listed(v.cndinoffspring, sex, k) || (sex == 2 && listed(v.cndinothersex, sex, k))) continue;
      add(sex, k);
    }
  }
  std::vector<double> T(L, 0.0), n(L, 0.0);
  for (const auto& row : h) {
    for (std::size_t x = 0; x < L; ++x) {
      if (row[x] >= 0) {
        T[x] += row[x];
        n[x] += 1.0;
      }
    }
  }
  double same = 0.0, samecount = 0.0, apart = 0.0, apartcount = 0.0;
  for (std::size_t x = 0; x < L; ++x) {
    for (std::size_t y = x + 1; y < L; ++y) {
      double S = 0.0, both = 0.0;
      for (const auto& row : h) {
        if (row[x] < 0 || row[y] < 0) continue;
        S += row[x] * row[y];
        both += 1.0;
      }
      same += S;
      samecount += both;
      apart += T[x] * T[y] - S;
      apartcount += n[x] * n[y] - both;
    }
  }
  if (samecount <= 0.0 || apartcount <= 0.0 || apart <= 0.0) return;
  const double g2 = (same / samecount) / (apart / apartcount) - 1.0;
  if (g2 <= 0.0) {
    est = 0.0;
    return;
  }
  const double b = 1.0 + 5.0 * g2;
  est = std::clamp((b - std::sqrt(b * b - 16.0 * g2 * g2)) / (2.0 * g2), 0.0, 1.0);
}

void WriteInbreeding(const Arr1<double, 3>& selfing) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".Inbreeding");
  if (v.numsex == 2) {
    out << Texts({"Parameter", "ML-Est"}) << '\n';
    out << Texts({"Inbreeding"}) << Reals({v.inbreeding}) << '\n';
    out.Commit();
    return;
  }
  const double s1 = selfing(1), s2 = selfing(2), s3 = selfing(3);
  out << Texts({"Method", "Parameter", "Est", "CI95-L", "CI95-U"}) << '\n';
  out << Texts({"FL_PLS", "Inbreeding"})
      << Reals({InbreedingOfSelfing(s1), InbreedingOfSelfing(s2), InbreedingOfSelfing(s3)}) << '\n';
  out << Texts({"FL_PLS", "Selfing"}) << Reals({s1, s2, s3}) << '\n';
  // The inbreeding coefficient from the deviation of the genotypes from
  // Hardy-Weinberg proportions.
  double f = 0.0;
  InitialInbCoe(f);
  out << Texts({"Fis(DHW)", "Inbreeding"}) << Reals({f}) << '\n';
  out << Texts({"Fis(DHW)", "Selfing"}) << Reals({SelfingOfInbreeding(f)}) << '\n';
  double id = -1.0;
  Identity(id);
  out << Texts({"ID", "Selfing"});
  if (id < -0.5) {
    out << Reals({-1.0}) << "  (No estimate because of no useful loci)" << '\n';
  } else {
    out << Reals({id}) << '\n';
  }
  out.Commit();
}

void WriteAlleleFreq() {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  Arr1<int32_t, 2> range;
  SetThreadTask(v.numloci, range);
  std::string name = v.fname + ".AlleleFreq";
  if (v.numthreads > 1) name += std::to_string(v.threadid);
  AtomicTextFile out(name);
  if (v.threadid == 0) out << "MarkerID,AlleleID,InitialFreq,UpdatedFreq" << '\n';
  for (int32_t l = range(1); l <= range(2); ++l) {
    const std::string marker = TrimRight(v.markerid(l));
    const int32_t observed = static_cast<std::size_t>(l) <= lv.obsnumallele.size() ? lv.obsnumallele(l) : 0;
    const std::vector<double> none;
    const bool held = static_cast<std::size_t>(l) <= lv.obsallelefre0.size() &&
                      static_cast<std::size_t>(l) <= lv.obsallelefre.size();
    const std::vector<double>& initial = held ? lv.obsallelefre0(l) : none;
    const std::vector<double>& updated = held ? lv.obsallelefre(l) : none;
    if (v.dominantmarker(l) != 0 && observed < 2) {
      // A dominant marker always has its two alleles, named 1 and 2, even
      // where one phenotype was never seen. Their frequencies are those the
      // analysis used: where only the recessive phenotype was seen that is
      // 0 and 1, where only the dominant one was seen 1 and 0.
      const bool both = initial.size() >= 2 && updated.size() >= 2;
      out << marker << ",1," << Freq(both ? initial[0] : 0.0) << ',' << Freq(both ? updated[0] : 0.0) << '\n';
      out << marker << ",2," << Freq(both ? initial[1] : 1.0) << ',' << Freq(both ? updated[1] : 1.0) << '\n';
      continue;
    }
    const std::vector<int32_t>& names = v.rawalleleid(l);
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(observed, 0)), names.size(), initial.size(),
                                    updated.size()});
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&names](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    for (const std::size_t a : order) {
      out << marker << ',' << names[a] << ',' << Freq(initial[a]) << ',' << Freq(updated[a]) << '\n';
    }
  }
  out.Commit();
}

void WriteErrorRate(const std::vector<double>& table) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".ErrorRate");
  out << "MarkerID,StartDropRate,DropRateEst,DropRateCI95LB,DropRateCI95UB,StartOtherErrorRate,"
         "OtherErrorRateEst,OtherErrorRateCI95LB,OtherErrorRateCI95UB"
      << '\n';
  const std::size_t width = kErrorRateValues;
  for (int32_t l = 1; l <= v.numloci && static_cast<std::size_t>(l) * width <= table.size(); ++l) {
    const double* row = &table[static_cast<std::size_t>(l - 1) * width];
    if (row[8] == 0.0) continue;
    out << TrimRight(v.markerid(l));
    for (int32_t k = 0; k < 8; ++k) out << ',' << rtoc(row[k], "%8.4f");
    out << '\n';
  }
  out.Commit();
}
