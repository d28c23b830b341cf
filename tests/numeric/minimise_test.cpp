// Brent's line minimisation, the bounded line search and Powell's method on
// functions with known minima, the box of admissible values, and the two
// outcomes of non-convergence (program stop or flag).
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

// An objective that records every point where it is evaluated.
struct Recorder {
  std::function<double(const Vec1<double>&)> f;
  std::vector<std::vector<double>> points;
  std::vector<double> values;
  double operator()(const Vec1<double>& p) {
    points.push_back(p.raw());
    values.push_back(f(p));
    return values.back();
  }
  // Largest distance by which an evaluated point left the box.
  double WorstExcursion(const Vec1<double>& lower, const Vec1<double>& upper) const {
    double worst = 0.0;
    for (const auto& p : points) {
      for (std::size_t j = 0; j < p.size(); ++j) {
        worst = std::max(worst, lower(static_cast<long>(j + 1)) - p[j]);
        worst = std::max(worst, p[j] - upper(static_cast<long>(j + 1)));
      }
    }
    return worst;
  }
};

TEST_F(NumericMinimiseTest, BrentFindsKnownMinima) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    double ax, bx, cx, xmin, fmin, ftolerance = 1e-9;
  };
  const double pi = std::acos(-1.0);
  const std::vector<Case> cases = {
      {"parabola", [](double x) { return (x - 2.0) * (x - 2.0) + 1.0; }, 0.0, 1.0, 5.0, 2.0, 1.0},
      {"parabola, bracket reversed", [](double x) { return (x - 2.0) * (x - 2.0) + 1.0; }, 5.0, 1.0,
       0.0, 2.0, 1.0},
      {"cosine", [](double x) { return std::cos(x); }, 2.0, 3.0, 4.0, pi, -1.0},
      {"quartic", [](double x) { return x * x * x * x - 2.0 * x; }, -1.0, 0.0, 3.0, std::cbrt(0.5),
       std::pow(0.5, 4.0 / 3.0) - 2.0 * std::cbrt(0.5)},
      {"exponential", [](double x) { return std::exp(x) - 2.0 * x; }, -5.0, 0.0, 5.0, std::log(2.0),
       2.0 - 2.0 * std::log(2.0)},
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

TEST_F(NumericMinimiseTest, F1DimEvaluatesAlongTheLine) {
  const Vec1<double> p = Point({1.0, -2.0, 0.5});
  const Vec1<double> xi = Point({0.5, 1.0, -2.0});
  std::vector<double> seen;
  const Objective f = [&](const Vec1<double>& x) {
    seen = x.raw();
    return x(1) + 10.0 * x(2) + 100.0 * x(3);
  };
  const Vec1<double> wide = Point({-10.0, -10.0, -10.0});
  const Vec1<double> high = Point({10.0, 10.0, 10.0});
  EXPECT_DOUBLE_EQ(F1Dim(2.0, p, xi, 3, f, wide, high), 2.0 + 10.0 * 0.0 + 100.0 * (-3.5));
  EXPECT_EQ(seen, (std::vector<double>{2.0, 0.0, -3.5}));
  // Coordinates are held within their bounds.
  EXPECT_DOUBLE_EQ(F1Dim(2.0, p, xi, 3, f, Point({-1.0, 0.5, -1.0}), Point({1.5, 1.0, 1.0})),
                   1.5 + 10.0 * 0.5 + 100.0 * (-1.0));
  EXPECT_EQ(seen, (std::vector<double>{1.5, 0.5, -1.0}));
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
  const std::vector<Case> cases = {
      {"interior minimum", {0.5, 0.5}, {1.0, 0.0}, bowl, {0.8, 0.5}, 0.04},
      {"step 1 outside: starts mid-range", {0.5, 0.5}, {10.0, 0.0}, bowl, {0.8, 0.5}, 0.04},
      {"diagonal", {0.2, 0.9}, {1.0, -1.0}, bowl, {0.8, 0.3}, 0.0},
      {"minimum beyond the upper bound",
       {0.5, 0.5},
       {0.0, 1.0},
       [](const Vec1<double>& x) { return (x(2) - 3.0) * (x(2) - 3.0); },
       {0.5, 1.0},
       4.0,
       1e-4,
       1e-3},
      {"minimum beyond the lower bound, negative direction",
       {0.5, 0.5},
       {-2.0, 0.0},
       [](const Vec1<double>& x) { return (x(1) + 1.0) * (x(1) + 1.0); },
       {0.0, 0.5},
       1.0,
       1e-4,
       1e-3},
      {"tiny component does not restrict", {0.5, 1.0}, {1.0, 1e-12}, bowl, {0.8, 1.0}, 0.49},
  };
  const Vec1<double> lower = Point({0.0, 0.0});
  const Vec1<double> upper = Point({1.0, 1.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec1<double> p(2), xi(2);
    p.raw() = c.p;
    xi.raw() = c.xi;
    Recorder rec{c.f, {}, {}};
    double fret = 0.0;
    LinMin(p, xi, 2, fret, std::ref(rec), lower, upper);
    EXPECT_NEAR(p(1), c.expected[0], c.ptolerance);
    EXPECT_NEAR(p(2), c.expected[1], c.ptolerance);
    EXPECT_NEAR(fret, c.fret, c.ftolerance);
    EXPECT_EQ(fret, c.f(p));
    // xi comes back as the step taken.
    EXPECT_NEAR(xi(1), p(1) - c.p[0], 1e-12);
    EXPECT_NEAR(xi(2), p(2) - c.p[1], 1e-12);
    EXPECT_EQ(rec.WorstExcursion(lower, upper), 0.0);
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
    Recorder rec{wavy, {}, {}};
    double fret = 0.0;
    LinMin(p, xi, 2, fret, std::ref(rec), lower, upper);
    ASSERT_LE(fret, fstart);
    ASSERT_EQ(fret, wavy(p));
    ASSERT_EQ(rec.WorstExcursion(lower, upper), 0.0);
    if (xi(1) == 0.0 && xi(2) == 0.0) ++kept;
  }
  EXPECT_GT(kept, 0);
}

TEST_F(NumericMinimiseTest, LinMinAlongANullDirectionStaysPut) {
  int evaluations = 0;
  const Objective f = [&](const Vec1<double>& x) {
    ++evaluations;
    return x(1) + x(2);
  };
  Vec1<double> p = Point({0.5, 0.25});
  Vec1<double> xi = Point({1e-12, -1e-11});
  double fret = 0.0;
  LinMin(p, xi, 2, fret, f, Point({0.0, 0.0}), Point({1.0, 1.0}));
  EXPECT_EQ(evaluations, 1);
  EXPECT_EQ(p.raw(), (std::vector<double>{0.5, 0.25}));
  EXPECT_EQ(xi.raw(), (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(fret, 0.75);
}

TEST_F(NumericMinimiseTest, PowellFindsKnownMinima) {
  struct Case {
    const char* name;
    std::vector<double> start, lower, upper;
    std::function<double(const Vec1<double>&)> f;
    std::vector<double> expected;
    double fmin, tolerance;
  };
  const std::vector<Case> cases = {
      {"quadratic with cross term",
       {0.9, 0.1},
       {0.0, 0.0},
       {1.0, 1.0},
       [](const Vec1<double>& x) {
         const double a = x(1) - 0.2, b = x(2) - 0.7;
         return a * a + 2.0 * b * b + 1.5 * a * b + 3.0;
       },
       {0.2, 0.7},
       3.0,
       1e-4},
      {"three parameters",
       {0.0, 0.0, 0.0},
       {-5.0, -5.0, -5.0},
       {5.0, 5.0, 5.0},
       [](const Vec1<double>& x) {
         const double a = x(1) - 1.0, b = x(2) + 2.0, c = x(3) - 0.5;
         return a * a + 3.0 * b * b + 0.5 * c * c + a * b - 0.4 * b * c;
       },
       {1.0, -2.0, 0.5},
       0.0,
       1e-4},
      {"minimum outside the box: corner",
       {0.5, 0.5},
       {0.0, 0.0},
       {1.0, 1.0},
       [](const Vec1<double>& x) {
         return (x(1) - 2.0) * (x(1) - 2.0) + (x(2) + 1.0) * (x(2) + 1.0);
       },
       {1.0, 0.0},
       2.0,
       1e-4},
      {"minimum outside the box: edge",
       {0.2, 0.2},
       {0.0, 0.0},
       {0.5, 1.0},
       [](const Vec1<double>& x) {
         return (x(1) - 0.9) * (x(1) - 0.9) + (x(2) - 0.6) * (x(2) - 0.6);
       },
       {0.5, 0.6},
       0.16,
       1e-4},
      {"Rosenbrock",
       {-1.2, 1.0},
       {-2.0, -2.0},
       {2.0, 2.0},
       [](const Vec1<double>& x) {
         const double a = 1.0 - x(1), b = x(2) - x(1) * x(1);
         return a * a + 100.0 * b * b;
       },
       {1.0, 1.0},
       0.0,
       1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto n = static_cast<int32_t>(c.start.size());
    Vec1<double> p(c.start.size()), lower(c.lower.size()), upper(c.upper.size());
    p.raw() = c.start;
    lower.raw() = c.lower;
    upper.raw() = c.upper;
    Mat1<double> xi = UnitDirections(n);
    Recorder rec{c.f, {}, {}};
    int32_t iter = 0;
    double fret = 0.0;
    bool notconverged = true;
    Powell(p, xi, n, 1e-10, iter, fret, std::ref(rec), lower, upper, &notconverged);
    EXPECT_FALSE(notconverged);
    EXPECT_GE(iter, 1);
    EXPECT_LT(iter, 200);
    for (int32_t j = 1; j <= n; ++j) {
      EXPECT_NEAR(p(j), c.expected[static_cast<std::size_t>(j - 1)], c.tolerance) << "j = " << j;
    }
    EXPECT_NEAR(fret, c.fmin, 1e-6);
    EXPECT_EQ(rec.WorstExcursion(lower, upper), 0.0);
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

TEST_F(NumericMinimiseTest, PowellNotConvergedFlagKeepsTheBestPoint) {
  DriftingBowl bowl;
  Recorder rec{std::ref(bowl), {}, {}};
  Vec1<double> p = Point({0.9, 0.1});
  const Vec1<double> lower = Point({0.0, 0.0});
  const Vec1<double> upper = Point({1.0, 1.0});
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
    if (rec.points[k] == p.raw() && rec.values[k] == fret) found = true;
  }
  EXPECT_TRUE(found);
  EXPECT_LT(fret, rec.values.front());
  EXPECT_EQ(rec.WorstExcursion(lower, upper), 0.0);
}

TEST_F(NumericMinimiseTest, PowellNonConvergenceStopsWithoutTheFlag) {
  variables.fname = "numtest";
  variables.displayq = 0;
  DriftingBowl bowl;
  Vec1<double> p = Point({0.9, 0.1});
  Mat1<double> xi = UnitDirections(2);
  int32_t iter = 0;
  double fret = 0.0;
  int32_t code = 0;
  const std::string message = ExpectStop(
      [&] {
        Powell(p, xi, 2, 1e-12, iter, fret, std::ref(bowl), Point({0.0, 0.0}), Point({1.0, 1.0}));
      },
      &code);
  EXPECT_EQ(
      message,
      "Program stopped in subroutine powell exceeding maximum iterations, dataset = numtest.\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(iter, 200);
}

}  // namespace
