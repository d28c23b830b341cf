// The log-gamma function against the standard library's lgamma and exact
// factorials.
#include "numeric/log_gamma.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/fixture.h"

namespace {

using NumericGammaTest = PedkinTest;

TEST_F(NumericGammaTest, GammlnMatchesLgammaOverARange) {
  for (double x = 0.01; x < 2000.0; x *= 1.03) {
    const double expected = std::lgamma(x);
    ASSERT_NEAR(gammln(x), expected, 2e-10 * std::max(1.0, std::fabs(expected))) << "x = " << x;
  }
}

TEST_F(NumericGammaTest, GammlnKnownValues) {
  struct Case {
    double x, expected;
  };
  const double pi = std::acos(-1.0);
  const Case cases[] = {
      {1.0, 0.0},
      {2.0, 0.0},
      {0.5, 0.5 * std::log(pi)},
      {1.5, std::log(0.5 * std::sqrt(pi))},
      {3.0, std::log(2.0)},
      {11.0, std::log(3628800.0)},
  };
  for (const Case& c : cases) EXPECT_NEAR(gammln(c.x), c.expected, 1e-10) << "x = " << c.x;
}

TEST_F(NumericGammaTest, GammlnOfIntegersIsLogFactorial) {
  double logFactorial = 0.0;  // ln 0!
  for (int n = 0; n <= 170; ++n) {
    if (n > 0) logFactorial += std::log(static_cast<double>(n));
    ASSERT_NEAR(gammln(n + 1.0), logFactorial, 2e-10 * std::max(1.0, logFactorial)) << "n = " << n;
  }
}

}  // namespace
