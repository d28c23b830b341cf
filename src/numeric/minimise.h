// One- and multidimensional minimisation: Brent's method on a line, the line
// search LinMin (with its one-dimensional restriction F1Dim) inside a box of
// admissible parameter values, and Powell's direction-set method.
#pragma once

#include <cstdint>
#include <functional>

#include "state/arrays.h"

// A function of one real.
using LineFunction = std::function<double(double)>;

// A function of the parameter vector p(1..n).
using Objective = std::function<double(const Vec1<double>& p)>;

// Minimises f from the bracket ax, bx, cx (bx between the other two, which
// may come in either order) to a fractional precision tol in the abscissa,
// in at most 100 iterations. Returns the minimum found and its abscissa in
// xmin (the best point so far when the iterations run out).
double Brent(double ax, double bx, double cx, const LineFunction& f, double tol, double& xmin);

// The objective at pcom + t xicom (first n coordinates), each coordinate
// held within [lower(j), upper(j)].
double F1Dim(double t, const Vec1<double>& pcom, const Vec1<double>& xicom, int32_t n,
             const Objective& func, const Vec1<double>& lower, const Vec1<double>& upper);

// Minimises func along direction xi from point p, with the step restricted so
// that every coordinate whose direction component exceeds 1e-10 in absolute
// value stays within [lower(j), upper(j)] (the others are held within their
// bounds by F1Dim). The line minimum is found by Brent with a fractional
// tolerance of 1e-4; when it is above the value at p, p is kept. On return
// fret is the function at the new point p, and xi is the step taken (the
// direction scaled by the step length; zero when p is kept).
void LinMin(Vec1<double>& p, Vec1<double>& xi, int32_t n, double& fret, const Objective& func,
            const Vec1<double>& lower, const Vec1<double>& upper);

// Powell's direction-set method from point p(1..n) with the initial
// directions in the columns of xi (xi(j, i) = coordinate j of direction i),
// within the box [lower, upper] (p should start inside it). Converged when one iteration lowers the
// function by at most the fraction ftol (2 (fold - fnew) <= ftol (|fold| +
// |fnew|) + 1e-25). On return p is the minimum point, fret the function
// there, iter the number of iterations and xi the final direction set.
//
// At most 200 iterations. Without `notconverged` (nullptr), reaching them
// stops the program (StopOnError code 1, routine "powell exceeding maximum
// iterations"). With it, *notconverged tells whether that happened; if so, p
// and fret are the best point met and Powell returns normally.
void Powell(Vec1<double>& p, Mat1<double>& xi, int32_t n, double ftol, int32_t& iter, double& fret,
            const Objective& func, const Vec1<double>& lower, const Vec1<double>& upper,
            bool* notconverged = nullptr);
