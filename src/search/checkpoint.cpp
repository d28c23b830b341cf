// Checkpoint files of the search. The saved state is text: tagged records
// of integers and of reals written with 17 significant digits, so that a
// resumed run continues exactly where the saved one stood. The reader
// checks the whole file before it changes anything.
#include "search/checkpoint.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <list>
#include <optional>
#include <sstream>
#include <string_view>

#include "runctl/file_io.h"
#include "search/archive.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr int64_t kCheckpointIterates = 1000000000;
constexpr double kCheckpointSeconds = 300.0;
// A fresh temperature's value of both offspring move counters.
constexpr int32_t kFreshTrials = 1000;

std::optional<std::chrono::steady_clock::time_point> lastsave;

// ---- Writing ----

std::string Real(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

void WriteRealVector(const std::vector<double>& values, std::string& text) {
  std::size_t linestart = text.size();
  for (double x : values) {
    const std::string item = Real(x) + ",";
    if (text.size() - linestart + item.size() >= 999) {
      text += '\n';
      linestart = text.size();
    }
    text += item;
  }
  text += '\n';
}

void WriteCodes(const std::vector<uint16_t>& codes, std::string& text) {
  WriteIntVector(std::vector<int32_t>(codes.begin(), codes.end()), text);
}

// Column j of an offspring table, rows 1..n (0 where the table is short).
std::vector<int32_t> Column(const Mat1<int32_t>& m, int32_t j, int32_t n, int32_t fill = 0) {
  std::vector<int32_t> out(static_cast<std::size_t>(n), fill);
  if (m.cols() < static_cast<std::size_t>(j)) return out;
  for (int32_t i = 1; i <= n && static_cast<std::size_t>(i) <= m.rows(); ++i) out[static_cast<std::size_t>(i - 1)] = m(i, j);
  return out;
}

void WriteTable(const char* tag, const Mat1<int32_t>& m, int32_t cols, int32_t n, std::string& text,
                int32_t fill = 0) {
  text += tag;
  text += '\n';
  for (int32_t j = 1; j <= cols; ++j) WriteIntVector(Column(m, j, n, fill), text);
}

template <std::size_t K>
void WriteCounts(const char* tag, const Arr1<int32_t, K>& a, std::string& text) {
  text += tag;
  text += ' ';
  WriteIntVector(std::vector<int32_t>(a.begin(), a.end()), text);
}

std::string SearchStateText(const SearchCounters& c) {
  const Variables& v = variables;
  const AnnealVariables& a = annealvariables;
  const int32_t n = v.smplsize;
  std::string t = std::to_string(n) + "\n";
  auto i64 = [](int64_t x) { return std::to_string(x); };
  t += "run " + i64(v.krun) + " " + i64(c.repeat) + " " + i64(c.finished) + "\n";
  t += "loglikelihoods " + Real(v.bestlogl) + " " + Real(v.MinLogLikelihood) + " " + Real(v.btloglikelihood) +
       " " + Real(v.BtConfigPrior) + " " + Real(v.CrLogLikelihood) + "\n";
  t += "counters " + i64(c.tmr) + " " + i64(c.runiterates) + " " + i64(c.iters) + " " + i64(c.nsucc) + " " +
       i64(c.nsucclmt) + " " + i64(c.nfail1) + " " + i64(c.nfail2) + " " + i64(c.iterlimit) + " " +
       i64(c.acceptedsince) + " " + i64(c.nullmoves) + " " + i64(c.improvements) + " " +
       i64(c.tempimprovements) + " " + i64(c.screentrials) + " " + i64(c.screenpasses) + " " + i64(c.archiving) +
       "\n";
  t += "reals " + Real(c.largestgain) + " " + Real(c.T) + " " + Real(c.S) + " " + Real(c.rate) + " " +
       Real(RunSeconds(c)) + "\n";
  t += "records " + i64(c.nextrecord) + " " + i64(c.recordgap) + " " + i64(c.recorditer) + "\n";
  WriteCounts("CrNumFamily", v.CrNumFamily, t);
  WriteCounts("BtNumFamily", v.BtNumFamily, t);
  WriteCounts("BtNumAssign", v.BtNumAssign, t);
  WriteTable("CrIndivLoc", v.CrIndivLoc, 3, n, t);
  WriteTable("BtIndivLoc", v.BtIndivLoc, 3, n, t);
  WriteTable("InferParent", v.InferParent, 2, n, t);
  WriteTable("BtInferParent", v.BtInferParent, 2, n, t);
  WriteTable("OffspringTrials", a.OffspringTrials, 2, n, t, kFreshTrials);
  // One entry per cluster slot, whatever the table holds now.
  std::vector<double> familylogl = v.CrFamilyLogL.raw();
  familylogl.resize(static_cast<std::size_t>(n), 0.0);
  t += "CrFamilyLogL " + std::to_string(n) + "\n";
  WriteRealVector(familylogl, t);
  // The random streams, every generator's whole state.
  t += "random " + i64(v.idum) + " " + i64(v.ran1ix) + " " + i64(v.ran1iy) + " " + i64(v.idum2) + " " +
       i64(v.idum3) + " " + i64(v.idumiy) + " " + i64(v.gasdeviset) + " " + i64(v.irbitiseed) + "\n";
  WriteIntVector(std::vector<int32_t>(v.idumiv.begin(), v.idumiv.end()), t);
  WriteRealVector({v.gasdevgset, v.poidevoldm, v.poidevsq, v.poidevalxm, v.poidevg}, t);
  const Vec1<std::vector<double>>& fre = likelihoodvar.obsallelefre;
  t += "frequencies " + std::to_string(fre.size()) + "\n";
  for (const std::vector<double>& locus : fre) {
    t += std::to_string(locus.size()) + ",";
    WriteRealVector(locus, t);
  }
  t += "archive " + std::to_string(v.ConfigArchive.size()) + "\n";
  for (const ConfigRecord& r : v.ConfigArchive) {
    t += "config " + Real(r.logl) + " " + i64(r.numcluster) + " " + i64(r.signature) + " " + i64(r.paternal.size()) +
         " " + i64(r.maternal.size()) + " " + i64(r.cluster.size()) + " " + i64(r.fathers.size()) + " " +
         i64(r.mothers.size()) + " " + i64(r.fathersdense ? 1 : 0) + " " + i64(r.mothersdense ? 1 : 0) + "\n";
    for (const auto* codes : {&r.paternal, &r.maternal, &r.cluster, &r.fathers, &r.mothers}) WriteCodes(*codes, t);
  }
  t += "end\n";
  return t;
}

// ---- Reading ----

// Items of the file: separated by blanks, line ends and commas.
class Items {
 public:
  explicit Items(const std::string& text) : s_(text) {}

  std::optional<std::string_view> Next() {
    while (pos_ < s_.size() && Separator(s_[pos_])) ++pos_;
    if (pos_ >= s_.size()) return std::nullopt;
    const std::size_t start = pos_;
    while (pos_ < s_.size() && !Separator(s_[pos_])) ++pos_;
    return std::string_view(s_).substr(start, pos_ - start);
  }
  bool Tag(std::string_view tag) {
    const auto item = Next();
    return item && *item == tag;
  }
  bool Int(int64_t& x, int64_t lo, int64_t hi) {
    const auto item = Next();
    if (!item) return false;
    const char* end = item->data() + item->size();
    const auto [ptr, ec] = std::from_chars(item->data(), end, x);
    return ec == std::errc() && ptr == end && x >= lo && x <= hi;
  }
  template <class T>
  bool Int(T& x, int64_t lo = std::numeric_limits<T>::min(),
           int64_t hi = static_cast<int64_t>(
               std::min<uint64_t>(std::numeric_limits<T>::max(), std::numeric_limits<int64_t>::max()))) {
    int64_t y = 0;
    if (!Int(y, lo, hi)) return false;
    x = static_cast<T>(y);
    return true;
  }
  bool Real(double& x) {
    const auto item = Next();
    if (!item) return false;
    const char* end = item->data() + item->size();
    const auto [ptr, ec] = std::from_chars(item->data(), end, x);
    return ec == std::errc() && ptr == end && std::isfinite(x);
  }
  bool Real(float& x) {
    double y = 0.0;
    if (!Real(y) || std::fabs(y) > std::numeric_limits<float>::max()) return false;
    x = static_cast<float>(y);
    return true;
  }
  template <class T>
  bool Ints(std::vector<T>& out, std::size_t count, int64_t lo, int64_t hi) {
    out.assign(count, T{});
    for (T& x : out) {
      if (!Int(x, lo, hi)) return false;
    }
    return true;
  }
  bool AtEnd() { return !Next(); }

 private:
  static bool Separator(char ch) { return ch == ' ' || ch == ',' || ch == '\n' || ch == '\r' || ch == '\t'; }
  const std::string& s_;
  std::size_t pos_ = 0;
};

// Everything the file holds, checked, before any of it is used.
struct SavedSearch {
  int32_t krun = 0;
  SearchCounters counters;
  double bestlogl = 0, minlogl = 0, btlogl = 0, btprior = 0, crlogl = 0;
  Arr1<int32_t, 3> crnumfamily, btnumfamily;
  Arr1<int32_t, 4> btnumassign;
  Mat1<int32_t> crloc, btloc, crparents, btparents, trials;
  std::vector<double> crfamilylogl;
  int32_t idum = 0, ran1ix = 0, ran1iy = 0, idum2 = 0, idum3 = 0, idumiy = 0, gasdeviset = 0;
  uint32_t irbitiseed = 0;
  std::vector<int32_t> idumiv;
  float gasdevgset = 0, poidevoldm = 0, poidevsq = 0, poidevalxm = 0, poidevg = 0;
  std::vector<std::vector<double>> frequencies;
  std::list<ConfigRecord> archive;
};

int32_t Decode(uint16_t code) { return static_cast<int32_t>((static_cast<uint32_t>(code) + 32768u) & 0xFFFFu); }

// Largest family number of a side: the offspring number, or twice it when
// both sides number one pool of parents (a monoecious sample).
int32_t FamilyLimit() { return variables.numsex == 1 ? 2 * variables.smplsize : variables.smplsize; }

bool ReadTable(Items& in, const char* tag, int32_t cols, int32_t n, int64_t lo, int64_t hi, Mat1<int32_t>& m) {
  if (!in.Tag(tag)) return false;
  m.assign(static_cast<std::size_t>(n), static_cast<std::size_t>(cols), 0);
  for (int32_t j = 1; j <= cols; ++j) {
    for (int32_t i = 1; i <= n; ++i) {
      if (!in.Int(m(i, j), lo, hi)) return false;
    }
  }
  return true;
}

template <std::size_t K>
bool ReadCounts(Items& in, const char* tag, int64_t lo, int64_t hi, Arr1<int32_t, K>& a) {
  if (!in.Tag(tag)) return false;
  for (int32_t& x : a) {
    if (!in.Int(x, lo, hi)) return false;
  }
  return true;
}

// A configuration: family numbers within 1..the family counts, which stay
// within the sample's bounds; clusters within 1..their count; candidates
// within 1..their number, or 0.
bool ValidConfiguration(const Arr1<int32_t, 3>& count, const Mat1<int32_t>& loc, const Mat1<int32_t>& parents) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  if (count(1) > FamilyLimit() || count(2) > FamilyLimit() || count(3) > n) return false;
  if (v.numsex == 1 && count(1) != count(2)) return false;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 3; ++k) {
      if (loc(i, k) < 1 || loc(i, k) > count(k)) return false;
    }
    for (int32_t k = 1; k <= 2; ++k) {
      if (parents(i, k) < 0 || parents(i, k) > std::max(v.numchild(k), 0)) return false;
    }
  }
  return true;
}

bool ReadRecord(Items& in, ConfigRecord& r) {
  const Variables& v = variables;
  const auto n = static_cast<std::size_t>(v.smplsize);
  const int64_t families = 65535;
  std::size_t sizes[5] = {0, 0, 0, 0, 0};
  int32_t fdense = 0, mdense = 0;
  if (!in.Tag("config") || !in.Real(r.logl) || !in.Int(r.numcluster, 1, v.smplsize) || !in.Int(r.signature)) {
    return false;
  }
  for (std::size_t& size : sizes) {
    if (!in.Int(size, 0, families * 2)) return false;
  }
  if (!in.Int(fdense, 0, 1) || !in.Int(mdense, 0, 1)) return false;
  r.fathersdense = fdense == 1;
  r.mothersdense = mdense == 1;
  // The columns a record of this mating system keeps.
  const bool maternal = !(v.allmonogamy != 0 && v.numsex == 2);
  const bool cluster = v.anymonogamy == 0 || v.numsex == 1;
  if (sizes[0] != n || sizes[1] != (maternal ? n : 0) || sizes[2] != (cluster ? n : 0)) return false;
  std::vector<uint16_t>* columns[5] = {&r.paternal, &r.maternal, &r.cluster, &r.fathers, &r.mothers};
  for (int c = 0; c < 5; ++c) {
    if (!in.Ints(*columns[c], sizes[c], 0, 65535)) return false;
  }
  for (int c = 0; c < 3; ++c) {
    const int32_t limit = c == 2 ? v.smplsize : FamilyLimit();
    for (uint16_t code : *columns[c]) {
      if (Decode(code) < 1 || Decode(code) > limit) return false;
    }
  }
  // Candidates of the families: densely one per family, or (family,
  // candidate) pairs.
  for (int32_t k = 1; k <= 2; ++k) {
    const std::vector<uint16_t>& codes = k == 1 ? r.fathers : r.mothers;
    const bool dense = k == 1 ? r.fathersdense : r.mothersdense;
    const int32_t candidates = std::max(v.numchild(k), 0);
    if (dense) {
      if (codes.size() > static_cast<std::size_t>(FamilyLimit())) return false;
      for (uint16_t code : codes) {
        if (Decode(code) > candidates) return false;
      }
    } else {
      if (codes.size() % 2 != 0) return false;
      for (std::size_t j = 0; j < codes.size(); j += 2) {
        const int32_t f = Decode(codes[j]), c = Decode(codes[j + 1]);
        if (f < 1 || f > FamilyLimit() || c < 1 || c > candidates) return false;
      }
    }
  }
  return true;
}

bool ParseSearchState(const std::string& text, SavedSearch& s) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  const int64_t big = std::numeric_limits<int64_t>::max();
  Items in(text);
  int64_t offspring = 0;
  if (n < 1 || !in.Int(offspring, 1, 32767) || offspring != n) return false;
  SearchCounters& c = s.counters;
  if (!in.Tag("run") || !in.Int(s.krun, 1, std::max(v.numrun, 1)) || !in.Int(c.repeat, 1, 5) ||
      !in.Int(c.finished, 0, 1)) {
    return false;
  }
  if (!in.Tag("loglikelihoods") || !in.Real(s.bestlogl) || !in.Real(s.minlogl) || !in.Real(s.btlogl) ||
      !in.Real(s.btprior) || !in.Real(s.crlogl)) {
    return false;
  }
  if (!in.Tag("counters") || !in.Int(c.tmr, 1, 1000000) || !in.Int(c.runiterates, 0, big) ||
      !in.Int(c.iters, 0, big) || !in.Int(c.nsucc, 0, big) || !in.Int(c.nsucclmt, 0, big) ||
      !in.Int(c.nfail1, 0, big) || !in.Int(c.nfail2, 0, big) || !in.Int(c.iterlimit, 1, big) ||
      !in.Int(c.acceptedsince, 0, big) || !in.Int(c.nullmoves, 0, big) || !in.Int(c.improvements, 0) ||
      !in.Int(c.tempimprovements, 0) || !in.Int(c.screentrials, 0, big) || !in.Int(c.screenpasses, 0, big) ||
      !in.Int(c.archiving, 0, 1)) {
    return false;
  }
  if (!in.Tag("reals") || !in.Real(c.largestgain) || !in.Real(c.T) || !in.Real(c.S) || !in.Real(c.rate) ||
      !in.Real(c.timespent) || c.T <= 0.0 || c.timespent < 0.0) {
    return false;
  }
  if (!in.Tag("records") || !in.Int(c.nextrecord, 1, big) || !in.Int(c.recordgap, 1, 100000) ||
      !in.Int(c.recorditer, 0, big)) {
    return false;
  }
  if (!ReadCounts(in, "CrNumFamily", 1, 65535, s.crnumfamily) ||
      !ReadCounts(in, "BtNumFamily", 1, 65535, s.btnumfamily) || !ReadCounts(in, "BtNumAssign", 0, n, s.btnumassign)) {
    return false;
  }
  const int64_t i32 = std::numeric_limits<int32_t>::max();
  if (!ReadTable(in, "CrIndivLoc", 3, n, 1, 65535, s.crloc) || !ReadTable(in, "BtIndivLoc", 3, n, 1, 65535, s.btloc) ||
      !ReadTable(in, "InferParent", 2, n, 0, i32, s.crparents) ||
      !ReadTable(in, "BtInferParent", 2, n, 0, i32, s.btparents) ||
      !ReadTable(in, "OffspringTrials", 2, n, 1, i32, s.trials)) {
    return false;
  }
  if (!ValidConfiguration(s.crnumfamily, s.crloc, s.crparents) ||
      !ValidConfiguration(s.btnumfamily, s.btloc, s.btparents)) {
    return false;
  }
  std::size_t clusters = 0;
  if (!in.Tag("CrFamilyLogL") || !in.Int(clusters, n, n)) return false;
  s.crfamilylogl.assign(clusters, 0.0);
  for (double& x : s.crfamilylogl) {
    if (!in.Real(x)) return false;
  }
  if (!in.Tag("random") || !in.Int(s.idum) || !in.Int(s.ran1ix) || !in.Int(s.ran1iy) || !in.Int(s.idum2) ||
      !in.Int(s.idum3) || !in.Int(s.idumiy) || !in.Int(s.gasdeviset, 0, 1) || !in.Int(s.irbitiseed) ||
      !in.Ints(s.idumiv, 32, std::numeric_limits<int32_t>::min(), i32) || !in.Real(s.gasdevgset) ||
      !in.Real(s.poidevoldm) || !in.Real(s.poidevsq) || !in.Real(s.poidevalxm) || !in.Real(s.poidevg)) {
    return false;
  }
  // The allele frequencies must fit this data set's loci and alleles.
  const Vec1<std::vector<double>>& current = likelihoodvar.obsallelefre;
  std::size_t loci = 0;
  if (!in.Tag("frequencies") || !in.Int(loci, 0, 1000000) || loci != current.size()) return false;
  s.frequencies.assign(loci, {});
  for (std::size_t l = 0; l < loci; ++l) {
    std::size_t alleles = 0;
    if (!in.Int(alleles, 0, 1000000) || alleles != current.raw()[l].size()) return false;
    double sum = 0.0;
    s.frequencies[l].assign(alleles, 0.0);
    for (double& p : s.frequencies[l]) {
      if (!in.Real(p) || p < -0.001) return false;
      sum += p;
    }
    if (sum > 1.05) return false;
  }
  std::size_t records = 0;
  if (!in.Tag("archive") || !in.Int(records, 0, 100000000)) return false;
  double previous = std::numeric_limits<double>::infinity();
  for (std::size_t j = 0; j < records; ++j) {
    ConfigRecord r;
    // The archive is kept in decreasing order of log likelihood.
    if (!ReadRecord(in, r) || r.logl > previous) return false;
    previous = r.logl;
    s.archive.push_back(std::move(r));
  }
  return in.Tag("end") && in.AtEnd();
}

bool ReadSearchState(SavedSearch& s) {
  std::ifstream file(variables.midfilename(1), std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  if (!file && !file.eof()) return false;
  return ParseSearchState(text.str(), s);
}

}  // namespace

void ReadMidResult4(int32_t& failed, int32_t& repeat) {
  failed = 1;
  repeat = 0;
  // No file (a fresh start) is the same as one that cannot be read.
  std::ifstream file(variables.midfilename(3), std::ios::binary);
  if (!file) return;
  std::ostringstream whole;
  whole << file.rdbuf();
  const std::string text = whole.str();
  std::istringstream lines(text);
  // One line per locus with exactly its observed alleles, every frequency
  // at least -0.001 and each locus summing to at most 1.05; then the
  // repeat line and nothing more. The frequencies are taken only when all
  // of it is there.
  const Vec1<std::vector<double>>& current = likelihoodvar.obsallelefre;
  std::vector<std::vector<double>> saved(current.size());
  std::string line;
  for (std::size_t l = 0; l < current.size(); ++l) {
    if (!std::getline(lines, line)) return;
    Items in(line);
    double sum = 0.0;
    saved[l].assign(current.raw()[l].size(), 0.0);
    for (double& p : saved[l]) {
      if (!in.Real(p) || p < -0.001) return;
      sum += p;
    }
    if (sum > 1.05 || !in.AtEnd()) return;
  }
  int32_t next = 0;
  if (!std::getline(lines, line)) return;
  Items in(line);
  if (!in.Int(next, 1, std::numeric_limits<int32_t>::max()) || !in.AtEnd()) return;
  while (std::getline(lines, line)) {
    if (!Items(line).AtEnd()) return;
  }
  for (std::size_t l = 0; l < saved.size(); ++l) likelihoodvar.obsallelefre.raw()[l] = saved[l];
  repeat = next;
  failed = 0;
}

void WriteMidResult4(int32_t repeat) {
  if (variables.threadid != 0) return;
  AtomicTextFile out(variables.midfilename(3));
  char item[40];
  for (const std::vector<double>& locus : likelihoodvar.obsallelefre) {
    for (double p : locus) {
      std::snprintf(item, sizeof item, "%26.17E", p);
      out << item;
    }
    out << '\n';
  }
  std::snprintf(item, sizeof item, "%9d", repeat);
  out << item << '\n';
  out.Commit();
}

void WriteIntVector(const std::vector<int32_t>& values, std::string& text) {
  std::size_t linestart = text.size();
  for (int32_t x : values) {
    const std::string item = std::to_string(x) + ",";
    if (text.size() - linestart + item.size() >= 999) {
      text += '\n';
      linestart = text.size();
    }
    text += item;
  }
  text += '\n';
}

void SaveMidResult() {
  Variables& v = variables;
  if (v.threadid != 0) return;
  const int32_t n = v.smplsize;
  const int32_t sections = (v.allmonogamy == 1 && v.numsex == 2) ? 1 : 3;
  AtomicTextFile out(v.midfilename(2));
  std::string text;
  std::vector<int32_t> column(static_cast<std::size_t>(n));
  char head[64];
  for (const ConfigRecord& record : v.ConfigArchive) {
    double logl = 0.0;
    ConvertConfig(record, logl);
    std::snprintf(head, sizeof head, "%30.20E\n", logl);
    text = head;
    for (int32_t c = 1; c <= sections; ++c) {
      for (int32_t i = 1; i <= n; ++i) column[static_cast<std::size_t>(i - 1)] = v.OffTgt(i, c);
      WriteIntVector(column, text);
    }
    // Entry f of a sex's vector: the candidate assigned to its family f.
    for (int32_t k = 1; k <= 2; ++k) {
      if (v.numchild(k) < 1) continue;
      for (int32_t f = 1; f <= n; ++f) {
        column[static_cast<std::size_t>(f - 1)] =
            static_cast<std::size_t>(f) <= v.PrntTgt.rows() ? v.PrntTgt(f, k) : 0;
      }
      WriteIntVector(column, text);
    }
    out << text;
  }
  out.Commit();
}

void SaveMidResult(const SearchCounters& counters) {
  if (variables.threadid != 0) return;
  lastsave = std::chrono::steady_clock::now();
  AtomicTextFile out(variables.midfilename(1));
  out << SearchStateText(counters);
  out.Commit();
  SaveMidResult();
}

bool CheckpointDue(const SearchCounters& counters) {
  if (variables.threadid != 0) return false;
  if (counters.runiterates > 0 && counters.runiterates % kCheckpointIterates == 0) return true;
  const auto now = std::chrono::steady_clock::now();
  if (!lastsave) lastsave = now;
  return std::chrono::duration<double>(now - *lastsave).count() > kCheckpointSeconds;
}

bool ReadMidResult(SearchCounters& counters, int32_t repeat) {
  Variables& v = variables;
  SavedSearch s;
  if (!ReadSearchState(s) || s.krun != v.krun || s.counters.repeat != repeat) {
    // A file that is there but cannot be taken up is said so: the run that
    // follows is a fresh one, not the continuation the user may expect.
    if (FileExists(v.midfilename(1)) && v.threadid == 0 && v.displayq != 0) {
      std::cout << "The saved search " << v.midfilename(1) << " is damaged or belongs to another run;"
                << " run " << v.krun << " starts afresh." << std::endl;
    }
    return false;
  }
  const auto n = static_cast<std::size_t>(v.smplsize);
  v.CrIndivLoc = std::move(s.crloc);
  v.BtIndivLoc = std::move(s.btloc);
  v.InferParent = std::move(s.crparents);
  v.BtInferParent = std::move(s.btparents);
  v.CrNumFamily = s.crnumfamily;
  v.BtNumFamily = s.btnumfamily;
  v.BtNumAssign = s.btnumassign;
  v.bestlogl = s.bestlogl;
  v.MinLogLikelihood = s.minlogl;
  v.btloglikelihood = s.btlogl;
  v.BtConfigPrior = s.btprior;
  v.CrLogLikelihood = s.crlogl;
  v.CrFamilyLogL.assign(n, 0.0);
  std::copy(s.crfamilylogl.begin(), s.crfamilylogl.end(), v.CrFamilyLogL.begin());
  annealvariables.OffspringTrials = std::move(s.trials);
  v.idum = s.idum;
  v.ran1ix = s.ran1ix;
  v.ran1iy = s.ran1iy;
  v.idum2 = s.idum2;
  v.idum3 = s.idum3;
  v.idumiy = s.idumiy;
  for (int32_t j = 1; j <= 32; ++j) v.idumiv(j) = s.idumiv[static_cast<std::size_t>(j - 1)];
  v.gasdeviset = s.gasdeviset;
  v.irbitiseed = s.irbitiseed;
  v.gasdevgset = s.gasdevgset;
  v.poidevoldm = s.poidevoldm;
  v.poidevsq = s.poidevsq;
  v.poidevalxm = s.poidevalxm;
  v.poidevg = s.poidevg;
  for (std::size_t l = 0; l < s.frequencies.size(); ++l) likelihoodvar.obsallelefre.raw()[l] = s.frequencies[l];
  v.ConfigArchive = std::move(s.archive);
  counters = s.counters;
  return true;
}

int32_t SavedRunNumber() {
  SavedSearch s;
  return ReadSearchState(s) ? s.krun : 0;
}
