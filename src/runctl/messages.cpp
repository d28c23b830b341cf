// Text conversion, guarded logarithm, wall clock, pause and progress
// indicator.
#include "runctl/messages.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <thread>

#include "state/variables.h"

std::string itoc(int32_t n) {
  if (n >= 1 && n <= variables.smplsize &&
      static_cast<std::size_t>(n) <= variables.stroffidx.size()) {
    return variables.stroffidx[static_cast<std::size_t>(n - 1)];
  }
  return std::to_string(n);
}

std::string rtoc(double x, const char* format) {
  char buf[64];
  int len = std::snprintf(buf, sizeof buf, format, x);
  if (len < 0) return std::string(28, '*');
  std::string s(buf, static_cast<std::size_t>(std::min<int>(len, sizeof buf - 1)));
  std::size_t b = s.find_first_not_of(' ');
  std::size_t e = s.find_last_not_of(' ');
  s = (b == std::string::npos) ? std::string() : s.substr(b, e - b + 1);
  if (s.size() > 28) return std::string(28, '*');
  return s;
}

std::string TrimRight(const std::string& s, const char* blanks) {
  const std::size_t e = s.find_last_not_of(blanks);
  return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

bool isnanq(double x) { return x != x; }

double logx(double x) { return x <= 1e-300 ? -1e300 : std::log(x); }

namespace {
// Midnights passed since the first reading, and the hour of the last one.
int64_t walltime_days = 0;
int walltime_lasthour = -1;
}  // namespace

void ResetWallTimeDays() {
  walltime_days = 0;
  walltime_lasthour = -1;
}

int64_t WallTimeFromClock(int32_t unit, int hour, int minute, int second, int millisecond) {
  if (walltime_lasthour >= 0 && hour < walltime_lasthour) ++walltime_days;
  walltime_lasthour = hour;
  const int64_t seconds =
      (static_cast<int64_t>(hour) + 24 * walltime_days) * 3600 + minute * 60 + second;
  return unit == 1 ? seconds * 1000 + millisecond : seconds;
}

int64_t WallTime(int32_t unit) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return WallTimeFromClock(unit, local.tm_hour, local.tm_min, local.tm_sec, ms);
}

void Sleeping(int32_t seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

namespace {
void AdvanceProgressCounter(int32_t& counter) {
  ++counter;
  // Reset before the counter could overflow on a very long search.
  if (counter > 2147483640) counter = 0;
}

void EndItem(bool advance) {
  if (advance) {
    std::cout << '\n';
  }
  std::cout.flush();
}

void ShowProgress(int32_t counter, int32_t interval, const std::string* text) {
  if (variables.displayq == 0 || interval <= 0 || counter % interval != 0) return;
  const bool advance = variables.lineform == Variables::LineForm::Advance;
  if (variables.igui == 1) {
    std::cout << '.';
    EndItem(counter % (100LL * interval) == 0 || advance);
  } else if (text != nullptr) {
    std::cout << '\r' << *text;
    EndItem(advance);
  } else {
    static const char spinner[] = "|/-\\";
    std::cout << '\r' << spinner[(counter / interval) % 4];
    EndItem(advance);
  }
}
}  // namespace

void WriteProgress(int32_t& counter, int32_t interval) {
  ShowProgress(counter + 1, interval, nullptr);
  AdvanceProgressCounter(counter);
}

void WriteProgress(int32_t& counter, int32_t interval, const std::string& text) {
  ShowProgress(counter + 1, interval, &text);
  AdvanceProgressCounter(counter);
}
