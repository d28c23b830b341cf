// The log-gamma function against the standard library's lgamma and exact
// factorials.
#include "numeric/log_gamma.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/fixture.h"

namespace {

using NumericGammaTest = PedkinTest;

// Against the standard library's log gamma over a range, and at the
// integers, whose log gamma is a log factorial.
TEST_F(NumericGammaTest, GammlnMatchesLgammaOverARange) {
  std::vector<double> points;
  for (double x = 0.01; x < 2000.0; x *= 1.03) points.push_back(x);
  for (int n = 1; n <= 171; ++n) points.push_back(n);
  for (double x : points) {
    const double expected = std::lgamma(x);
    ASSERT_NEAR(gammln(x), expected, 2e-10 * std::max(1.0, std::fabs(expected))) << "x = " << x;
  }
}

}  // namespace
