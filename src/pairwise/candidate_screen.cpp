// Short lists of plausible candidate parents.
//
// Every candidate c of a sex is scored for offspring i by how much more
// likely the pair's genotypes are as parent and offspring than the
// candidate's alone, x = PO(i, c) - CandidateLogL(c); its weight is
// exp(x - max x). The five heaviest candidates are kept and drawn in
// proportion to their weights; half the share of the whole weight that they
// hold tells the search how often to enter the list at all.
//
// The lists file holds, for each sex, one line per offspring in sample
// order, and after them one line more: "#" and a 64-bit digest (16
// hexadecimal digits) of everything the lists are made from (the data
// digest of the pair tables, the candidates' single log likelihoods, known
// and excluded parents, ploidies, the mating system). A reader of the list
// lines alone never reaches it. A file without that line, with another
// digest, or with any line that does not fit the sample is not used: the
// lists are computed again and the file rewritten.
#include "pairwise/candidate_screen.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "pairwise/dyad_tables.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/parallel.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr int32_t kMaxList = Variables::kMaxBestCnd;
// Cumulative probability after the last listed candidate: above any draw.
constexpr double kStopMark = 1.00000001;
// A kept candidate whose weight is below this share of the kept weights is
// not listed.
constexpr double kMinShare = 1e-8;
// Layout of the lists and of their digest; a change makes old files stale.
constexpr uint64_t kListFormat = 1;

std::string FileName() { return variables.fname + ".BestPrntCND"; }

// Probabilities are written in scientific notation with 10 decimals, and
// kept in memory exactly as written, so that a search from the file and one
// from freshly computed lists draw alike.
std::string Sci(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10E", x);
  return buf;
}
double AsWritten(double x) { return std::strtod(Sci(x).c_str(), nullptr); }

int32_t KnownParent(int32_t i, int32_t sex) {
  const Variables& v = variables;
  if (v.indivparent.rows() < static_cast<std::size_t>(i) || v.indivparent.cols() < 2) return 0;
  return std::max(v.indivparent(i, sex), 0);
}

const std::vector<int32_t>* Excluded(int32_t i, int32_t sex) {
  const auto& ex = variables.excludedparent(sex);
  return ex.size() >= static_cast<std::size_t>(i) ? &ex(i) : nullptr;
}

// An offspring gets no list of a sex when that parent is known, or when it
// is a haploid son (who has no father), or when the sex has no candidates.
bool MayHaveList(int32_t i, int32_t sex) {
  return variables.numchild(sex) > 0 && KnownParent(i, sex) <= 0 && !(sex == 1 && HaploidOffspring(i));
}

void SetEmpty(int32_t i, int32_t sex) {
  Variables& v = variables;
  v.NumBestCnd(i, sex) = 0;
  for (int32_t k = 1; k <= kMaxList; ++k) v.BestCnd(sex)(k, i) = 0;
  for (int32_t k = 1; k <= kMaxList + 1; ++k) v.PrbBestCnd(sex)(k, i) = 0.0;
  v.PrbBestCnd(sex)(1, i) = kStopMark;
  v.PrbBestCnd1(sex, i) = 0.0f;
}

// ---- Digest of what the lists are made from ----
struct Digest {
  uint64_t h = 1469598103934665603ull;
  void Add(const void* data, std::size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < bytes; ++k) h = (h ^ p[k]) * 1099511628211ull;
  }
  template <class T>
  void Value(T x) {
    Add(&x, sizeof x);
  }
};

uint64_t ListDigest() {
  const Variables& v = variables;
  Digest d;
  d.Value(kListFormat);
  d.Value(DyadDataDigest());
  d.Value(v.smplsize);
  d.Value(v.numchild(1));
  d.Value(v.numchild(2));
  d.Value(v.numsex);
  d.Value(v.haplodiploid);
  for (int32_t i = 1; i <= v.smplsize; ++i) d.Value(HaploidOffspring(i));
  for (int32_t sex = 1; sex <= 2; ++sex) {
    const Vec1<double>& cl = likelihoodvar.candidatelogl(sex);
    d.Value(cl.size());
    d.Add(cl.data(), cl.size() * sizeof(double));
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      d.Value(KnownParent(i, sex));
      const std::vector<int32_t>* ex = Excluded(i, sex);
      const std::size_t n = ex != nullptr ? ex->size() : 0;
      d.Value(n);
      if (n > 0) d.Add(ex->data(), n * sizeof(int32_t));
    }
  }
  return d.h;
}

std::string CheckLine(uint64_t digest) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "#%016llx", static_cast<unsigned long long>(digest));
  return buf;
}

// ---- Reading ----
std::string Trim(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

std::vector<std::string> SplitCommas(const std::string& line) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    items.push_back(Trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool ParseInt(const std::string& s, int32_t& x) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  x = std::atoi(s.c_str());
  return true;
}

bool ParseReal(const std::string& s, double& x) {
  if (s.empty() || s.size() > 30) return false;
  char* end = nullptr;
  x = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(x);
}

bool ParseLine(const std::string& text, int32_t i, int32_t sex) {
  Variables& v = variables;
  SetEmpty(i, sex);
  const std::vector<std::string> items = SplitCommas(Trim(text));
  int32_t count = -1;
  if (items[0].size() != 1 || !ParseInt(items[0], count) || count > kMaxList) return false;
  if (count == 0) return items.size() == 1;
  if (!MayHaveList(i, sex) || items.size() != static_cast<std::size_t>(2 * count + 2)) return false;
  const std::vector<int32_t>* ex = Excluded(i, sex);
  double previous = 0.0;
  for (int32_t k = 1; k <= count; ++k) {
    int32_t c = 0;
    double p = 0.0;
    if (!ParseInt(items[static_cast<std::size_t>(2 * k - 1)], c) || c < 1 || c > v.numchild(sex)) return false;
    if (!ParseReal(items[static_cast<std::size_t>(2 * k)], p) || !(p > previous) || p > 1.0 + 1e-9) return false;
    if (k == kMaxList && std::fabs(p - 1.0) > 1e-9) return false;
    for (int32_t q = 1; q < k; ++q) {
      if (v.BestCnd(sex)(q, i) == c) return false;
    }
    if (ex != nullptr && std::find(ex->begin(), ex->end(), c) != ex->end()) return false;
    v.BestCnd(sex)(k, i) = static_cast<int16_t>(c);
    v.PrbBestCnd(sex)(k, i) = p;
    previous = p;
  }
  double share = 0.0;
  if (!ParseReal(items.back(), share) || !(share > 0.0) || share > 0.5 + 1e-9) return false;
  v.NumBestCnd(i, sex) = static_cast<int8_t>(count);
  v.PrbBestCnd(sex)(count + 1, i) = kStopMark;
  v.PrbBestCnd1(sex, i) = static_cast<float>(share);
  return true;
}

// Reads the whole file, the sexes apart by a barrier; true when every line
// fits and the digest line matches. Every process reads and every process
// takes part in the barrier, whatever it finds.
bool ReadListFile(uint64_t digest) {
  bool ok = FileExists(FileName());
  std::ifstream in;
  if (ok) {
    in.open(FileName(), std::ios::binary);
    ok = static_cast<bool>(in);
  }
  ok = ok && GetBestCnd(in, 1);
  Barrier();
  ok = ok && GetBestCnd(in, 2);
  if (ok) {
    std::string line;
    ok = static_cast<bool>(std::getline(in, line)) && Trim(line) == CheckLine(digest);
    while (ok && std::getline(in, line)) ok = Trim(line).empty();
  }
  return AllProcesses(ok);
}

void WriteListFile(uint64_t digest) {
  AtomicTextFile file(FileName());
  for (int32_t sex = 1; sex <= 2; ++sex) {
    for (int32_t i = 1; i <= variables.smplsize; ++i) file << BestCndLine(i, sex) << '\n';
  }
  file << CheckLine(digest) << '\n';
  file.Commit();
}

}  // namespace

void ClearBestCnd() {
  Variables& v = variables;
  const std::size_t n = static_cast<std::size_t>(std::max(v.smplsize, 0));
  v.NumBestCnd.assign(n, 2, 0);
  v.PrbBestCnd1.assign(2, n, 0.0f);
  for (int32_t sex = 1; sex <= 2; ++sex) {
    v.BestCnd(sex).assign(kMaxList, n, 0);
    v.PrbBestCnd(sex).assign(kMaxList + 1, n, 0.0);
    for (int32_t i = 1; i <= v.smplsize; ++i) v.PrbBestCnd(sex)(1, i) = kStopMark;
  }
}

void ComputeBestCnd(int32_t sex) {
  Variables& v = variables;
  const int32_t nc = std::max(v.numchild(sex), 0);
  const Vec1<double>& cl = likelihoodvar.candidatelogl(sex);
  if (nc > 0 && (!ParentDyadReady(sex) || cl.size() != static_cast<std::size_t>(nc))) {
    StopWithMessage("The candidate-offspring pair table is not ready", "SetGetBestCnd");
  }
  std::vector<float> x(static_cast<std::size_t>(nc));
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    SetEmpty(i, sex);
    if (!MayHaveList(i, sex)) continue;
    // Scores in single precision, as the tables are; a candidate that cannot
    // be the parent, or whose own genotype is impossible, scores as
    // impossible.
    for (int32_t c = 1; c <= nc; ++c) {
      const float po = ParentDyadLogL(sex, i, c);
      const float score = static_cast<float>(static_cast<double>(po) - cl(c));
      x[static_cast<std::size_t>(c - 1)] =
          po > kImpossibleDyadLogL && std::isfinite(score) && score > kImpossibleDyadLogL ? score : kImpossibleDyadLogL;
    }
    if (const std::vector<int32_t>* ex = Excluded(i, sex)) {
      for (int32_t c : *ex) {
        if (c >= 1 && c <= nc) x[static_cast<std::size_t>(c - 1)] = kImpossibleDyadLogL;
      }
    }
    const float m = *std::max_element(x.begin(), x.end());
    if (!(m > kImpossibleDyadLogL)) continue;

    // The five heaviest, heaviest first; a candidate enters only when it is
    // heavier than the fifth, so of equal weights the earlier one stays.
    std::array<double, kMaxList> w{};
    std::array<int32_t, kMaxList> best{};
    int32_t kept = 0;
    double total = 0.0;
    for (int32_t c = 1; c <= nc; ++c) {
      const float d = x[static_cast<std::size_t>(c - 1)] - m;
      if (!(d > kImpossibleDyadLogL)) continue;
      const double wc = std::exp(static_cast<double>(d));
      total += wc;
      if (!(wc > (kept < kMaxList ? 0.0 : w[kMaxList - 1]))) continue;
      int32_t pos = kept < kMaxList ? kept++ : kMaxList - 1;
      while (pos > 0 && w[static_cast<std::size_t>(pos - 1)] < wc) {
        w[static_cast<std::size_t>(pos)] = w[static_cast<std::size_t>(pos - 1)];
        best[static_cast<std::size_t>(pos)] = best[static_cast<std::size_t>(pos - 1)];
        --pos;
      }
      w[static_cast<std::size_t>(pos)] = wc;
      best[static_cast<std::size_t>(pos)] = c;
    }
    double S = 0.0;
    for (int32_t k = 0; k < kept; ++k) S += w[static_cast<std::size_t>(k)];
    // One individual is father and mother in a monoecious sample: a leading
    // candidate that is not far ahead of the second shares its weight with
    // it, so that the search tries both.
    if (v.numsex == 1 && kept >= 2 && w[0] > 0.5 * S && w[1] > 0.01 * w[0]) w[0] = w[1] = 0.5 * (w[0] + w[1]);
    double cum = 0.0;
    int32_t count = 0;
    for (int32_t k = 0; k < kept; ++k) {
      if (w[static_cast<std::size_t>(k)] / S < kMinShare) break;
      cum += w[static_cast<std::size_t>(k)];
      ++count;
      v.BestCnd(sex)(count, i) = static_cast<int16_t>(best[static_cast<std::size_t>(k)]);
      v.PrbBestCnd(sex)(count, i) = count == kMaxList ? 1.0 : AsWritten(cum / S);
    }
    v.PrbBestCnd(sex)(count + 1, i) = kStopMark;
    v.NumBestCnd(i, sex) = static_cast<int8_t>(count);
    v.PrbBestCnd1(sex, i) = count > 0 ? static_cast<float>(AsWritten(0.5 * S / total)) : 0.0f;
  }
}

std::string BestCndLine(int32_t i, int32_t sex) {
  const Variables& v = variables;
  const int32_t count = v.NumBestCnd(i, sex);
  if (count <= 0) return "0";
  std::string line = std::to_string(count) + ",";
  for (int32_t k = 1; k <= count; ++k) {
    line += std::to_string(v.BestCnd(sex)(k, i)) + ",";
    line += (k == kMaxList ? std::string("1.0") : Sci(v.PrbBestCnd(sex)(k, i))) + ",";
  }
  return line + Sci(v.PrbBestCnd1(sex, i));
}

bool GetBestCnd(std::istream& in, int32_t sex) {
  std::string line;
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    if (!std::getline(in, line) || !ParseLine(line, i, sex)) return false;
  }
  return true;
}

void SetGetBestCnd() {
  try {
    ClearBestCnd();
    bool need = false;
    for (int32_t sex = 1; sex <= 2; ++sex) {
      need = need || likelihoodvar.candidatelogl(sex).size() != static_cast<std::size_t>(std::max(variables.numchild(sex), 0));
    }
    if (need) SingleParentLikelihood(0.0);
    // The pair tables stay for the search's own parent-offspring scores.
    CalculateParentPairProb(true);
    const uint64_t digest = ListDigest();
    if (ReadListFile(digest)) return;
    for (int32_t sex = 1; sex <= 2; ++sex) ComputeBestCnd(sex);
    if (variables.threadid == 0) WriteListFile(digest);
  } catch (const std::bad_alloc&) {
    StopOnError(0, "SetGetBestCnd");
  }
}
