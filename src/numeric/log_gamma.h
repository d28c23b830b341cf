// Special functions.
#pragma once

// ln Gamma(x) for x > 0 (Lanczos series with six coefficients; absolute
// error below about 2e-10).
double gammln(double x);
