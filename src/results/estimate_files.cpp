// The files of the population estimates that accompany the best
// configuration: ".Inbreeding", ".AlleleFreq" and ".ErrorRate", and the
// inbreeding estimators they report. Every file is
// written whole under a temporary name and renamed into place; a failed
// write stops the program naming the file.
#include "results/estimate_files.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

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

void Identity(double& est) {
  // The identity-disequilibrium estimator is not available yet: report
  // that there is no estimate.
  est = -1.0;
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
