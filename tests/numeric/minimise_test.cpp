// Brent's line minimisation, the bounded line search and Powell's method on
// functions with known minima, the box of admissible values (never left by
// an evaluation), and the two outcomes of non-convergence (program stop with
// its message, or flag with the best point).
#include "numeric/minimise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericMinimiseTest = PedkinTest;

Vec1<double> Point(std::initializer_list<double> values) {
  Vec1<double> p(values.size());
  long i = 1;
  for (double v : values) p(i++) = v;
  return p;
}

Mat1<double> UnitDirections(int32_t n) {
  Mat1<double> xi(static_cast<std::size_t>(n), static_cast<std::size_t>(n), 0.0);
  for (int32_t i = 1; i <= n; ++i) xi(i, i) = 1.0;
  return xi;
}

// An objective that records every evaluation and counts those outside the
// box, where the objective of the program need not be defined.
struct Recorder {
  Objective f;
  Vec1<double> lower, upper;
  std::vector<std::vector<double>> points;
  std::vector<double> values;
  int outside = 0;
  double operator()(const Vec1<double>& p) {
    for (long j = 1; j <= static_cast<long>(p.size()); ++j) {
      if (p(j) < lower(j) || p(j) > upper(j)) ++outside;
    }
    points.push_back(p.raw());
    values.push_back(f(p));
    return values.back();
  }
};

TEST_F(NumericMinimiseTest, BrentFindsKnownMinima) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    double ax, bx, cx, xmin, fmin, ftolerance = 1e-9;
  };
  const auto parabola = [](double x) { return (x - 2.0) * (x - 2.0) + 1.0; };
  const std::vector<Case> cases = {
      {"parabola", parabola, 0.0, 1.0, 5.0, 2.0, 1.0},
      {"parabola, bracket reversed", parabola, 5.0, 1.0, 0.0, 2.0, 1.0},
      {"quartic", [](double x) { return x * x * x * x - 2.0 * x; }, -1.0, 0.0, 3.0, std::cbrt(0.5),
       std::pow(0.5, 4.0 / 3.0) - 2.0 * std::cbrt(0.5)},
      {"kink", [](double x) { return std::fabs(x - 0.3); }, -1.0, 0.9, 1.0, 0.3, 0.0, 1e-5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double xmin = 0.0;
    const double fmin = Brent(c.ax, c.bx, c.cx, c.f, 1e-6, xmin);
    EXPECT_NEAR(xmin, c.xmin, 1e-5);
    EXPECT_NEAR(fmin, c.fmin, c.ftolerance);
    EXPECT_DOUBLE_EQ(fmin, c.f(xmin));
  }
}

TEST_F(NumericMinimiseTest, BrentStopsAfterAHundredIterations) {
  // A bracket of 1e100 each side cannot shrink to the tolerance in 100
  // iterations; the best point so far is returned.
  int evaluations = 0;
  double best = 1e300;
  const auto f = [&](double x) {
    ++evaluations;
    const double y = std::sqrt(std::fabs(x - 0.25));
    best = std::min(best, y);
    return y;
  };
  double xmin = 0.0;
  const double fmin = Brent(-1e100, 1.0, 1e100, f, 1e-10, xmin);
  EXPECT_EQ(evaluations, 101);
  EXPECT_EQ(fmin, best);
  EXPECT_EQ(fmin, std::sqrt(std::fabs(xmin - 0.25)));
}

TEST_F(NumericMinimiseTest, LinMinWithinTheBox) {
  struct Case {
    const char* name;
    std::vector<double> p, xi;
    std::function<double(const Vec1<double>&)> f;
    std::vector<double> expected;
    double fret;
    // A minimum on a bound is approached to within the line tolerance.
    double ptolerance = 1e-6, ftolerance = 1e-9;
  };
  const auto bowl = [](const Vec1<double>& x) {
    return (x(1) - 0.8) * (x(1) - 0.8) + (x(2) - 0.3) * (x(2) - 0.3);
  };
  const auto above = [](const Vec1<double>& x) { return (x(2) - 3.0) * (x(2) - 3.0); };
  const auto below = [](const Vec1<double>& x) { return (x(1) + 1.0) * (x(1) + 1.0); };
  const std::vector<Case> cases = {
      {"interior minimum", {0.5, 0.5}, {1.0, 0.0}, bowl, {0.8, 0.5}, 0.04},
      {"step 1 outside: starts mid-range", {0.5, 0.5}, {10.0, 0.0}, bowl, {0.8, 0.5}, 0.04},
      {"diagonal", {0.2, 0.9}, {1.0, -1.0}, bowl, {0.8, 0.3}, 0.0},
      {"beyond the upper bound", {0.5, 0.5}, {0.0, 1.0}, above, {0.5, 1.0}, 4.0, 1e-4, 1e-3},
      {"beyond the lower bound, backwards", {0.5, 0.5}, {-2, 0}, below, {0, 0.5}, 1, 1e-4, 1e-3},
      {"tiny component does not restrict", {0.5, 1.0}, {1.0, 1e-12}, bowl, {0.8, 1.0}, 0.49},
      // Every component negligible: no line search, p kept exactly.
      {"null direction", {0.5, 0.25}, {1e-12, -1e-11}, bowl, {0.5, 0.25}, 0.0925, 0.0, 1e-15},
  };
  const Vec1<double> lower = Point({0.0, 0.0});
  const Vec1<double> upper = Point({1.0, 1.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec1<double> p(2), xi(2);
    p.raw() = c.p;
    xi.raw() = c.xi;
    Recorder rec{c.f, lower, upper};
    double fret = 0.0;
    LinMin(p, xi, 2, fret, std::ref(rec), lower, upper);
    EXPECT_NEAR(p(1), c.expected[0], c.ptolerance);
    EXPECT_NEAR(p(2), c.expected[1], c.ptolerance);
    EXPECT_NEAR(fret, c.fret, c.ftolerance);
    EXPECT_EQ(fret, c.f(p));
    // xi comes back as the step taken.
    EXPECT_NEAR(xi(1), p(1) - c.p[0], 1e-12);
    EXPECT_NEAR(xi(2), p(2) - c.p[1], 1e-12);
    EXPECT_EQ(rec.outside, 0);
  }
}

TEST_F(NumericMinimiseTest, LinMinNeverGoesUphillNorLeavesTheBox) {
  // A wavy surface has several minima on most lines; the search along a
  // line may settle in one above the start, and must then keep the start.
  const auto wavy = [](const Vec1<double>& x) {
    return std::sin(5.0 * x(1)) + std::cos(7.0 * x(2)) + 0.1 * x(1) * x(2);
  };
  const Vec1<double> lower = Point({0.0, 0.0});
  const Vec1<double> upper = Point({3.0, 3.0});
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> inside(0.0, 3.0), dir(-2.0, 2.0);
  int kept = 0;
  for (int rep = 0; rep < 500; ++rep) {
    Vec1<double> p = Point({inside(rng), inside(rng)});
    Vec1<double> xi = Point({dir(rng), rep % 5 == 0 ? 1e-11 : dir(rng)});
    const double fstart = wavy(p);
    Recorder rec{wavy, lower, upper};
    double fret = 0.0;
    LinMin(p, xi, 2, fret, std::ref(rec), lower, upper);
    ASSERT_LE(fret, fstart);
    ASSERT_EQ(fret, wavy(p));
    ASSERT_EQ(rec.outside, 0);
    if (xi(1) == 0.0 && xi(2) == 0.0) ++kept;
  }
  EXPECT_GT(kept, 0);
}

TEST_F(NumericMinimiseTest, PowellFindsKnownMinima) {
  struct Case {
    const char* name;
    std::vector<double> start, lower, upper;
    std::function<double(const Vec1<double>&)> f;
    std::vector<double> expected;
    double fmin, tolerance;
  };
  const auto threeParameters = [](const Vec1<double>& x) {
    const double a = x(1) - 1.0, b = x(2) + 2.0, c = x(3) - 0.5;
    return a * a + 3.0 * b * b + 0.5 * c * c + a * b - 0.4 * b * c;
  };
  const auto bowlAt = [](double a, double b) {
    return [=](const Vec1<double>& x) { return (x(1) - a) * (x(1) - a) + (x(2) - b) * (x(2) - b); };
  };
  const auto rosenbrock = [](const Vec1<double>& x) {
    const double a = 1.0 - x(1), b = x(2) - x(1) * x(1);
    return a * a + 100.0 * b * b;
  };
  // Minima at the corner and on the edge of the box lie beyond it.
  const std::vector<Case> cases = {
      {"coupled, 3-d", {0, 0, 0}, {-5, -5, -5}, {5, 5, 5}, threeParameters, {1, -2, 0.5}, 0, 1e-4},
      {"beyond the corner", {0.5, 0.5}, {0, 0}, {1, 1}, bowlAt(2, -1), {1, 0}, 2, 1e-4},
      {"beyond the edge", {0.2, 0.2}, {0, 0}, {0.5, 1}, bowlAt(0.9, 0.6), {0.5, 0.6}, 0.16, 1e-4},
      {"Rosenbrock", {-1.2, 1}, {-2, -2}, {2, 2}, rosenbrock, {1, 1}, 0, 1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto n = static_cast<int32_t>(c.start.size());
    Vec1<double> p(c.start.size()), lower(c.lower.size()), upper(c.upper.size());
    p.raw() = c.start;
    lower.raw() = c.lower;
    upper.raw() = c.upper;
    Mat1<double> xi = UnitDirections(n);
    Recorder rec{c.f, lower, upper};
    int32_t iter = 0;
    double fret = 0.0;
    bool notconverged = true;
    Powell(p, xi, n, 1e-10, iter, fret, std::ref(rec), lower, upper, &notconverged);
    EXPECT_FALSE(notconverged);
    for (int32_t j = 1; j <= n; ++j) {
      EXPECT_NEAR(p(j), c.expected[static_cast<std::size_t>(j - 1)], c.tolerance) << "j = " << j;
    }
    EXPECT_NEAR(fret, c.fmin, 1e-6);
    EXPECT_EQ(rec.outside, 0);
  }
}

// Falls a little with every evaluation, so no iteration is ever without
// progress; the bowl keeps the points near (0.3, 0.6).
struct DriftingBowl {
  int calls = 0;
  double operator()(const Vec1<double>& x) {
    ++calls;
    return (x(1) - 0.3) * (x(1) - 0.3) + (x(2) - 0.6) * (x(2) - 0.6) - 1e-6 * calls;
  }
};

// Without progress-free iterations Powell runs out of them. With the flag
// it returns the best point met; without it the program stops.
TEST_F(NumericMinimiseTest, PowellAtTheIterationLimit) {
  DriftingBowl bowl;
  const Vec1<double> lower = Point({0.0, 0.0});
  const Vec1<double> upper = Point({1.0, 1.0});
  Recorder rec{std::ref(bowl), lower, upper};
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
  // fret is the value of an actual evaluation at the returned point, and
  // below the start.
  bool found = false;
  for (std::size_t k = 0; k < rec.points.size(); ++k) {
    found = found || (rec.points[k] == p.raw() && rec.values[k] == fret);
  }
  EXPECT_TRUE(found);
  EXPECT_LT(fret, rec.values.front());
  EXPECT_EQ(rec.outside, 0);

  variables.fname = "numtest";
  variables.displayq = 0;
  p = Point({0.9, 0.1});
  xi = UnitDirections(2);
  int32_t code = 0;
  const std::string message =
      ExpectStop([&] { Powell(p, xi, 2, 1e-12, iter, fret, std::ref(bowl), lower, upper); }, &code);
  EXPECT_EQ(
      message,
      "Program stopped in subroutine powell exceeding maximum iterations, dataset = numtest.\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(iter, 200);
}

}  // namespace
