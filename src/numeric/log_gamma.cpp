// Special functions: the log-gamma function.
#include "numeric/log_gamma.h"

#include <cmath>

double gammln(double x) {
  static constexpr double kCoef[6] = {76.18009172947146,    -86.50532032941678,
                                      24.01409824083091,    -1.231739572450155,
                                      0.001208650973866179, -5.395239384953e-06};
  static constexpr double kStp = 2.5066282746310007;  // sqrt(2 pi)
  double ser = 1.000000000190015;
  double y = x;
  for (double c : kCoef) {
    y += 1.0;
    ser += c / y;
  }
  const double tmp = x + 5.5;
  return (x + 0.5) * std::log(tmp) - tmp + std::log(kStp * ser / x);
}
