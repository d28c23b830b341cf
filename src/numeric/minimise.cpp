// Minimisation: Brent, F1Dim, LinMin (bounded line search) and Powell.
#include "numeric/minimise.h"

#include <algorithm>
#include <cmath>

#include "runctl/error_stop.h"

namespace {

double SignOf(double magnitude, double sign) {
  return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Tolerance of the line search in the step length (fractional).
constexpr double kLinMinTol = 1.0e-4;

// Step range that the line search starts from, before the box narrows it.
constexpr double kStepLimit = 1.0e100;

// Direction components at or below this magnitude do not restrict the step.
constexpr double kTinyComponent = 1.0e-10;

// x moved into [lo, hi]. Coordinates whose direction component is too small
// to restrict the step may still stray from the box over a long step.
double IntoBox(double x, double lo, double hi) {
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}

bool InsideBox(const Vec1<double>& p, int32_t n, const Vec1<double>& lower,
               const Vec1<double>& upper) {
  for (int32_t j = 1; j <= n; ++j) {
    if (p(j) < lower(j) || p(j) > upper(j)) return false;
  }
  return true;
}

}  // namespace

double Brent(double ax, double bx, double cx, const LineFunction& f, double tol, double& xmin) {
  constexpr int kItMax = 100;
  constexpr double kCGold = 0.381966;
  constexpr double kZEps = 1.0e-10;
  double a = std::min(ax, cx);
  double b = std::max(ax, cx);
  double v = bx, w = bx, x = bx;
  double d = 0.0, e = 0.0;
  double fx = f(x);
  double fv = fx, fw = fx;
  for (int iter = 1; iter <= kItMax; ++iter) {
    const double xm = 0.5 * (a + b);
    const double tol1 = tol * std::fabs(x) + kZEps;
    const double tol2 = 2.0 * tol1;
    if (std::fabs(x - xm) <= tol2 - 0.5 * (b - a)) break;
    bool golden = true;
    if (std::fabs(e) > tol1) {
      // Trial parabolic fit through x, v and w.
      double r = (x - w) * (fx - fv);
      double q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2.0 * (q - r);
      if (q > 0.0) p = -p;
      q = std::fabs(q);
      const double etemp = e;
      e = d;
      // The parabolic step is taken only when it falls within (a, b) and
      // moves less than half the step before last.
      if (!(std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (a - x) || p >= q * (b - x))) {
        d = p / q;
        const double u = x + d;
        if (u - a < tol2 || b - u < tol2) d = SignOf(tol1, xm - x);
        golden = false;
      }
    }
    if (golden) {
      e = (x >= xm) ? a - x : b - x;
      d = kCGold * e;
    }
    const double u = (std::fabs(d) >= tol1) ? x + d : x + SignOf(tol1, d);
    const double fu = f(u);
    if (fu <= fx) {
      if (u >= x) {
        a = x;
      } else {
        b = x;
      }
      v = w;
      fv = fw;
      w = x;
      fw = fx;
      x = u;
      fx = fu;
    } else {
      if (u < x) {
        a = u;
      } else {
        b = u;
      }
      if (fu <= fw || w == x) {
        v = w;
        fv = fw;
        w = u;
        fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u;
        fv = fu;
      }
    }
  }
  xmin = x;
  return fx;
}

double F1Dim(double t, const Vec1<double>& pcom, const Vec1<double>& xicom, int32_t n,
             const Objective& func, const Vec1<double>& lower, const Vec1<double>& upper) {
  Vec1<double> xt(static_cast<std::size_t>(std::max(n, 0)));
  for (int32_t j = 1; j <= n; ++j) xt(j) = IntoBox(pcom(j) + t * xicom(j), lower(j), upper(j));
  return func(xt);
}

void LinMin(Vec1<double>& p, Vec1<double>& xi, int32_t n, double& fret, const Objective& func,
            const Vec1<double>& lower, const Vec1<double>& upper) {
  const Vec1<double> pcom = p;
  const Vec1<double> xicom = xi;
  const auto along = [&](double t) { return F1Dim(t, pcom, xicom, n, func, lower, upper); };
  // Steps t that keep p + t xi within the box, coordinate by coordinate.
  // Components too small to matter do not restrict the step (a direction
  // almost parallel to a bound would otherwise be blocked by it).
  double tmin = -kStepLimit;
  double tmax = kStepLimit;
  bool anyComponent = false;
  for (int32_t j = 1; j <= n; ++j) {
    const double c = xicom(j);
    if (!(std::fabs(c) > kTinyComponent)) continue;
    anyComponent = true;
    double t1 = (lower(j) - pcom(j)) / c;
    double t2 = (upper(j) - pcom(j)) / c;
    if (c < 0.0) std::swap(t1, t2);
    if (t1 > tmin) tmin = t1;
    if (t2 < tmax) tmax = t2;
  }
  // The box bracket is no bracket of a minimum in the usual sense: Brent
  // finds a local minimum on it, which may lie above the starting point. The
  // start is kept then, so that a line search never goes uphill (an uphill
  // step would make Powell take it for convergence).
  const double fstart = along(0.0);
  double xmin = 0.0;
  fret = fstart;
  if (anyComponent) {
    const double start = (tmin <= 1.0 && 1.0 <= tmax) ? 1.0 : 0.5 * (tmin + tmax);
    double tbest = 0.0;
    const double fbest = Brent(tmin, start, tmax, along, kLinMinTol, tbest);
    if (fbest <= fstart) {
      xmin = tbest;
      fret = fbest;
    }
  }
  // xi becomes the step taken, p the new point (the one evaluated by F1Dim).
  for (int32_t j = 1; j <= n; ++j) {
    const double moved = IntoBox(pcom(j) + xmin * xicom(j), lower(j), upper(j));
    xi(j) = moved - pcom(j);
    p(j) = moved;
  }
}

void Powell(Vec1<double>& p, Mat1<double>& xi, int32_t n, double ftol, int32_t& iter, double& fret,
            const Objective& func, const Vec1<double>& lower, const Vec1<double>& upper,
            bool* notconverged) {
  constexpr int32_t kItMax = 200;
  constexpr double kTiny = 1.0e-25;
  const std::size_t size = static_cast<std::size_t>(std::max(n, 0));
  if (notconverged != nullptr) *notconverged = false;
  Vec1<double> pt(size), ptt(size), xit(size);
  fret = func(p);
  for (int32_t j = 1; j <= n; ++j) pt(j) = p(j);
  for (iter = 1;; ++iter) {
    const double fp = fret;
    int32_t ibig = 0;
    double del = 0.0;
    // Minimise along every direction of the set, noting the largest decrease.
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t j = 1; j <= n; ++j) xit(j) = xi(j, i);
      const double fptt = fret;
      LinMin(p, xit, n, fret, func, lower, upper);
      if (fptt - fret > del) {
        del = fptt - fret;
        ibig = i;
      }
    }
    if (2.0 * (fp - fret) <= ftol * (std::fabs(fp) + std::fabs(fret)) + kTiny) return;
    if (iter == kItMax) {
      if (notconverged == nullptr) StopOnError(1, "powell exceeding maximum iterations");
      // Line searches never go uphill, so p is the best point met.
      *notconverged = true;
      return;
    }
    // Extrapolated point and the average direction of this iteration.
    for (int32_t j = 1; j <= n; ++j) {
      ptt(j) = 2.0 * p(j) - pt(j);
      xit(j) = p(j) - pt(j);
      pt(j) = p(j);
    }
    // Nothing to do when no direction gave a decrease (possible only with a
    // NaN objective or a negative ftol). The extrapolated point may leave the
    // box, where the objective need not be defined: it then counts as no
    // improvement.
    if (ibig == 0 || !InsideBox(ptt, n, lower, upper)) continue;
    const double fptt = func(ptt);
    if (fptt >= fp) continue;
    const double t = 2.0 * (fp - 2.0 * fret + fptt) * (fp - fret - del) * (fp - fret - del) -
                     del * (fp - fptt) * (fp - fptt);
    if (t >= 0.0) continue;
    // Replace the direction of largest decrease by the average direction,
    // unless the search along it did not move (a zero direction would make
    // the set degenerate).
    LinMin(p, xit, n, fret, func, lower, upper);
    bool moved = false;
    for (int32_t j = 1; j <= n; ++j) moved = moved || xit(j) != 0.0;
    if (!moved) continue;
    for (int32_t j = 1; j <= n; ++j) {
      xi(j, ibig) = xi(j, n);
      xi(j, n) = xit(j);
    }
  }
}
