// The acceptance rule of every change the search proposes.
#include "search/metropolis.h"

#include <algorithm>
#include <cmath>

#include "numeric/random.h"

AcceptanceDraw DrawAcceptance(double lowerbound) {
  AcceptanceDraw d;
  d.u = lowerbound + (1.0 - lowerbound) * static_cast<double>(ran1());
  d.tie = static_cast<double>(ran1());
  return d;
}

double AcceptanceThreshold(double old, double priorloss, const AcceptanceDraw& draw, double T, double scale) {
  return old + priorloss + std::log(std::max(draw.u, 1e-300)) * T * scale;
}

bool Accepted(double fresh, double old, double threshold, const AcceptanceDraw& draw, double rate) {
  if (!(fresh > threshold) || fresh <= -1e300) return false;
  if (std::fabs(fresh - old) < kSameLogL) return draw.tie <= rate;
  return true;
}
