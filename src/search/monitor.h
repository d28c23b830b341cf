// What the search shows and logs while it runs: the monitoring report on
// the screen with its progress marks, the request to stop from a
// controlling application, and the progress log fname + ".MidResult".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/arrays.h"

// The running counters of one annealing run, which the display, the
// progress log and the checkpoint all read.
struct SearchCounters {
  int32_t tmr = 1;            // temperature counter
  int64_t runiterates = 0;    // iterates of the run
  int64_t iters = 0;          // iterates at this temperature
  int64_t nsucc = 0, nsucclmt = 1, nfail1 = 0, nfail2 = 0, iterlimit = 1;
  int64_t acceptedsince = 0, nullmoves = 0;
  int32_t improvements = 0, tempimprovements = 0;
  double largestgain = 0.0;
  double T = 1.0, S = 1.0;    // temperature and screen scale
  int64_t screentrials = 0, screenpasses = 0;
  double rate = 1.0;          // annealvariables.Rate
  double timespent = 0.0;     // seconds of this run before the current execution
  int64_t nextrecord = 1, recordgap = 1;  // progress-log schedule
  int64_t recorditer = 0;     // iterates counted by that schedule (restarts near 2^31)
  int32_t repeat = 5;         // the annealing repeat of the run
  int32_t archiving = 0;      // 1 once configurations are being archived
  int32_t finished = 0;       // 1 when the run's search has ended
};

// A reading of the calendar clock.
struct ClockStamp {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

ClockStamp ClockNow();

// Marks the start of the program ("Initiated" of the report).
void MonitorStart();
// Marks the start of a run, or of its continuation in this execution
// ("Started"): the run's clocks, the report and mark schedules. Also marks
// the program start if MonitorStart was not called.
void MonitorRunStart();
// Seconds the run has taken: the time spent before this execution plus
// the wall time since MonitorRunStart.
double RunSeconds(const SearchCounters& c);
// The clock reading of the last due report (the run start before any).
const ClockStamp& LastReportClock();

// Removes every blank from text and puts one blank after each comma;
// returns the new length.
int CleanString(std::string& text);

// Called once per iterate, after runiterates was increased. Prints the
// progress marks (process 0, when progress details are shown) and tells
// whether a report is due: with monitormethod 1 every monitorinterval
// seconds of processor time, with 0 at every multiple of monitorinterval
// iterates. At a due report of a search run by a controlling application
// (systemrun = 1), process 0 stops the program if fname + ".data" was
// deleted. With monitormethod 1 the answer depends on this process's own
// clock, so no collective step may hang on it.
bool MonitorDue(const SearchCounters& c);

// The lines of the monitoring report, from the current and best
// configurations and the counters: the four count lines (blanks cleaned)
// and the three clock lines, the last ending with the running time.
std::vector<std::string> MonitorReportLines(const SearchCounters& c);
// Prints an empty line and the report on process 0 when display is on.
void MonitorReport(const SearchCounters& c);

// Counts of one configuration shown by the report and the progress log.
struct ConfigCounts {
  int32_t fullsibfamilies = 0;
  int64_t halfsibpairs = 0, fullsibpairs = 0;
  int32_t assignedcandidates[2] = {0, 0};  // distinct candidates assigned, per sex
  int32_t assignedoffspring[2] = {0, 0};   // offspring with an assigned candidate, per sex
};
// loc: offspring x (paternal family, maternal family, cluster); parents:
// offspring x sex, the candidate assigned (0 = none). A haploid offspring
// has no father: it shares no paternal family and forms a full-sib family
// of its own.
ConfigCounts CountConfiguration(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents);

// Progress log: the warnings of the input reading and the header (a fresh
// file, when a search starts afresh), the schedule of records (1, 2, 4, 8,
// ... iterates, the gap at most 100000), and one appended record (process
// 0).
std::string MidResultHeader();
void WriteMidResultHeader();
bool ProgressRecordDue(SearchCounters& c);
std::string ProgressRecordText(const SearchCounters& c, const ClockStamp& stamp);
void WriteMidResult(const SearchCounters& c);

// The progress line: the run, the temperature step out of the total, the
// iterates, the current and best log likelihoods and an estimate of the
// time left. On a console it is one line rewritten in place (the progress
// marks turn its spinner); a front end gets one item per temperature.
// Called at the end of each temperature (temperatureend), and during one,
// when it redraws at most once a second. The estimate follows the fall of
// the success rate towards the frozen rate at which the search ends.
std::string ProgressText(const SearchCounters& c, int32_t ntemp, double crlogl, double btlogl, double secondsleft);
void UpdateProgress(const SearchCounters& c, int32_t ntemp, double crlogl, double btlogl, bool temperatureend,
                    int32_t frozentoend, double frozenrate);
// Ends the progress line of the run.
void EndProgress();
