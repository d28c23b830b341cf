// Powell's method, with the bounded line search and line minimisation under
// it, on known minima, inside the box, and at the iteration limit.
#include "numeric/minimise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericMinimiseTest = PedkinTest;

Vec1<double> Point(const std::vector<double>& values) {
  Vec1<double> p(values.size());
  p.raw() = values;
  return p;
}

Mat1<double> UnitDirections(int32_t n) {
  Mat1<double> xi(static_cast<std::size_t>(n), static_cast<std::size_t>(n), 0.0);
  for (int32_t i = 1; i <= n; ++i) xi(i, i) = 1.0;
  return xi;
}

// Records every evaluation and counts those outside the box, where the
// objective of the program need not be defined.
struct Recorder {
  Objective f;
  Vec1<double> lower, upper;
  std::vector<std::vector<double>> points{};
  std::vector<double> values{};
  int outside = 0;
  double operator()(const Vec1<double>& p) {
    for (long j = 1; j <= static_cast<long>(p.size()); ++j) outside += p(j) < lower(j) || p(j) > upper(j);
    points.push_back(p.raw());
    values.push_back(f(p));
    return values.back();
  }
};

TEST_F(NumericMinimiseTest, PowellFindsKnownMinima) {
  struct Case {
    std::vector<double> start, lower, upper;
    Objective f;
    std::vector<double> expected;
    double fmin, tolerance;
  };
  const auto coupled = [](const Vec1<double>& x) {
    const double a = x(1) - 1.0, b = x(2) + 2.0, c = x(3) - 0.5;
    return a * a + 3.0 * b * b + 0.5 * c * c + a * b - 0.4 * b * c;
  };
  const auto bowlAt = [](double a, double b) {
    return [=](const Vec1<double>& x) { return (x(1) - a) * (x(1) - a) + (x(2) - b) * (x(2) - b); };
  };
  const auto rosenbrock = [](const Vec1<double>& x) {
    return (1.0 - x(1)) * (1.0 - x(1)) + 100.0 * (x(2) - x(1) * x(1)) * (x(2) - x(1) * x(1));
  };
  // The bowls' minima lie beyond a corner and beyond an edge of the box.
  const std::vector<Case> cases = {
      {{0, 0, 0}, {-5, -5, -5}, {5, 5, 5}, coupled, {1, -2, 0.5}, 0, 1e-4},
      {{0.5, 0.5}, {0, 0}, {1, 1}, bowlAt(2, -1), {1, 0}, 2, 1e-4},
      {{0.2, 0.2}, {0, 0}, {0.5, 1}, bowlAt(0.9, 0.6), {0.5, 0.6}, 0.16, 1e-4},
      {{-1.2, 1}, {-2, -2}, {2, 2}, rosenbrock, {1, 1}, 0, 1e-3},
  };
  for (const Case& c : cases) {
    const auto n = static_cast<int32_t>(c.start.size());
    Vec1<double> p = Point(c.start), lower = Point(c.lower), upper = Point(c.upper);
    Mat1<double> xi = UnitDirections(n);
    Recorder rec{c.f, lower, upper};
    int32_t iter = 0;
    double fret = 0.0;
    bool notconverged = true;
    Powell(p, xi, n, 1e-10, iter, fret, std::ref(rec), lower, upper, &notconverged);
    EXPECT_FALSE(notconverged);
    EXPECT_NEAR(fret, c.fmin, 1e-6);
    EXPECT_EQ(rec.outside, 0);
    for (int32_t j = 1; j <= n; ++j) EXPECT_NEAR(p(j), c.expected[static_cast<std::size_t>(j - 1)], c.tolerance);
  }
}

// A bowl that falls a little with every evaluation exhausts the iterations:
// with the flag Powell returns the best point met, without it the program stops.
TEST_F(NumericMinimiseTest, PowellAtTheIterationLimit) {
  int calls = 0;
  const Objective drifting = [&](const Vec1<double>& x) {
    return (x(1) - 0.3) * (x(1) - 0.3) + (x(2) - 0.6) * (x(2) - 0.6) - 1e-6 * ++calls;
  };
  const Vec1<double> lower = Point({0.0, 0.0}), upper = Point({1.0, 1.0});
  Recorder rec{drifting, lower, upper};
  Vec1<double> p = Point({0.9, 0.1});
  Mat1<double> xi = UnitDirections(2);
  int32_t iter = 0;
  double fret = 0.0;
  bool notconverged = false;
  Powell(p, xi, 2, 1e-12, iter, fret, std::ref(rec), lower, upper, &notconverged);
  EXPECT_TRUE(notconverged);
  EXPECT_EQ(iter, 200);
  EXPECT_NEAR(p(1), 0.3, 0.05);
  EXPECT_NEAR(p(2), 0.6, 0.05);
  // fret is an actual evaluation at the returned point, below the start.
  bool found = false;
  for (std::size_t k = 0; k < rec.points.size(); ++k) found |= rec.points[k] == p.raw() && rec.values[k] == fret;
  EXPECT_TRUE(found);
  EXPECT_LT(fret, rec.values.front());
  EXPECT_EQ(rec.outside, 0);

  variables.fname = "numtest";
  variables.displayq = 0;
  p = Point({0.9, 0.1});
  xi = UnitDirections(2);
  int32_t code = 0;
  EXPECT_EQ(ExpectStop([&] { Powell(p, xi, 2, 1e-12, iter, fret, drifting, lower, upper); }, &code),
            "Program stopped in subroutine powell exceeding maximum iterations, dataset = numtest.\n");
  EXPECT_EQ(code, 1);
}

}  // namespace
