// Text conversion, guarded logarithm, wall clock, pause and the progress
// indicator shared by every stage.
#pragma once

#include <cstdint>
#include <string>

// Decimal text of n without blanks.
std::string itoc(int32_t n);

// Text of x written with a printf format (for example "%.4f" or "%12.4E")
// into at most 28 characters, leading and trailing blanks removed. A value
// that does not fit gives 28 asterisks.
std::string rtoc(double x, const char* format);

// s without its trailing characters of `blanks`.
std::string TrimRight(const std::string& s, const char* blanks = " ");

// True when x is not a number.
bool isnanq(double x);

// ln x, or -1e300 when x <= 1e-300.
double logx(double x);

// Wall clock since the first reading's midnight: unit 1 gives milliseconds,
// anything else seconds. Keeps increasing across midnight.
int64_t WallTime(int32_t unit);

// The same from an explicit clock reading; WallTime feeds it the system
// clock. The day counter is shared between both.
int64_t WallTimeFromClock(int32_t unit, int hour, int minute, int second, int millisecond);

// Resets the day counter (a fresh program start).
void ResetWallTimeDays();

// Waits at least the given number of seconds.
void Sleeping(int32_t seconds);

// Progress indicator: increases counter, shows a mark every `interval` calls.
void WriteProgress(int32_t& counter, int32_t interval);
void WriteProgress(int32_t& counter, int32_t interval, const std::string& text);
