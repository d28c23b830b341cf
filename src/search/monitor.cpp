// The monitoring report, its progress marks and the stop on request of a
// controlling application, and the progress log of the search.
#include "search/monitor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>

#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "search/configuration.h"
#include "state/variables.h"

namespace {

using Clock = std::chrono::steady_clock;

// Iterates between two progress marks of the iterate-count monitoring:
// "-" at every multiple of the first, "+" instead at every multiple of the
// second.
constexpr int64_t kMinusMarkIterates = 10000;
constexpr int64_t kPlusMarkIterates = 100000;
// Processor time is read only every so many iterates: the reading is a
// system call, and an iterate can cost less than it.
constexpr int64_t kCpuReadStride = 8;

constexpr int64_t kRecordGapCap = 100000;
constexpr int64_t kRecordRestart = 2147000000;

struct MonitorClocks {
  bool initiatedset = false;
  ClockStamp initiated, started, lastreport;
  Clock::time_point runstart = Clock::now();
  double lastreportcpu = 0.0, lastmarkcpu = 0.0;
  bool markspending = false;  // marks printed since the last line end
};
MonitorClocks clocks;

// The console's progress line and what its estimate of the time left
// needs: the seconds and success rate at the end of each temperature.
struct ProgressLine {
  bool shown = false;        // a line is on the screen, not yet ended
  int64_t marks = 0;         // progress marks folded into the line
  double drawn = -1.0;       // run seconds at the last drawing
  std::string numbers;       // the line without its mark
  std::vector<std::pair<double, double>> temperatures;  // (seconds at its end, success rate)
};
ProgressLine progress;

// On a console the marks and the progress line share one line, rewritten
// in place; a front end reads one item per line instead.
bool ConsoleLine() {
  const Variables& v = variables;
  return v.lineform == Variables::LineForm::NoAdvance && v.igui == 0;
}

void DrawProgress() {
  static const char spinner[] = "|/-\\";
  std::cout << '\r' << progress.numbers << ' ' << spinner[progress.marks % 4] << "   ";
  std::cout.flush();
  progress.shown = true;
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

bool ShowsMarks() {
  const Variables& v = variables;
  return v.threadid == 0 && v.displayq != 0 && v.showq != 0;
}

void Mark(const char* mark) {
  if (ConsoleLine()) {
    // The mark turns the spinner of the progress line instead of breaking it.
    ++progress.marks;
    if (!progress.numbers.empty()) DrawProgress();
    return;
  }
  std::cout << mark;
  if (variables.lineform == Variables::LineForm::Advance) {
    std::cout << '\n';
  } else {
    clocks.markspending = true;
  }
  std::cout.flush();
}

std::string Format(const char* format, double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, x);
  return buf;
}

std::string Percent(double part, double whole) {
  return Format("%.4f", whole != 0.0 ? 100.0 * part / whole : 0.0);
}

std::string Date(const ClockStamp& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", c.day, c.month, c.year);
  return buf;
}

std::string Time(const ClockStamp& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", c.second, c.minute, c.hour);
  return buf;
}

// The count items of one configuration on a report line.
std::string CountItems(const Arr1<int32_t, 3>& numfamily, const ConfigCounts& n) {
  return ", #F=" + std::to_string(numfamily(1)) + "," + std::to_string(numfamily(2)) +
         ", #FS=" + std::to_string(n.fullsibfamilies) + ", HSPair=" + std::to_string(n.halfsibpairs) +
         ", FSPair=" + std::to_string(n.fullsibpairs) + ", #AssgnC" + std::to_string(n.assignedcandidates[0]) + "," +
         std::to_string(n.assignedcandidates[1]) + ", #AssgnP" + std::to_string(n.assignedoffspring[0]) + "," +
         std::to_string(n.assignedoffspring[1]);
}

// The pair of a configuration's columns that identifies a full-sib family
// or a parent, as one sortable key.
int64_t Key(int64_t first, int64_t second) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(first)) << 32) |
                              static_cast<uint32_t>(second));
}

// Sum over the groups of equal keys of the pairs within a group, and the
// number of groups.
int64_t PairsWithin(std::vector<int64_t>& keys, int64_t* groups = nullptr) {
  std::sort(keys.begin(), keys.end());
  int64_t pairs = 0, count = 0;
  for (std::size_t j = 0; j < keys.size();) {
    std::size_t e = j;
    while (e < keys.size() && keys[e] == keys[j]) ++e;
    const auto m = static_cast<int64_t>(e - j);
    pairs += m * (m - 1) / 2;
    ++count;
    j = e;
  }
  if (groups != nullptr) *groups = count;
  return pairs;
}

}  // namespace

ClockStamp ClockNow() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&t, &local);
  ClockStamp c;
  c.year = local.tm_year + 1900;
  c.month = local.tm_mon + 1;
  c.day = local.tm_mday;
  c.hour = local.tm_hour;
  c.minute = local.tm_min;
  c.second = local.tm_sec;
  return c;
}

void MonitorStart() {
  clocks.initiated = ClockNow();
  clocks.initiatedset = true;
}

void MonitorRunStart() {
  if (!clocks.initiatedset) MonitorStart();
  clocks.started = ClockNow();
  clocks.lastreport = clocks.started;
  clocks.runstart = Clock::now();
  clocks.lastreportcpu = clocks.lastmarkcpu = CpuSeconds();
}

double RunSeconds(const SearchCounters& c) {
  return c.timespent + std::chrono::duration<double>(Clock::now() - clocks.runstart).count();
}

const ClockStamp& LastReportClock() { return clocks.lastreport; }

int CleanString(std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char ch : text) {
    if (ch == ' ') continue;
    out += ch;
    if (ch == ',') out += ' ';
  }
  text.swap(out);
  return static_cast<int>(text.size());
}

bool MonitorDue(const SearchCounters& c) {
  const Variables& v = variables;
  bool due = false;
  if (v.monitormethod == 1) {
    if (c.runiterates % kCpuReadStride != 0) return false;
    const double cpu = CpuSeconds();
    if (cpu - clocks.lastmarkcpu >= 1.0) {
      if (ShowsMarks()) Mark("-");
      clocks.lastmarkcpu += std::floor(cpu - clocks.lastmarkcpu);
    }
    if (v.monitorinterval > 0 && cpu - clocks.lastreportcpu >= static_cast<double>(v.monitorinterval)) {
      clocks.lastreportcpu = cpu;
      due = true;
    }
  } else {
    if (c.runiterates > 0 && ShowsMarks()) {
      if (c.runiterates % kPlusMarkIterates == 0) {
        Mark("+");
      } else if (c.runiterates % kMinusMarkIterates == 0) {
        Mark("-");
      }
    }
    due = v.monitorinterval > 0 && c.runiterates > 0 && c.runiterates % v.monitorinterval == 0;
  }
  if (!due) return false;
  clocks.lastreport = ClockNow();
  // A controlling application asks the search to stop by deleting the
  // file of the saved input.
  if (v.systemrun == 1 && v.threadid == 0 && !FileExists(v.fname + ".data")) {
    StopWithMessage("Program stoped due to deletion of .data file", "Anneal");
  }
  return true;
}

ConfigCounts CountConfiguration(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents) {
  const Variables& v = variables;
  ConfigCounts out;
  const int32_t n = v.smplsize;
  if (n < 1 || loc.rows() < static_cast<std::size_t>(n) || loc.cols() < 2) return out;
  const bool monoecious = v.numsex == 1;
  // Every parent an offspring has, as (side, family); in a monoecious
  // sample both columns name one pool, and a selfing parent counts once.
  std::vector<int64_t> parentkeys, fskeys, selfedfskeys;
  parentkeys.reserve(2 * static_cast<std::size_t>(n));
  fskeys.reserve(static_cast<std::size_t>(n));
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t p = loc(i, 1), m = loc(i, 2);
    if (HaploidOffspring(i)) {
      parentkeys.push_back(Key(monoecious ? 0 : 2, m));
      // No father: a full-sib family of its own (a key no family reaches).
      fskeys.push_back(Key(-i, m));
    } else if (monoecious) {
      parentkeys.push_back(Key(0, p));
      if (m != p) parentkeys.push_back(Key(0, m));
      (p == m ? selfedfskeys : fskeys).push_back(Key(std::min(p, m), std::max(p, m)));
    } else {
      parentkeys.push_back(Key(1, p));
      parentkeys.push_back(Key(2, m));
      fskeys.push_back(Key(p, m));
    }
  }
  // Each pair counts once per parent it shares: full sibs of two distinct
  // parents twice, full sibs of a selfing parent and half sibs once.
  const int64_t shared = PairsWithin(parentkeys);
  int64_t families = 0, selfedfamilies = 0;
  const int64_t fs = PairsWithin(fskeys, &families);
  const int64_t selfedfs = PairsWithin(selfedfskeys, &selfedfamilies);
  out.fullsibfamilies = static_cast<int32_t>(families + selfedfamilies);
  out.fullsibpairs = fs + selfedfs;
  out.halfsibpairs = shared - 2 * fs - selfedfs;
  if (parents.rows() < static_cast<std::size_t>(n) || parents.cols() < 2) return out;
  for (int32_t k = 1; k <= 2; ++k) {
    const int32_t nc = v.numchild(k);
    if (nc < 1) continue;
    std::vector<char> seen(static_cast<std::size_t>(nc) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
      if (k == 1 && HaploidOffspring(i)) continue;
      const int32_t c = parents(i, k);
      if (c < 1 || c > nc) continue;
      ++out.assignedoffspring[k - 1];
      if (seen[static_cast<std::size_t>(c)] == 0) {
        seen[static_cast<std::size_t>(c)] = 1;
        ++out.assignedcandidates[k - 1];
      }
    }
  }
  return out;
}

std::vector<std::string> MonitorReportLines(const SearchCounters& c) {
  const Variables& v = variables;
  std::vector<std::string> lines;
  const double r = c.iters > 0 ? static_cast<double>(c.nsucc) / static_cast<double>(c.iters) : 0.0;
  lines.push_back("Run=" + std::to_string(v.krun) + ", Tmr=" + std::to_string(c.tmr) +
                  ", Itr=" + std::to_string(c.runiterates) + ", NSucc=" + std::to_string(c.nsucc) +
                  ", NSuccLmt=" + std::to_string(c.nsucclmt) + ", NFail1=" + std::to_string(c.nfail1));
  lines.push_back("NFail2=" + std::to_string(c.nfail2) + ", SucRate%=" + Format("%.4f", 100.0 * r) +
                  ", SucLmt%=" + Percent(static_cast<double>(c.nsucc), static_cast<double>(c.nsucclmt)) +
                  ", FailLmt%=" + Percent(static_cast<double>(c.nfail1), 8.0 * static_cast<double>(c.iterlimit)) +
                  ", IterLmt%=" + Percent(static_cast<double>(c.iters), 100.0 * static_cast<double>(c.iterlimit)));
  lines.push_back("CrLogL=" + Format("%.12G", v.CrLogLikelihood) +
                  CountItems(v.CrNumFamily, CountConfiguration(v.CrIndivLoc, v.InferParent)));
  lines.push_back("BtLogL=" + Format("%.12G", v.btloglikelihood) +
                  CountItems(v.BtNumFamily, CountConfiguration(v.BtIndivLoc, v.BtInferParent)));
  for (std::string& line : lines) CleanString(line);
  // The clock lines keep their blanks, which align the three labels.
  const ClockStamp now = ClockNow();
  lines.push_back("  Current:D=" + Date(now) + " T=" + Time(now));
  lines.push_back("Initiated:D=" + Date(clocks.initiated) + " T=" + Time(clocks.initiated));
  lines.push_back("  Started:D=" + Date(clocks.started) + " T=" + Time(clocks.started) +
                  ", TotalRunningTime(Min)=" + Format("%-9.2E", RunSeconds(c) / 60.0));
  return lines;
}

void MonitorReport(const SearchCounters& c) {
  const Variables& v = variables;
  if (v.threadid != 0 || v.displayq == 0 || v.simuq != 0) return;
  if (clocks.markspending || progress.shown) std::cout << '\n';
  clocks.markspending = false;
  progress.shown = false;
  std::cout << '\n';
  for (const std::string& line : MonitorReportLines(c)) std::cout << line << '\n';
  std::cout.flush();
}

std::string MidResultHeader() {
  return std::string(" Date     Time Run Tmr    NumIterate") +
         "               CrLogL    Cr#F1    Cr#F2    Cr#F3    Cr#FS " +
         "CrHSPair CrFSPair Cr#AssC1 Cr#AssC2 Cr#AssP1 Cr#AssP2" +
         "               BtLogL    Bt#F1    Bt#F2    Bt#F3    Bt#FS " +
         "BtHSPair BtFSPair Bt#AssC1 Bt#AssC2 Bt#AssP1 Bt#AssP2";
}

void WriteMidResultHeader() {
  if (variables.threadid != 0) return;
  AtomicTextFile out(variables.fname + ".MidResult");
  // What the reading of the project file changed or left out comes first,
  // so that the header stays right above its records.
  for (const std::string& line : variables.inputwarnings) out << "Warning: " << line << '\n';
  out << MidResultHeader() << '\n';
  out.Commit();
}

bool ProgressRecordDue(SearchCounters& c) {
  ++c.recorditer;
  if (c.recorditer < c.nextrecord) return false;
  c.nextrecord += c.recordgap;
  c.recordgap = std::min(2 * c.recordgap, kRecordGapCap);
  // The schedule's own count restarts well before it could pass 2^31.
  if (c.nextrecord > kRecordRestart) {
    c.recorditer = 0;
    c.nextrecord = kRecordGapCap;
  }
  return true;
}

std::string ProgressRecordText(const SearchCounters& c, const ClockStamp& stamp) {
  const Variables& v = variables;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%02d/%02d %02d/%02d/%02d%4d%4d%14lld", stamp.day, stamp.month, stamp.second,
                stamp.minute, stamp.hour, v.krun, c.tmr, static_cast<long long>(c.runiterates));
  std::string line = buf;
  auto side = [&](double logl, const Arr1<int32_t, 3>& numfamily, const Mat1<int32_t>& loc,
                  const Mat1<int32_t>& parents) {
    const ConfigCounts n = CountConfiguration(loc, parents);
    std::snprintf(buf, sizeof buf, "%21.12E%9d%9d%9d%9d%9lld%9lld%9d%9d%9d%9d", logl, numfamily(1), numfamily(2),
                  numfamily(3), n.fullsibfamilies, static_cast<long long>(n.halfsibpairs),
                  static_cast<long long>(n.fullsibpairs), n.assignedcandidates[0], n.assignedcandidates[1],
                  n.assignedoffspring[0], n.assignedoffspring[1]);
    line += buf;
  };
  side(v.CrLogLikelihood, v.CrNumFamily, v.CrIndivLoc, v.InferParent);
  side(v.btloglikelihood, v.BtNumFamily, v.BtIndivLoc, v.BtInferParent);
  return line;
}

namespace {

// Whether the file is empty, missing, or ends with a line end.
bool EndsLine(const std::string& name) {
  std::ifstream in(name, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() <= 0) return true;
  in.seekg(-1, std::ios::end);
  char last = '\n';
  in.get(last);
  return last == '\n';
}

}  // namespace

void WriteMidResult(const SearchCounters& c) {
  if (variables.threadid != 0) return;
  const std::string name = variables.fname + ".MidResult";
  GuardWrite(name);
  // The log is appended to in place: a run killed in the middle of a record
  // leaves that record unended, and the resumed run's records must not run
  // on from it.
  const bool newline = !EndsLine(name);
  std::ofstream out(name, std::ios::out | std::ios::app);
  if (!out) StopWithMessage("Failed to open file " + name + " for appending", "WriteMidResult");
  if (newline) out << '\n';
  out << ProgressRecordText(c, clocks.lastreport) << '\n';
  out.flush();
  if (!out) StopWithMessage("Failed to write file " + name, "WriteMidResult");
}

std::string ProgressText(const SearchCounters& c, int32_t ntemp, double crlogl, double btlogl, double secondsleft) {
  char line[256];
  const double seconds = RunSeconds(c);
  std::snprintf(line, sizeof line, "Run %d, Tmr %d/%d, T %.3g, Itr %lld, CrLogL %.4f, BtLogL %.4f, %.0f s", variables.krun,
                c.tmr, ntemp, c.T, static_cast<long long>(c.runiterates), crlogl, btlogl, seconds);
  std::string text = line;
  if (secondsleft >= 0.0) {
    std::snprintf(line, sizeof line, secondsleft < 120 ? ", about %.0f s left" : ", about %.1f min left",
                  secondsleft < 120 ? secondsleft : secondsleft / 60.0);
    text += line;
  }
  return text;
}

double SecondsLeft(const SearchCounters& c, int32_t ntemp, int32_t frozentoend, double frozenrate) {
  const auto& h = progress.temperatures;
  if (h.empty()) return -1.0;
  // The success rate falls temperature by temperature until it reaches the
  // frozen rate; the rate of the fall is read off the last temperatures.
  const double r = std::max(h.back().second, 1e-9);
  double fall = 0.8;
  if (h.size() >= 2 && h[h.size() - 2].second > r) fall = std::max(0.5, r / h[h.size() - 2].second);
  double temps = frozentoend;
  if (r > frozenrate) temps += std::log(frozenrate / r) / std::log(fall);
  temps = std::min(temps, static_cast<double>(std::max(ntemp - c.tmr, 0)));
  // Seconds per temperature over the last three.
  const std::size_t n = h.size();
  double per = h[0].first;
  if (n > 1) {
    const std::size_t first = n > 4 ? n - 4 : 0;
    per = (h.back().first - h[first].first) / static_cast<double>(n - 1 - first);
  }
  return std::max(0.0, temps * per);
}

void UpdateProgress(const SearchCounters& c, int32_t ntemp, double crlogl, double btlogl, bool temperatureend,
                    int32_t frozentoend, double frozenrate) {
  const Variables& v = variables;
  const double seconds = RunSeconds(c);
  if (temperatureend) {
    if (c.runiterates == 0 || progress.temperatures.empty() || c.tmr == 1) progress.temperatures.clear();
    progress.temperatures.emplace_back(seconds, static_cast<double>(c.nsucc) / static_cast<double>(std::max<int64_t>(c.iters, 1)));
  } else if (seconds - progress.drawn < 1.0) {
    return;
  }
  if (v.threadid != 0 || v.displayq == 0 || v.screenq == 0) return;
  progress.drawn = seconds;
  progress.numbers = ProgressText(c, ntemp, crlogl, btlogl, SecondsLeft(c, ntemp, frozentoend, frozenrate));
  if (ConsoleLine()) {
    DrawProgress();
  } else if (temperatureend) {
    // A front end: one item per temperature.
    static int32_t counter = 0;
    WriteProgress(counter, 1, progress.numbers);
  }
}

void EndProgress() {
  if (progress.shown && variables.threadid == 0) std::cout << std::endl;
  progress.shown = false;
  progress.numbers.clear();
  progress.temperatures.clear();
  progress.drawn = -1.0;
}
