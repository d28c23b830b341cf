// The temperature schedule of an annealing run.
#include "search/schedule.h"

#include <algorithm>
#include <cmath>

#include "numeric/rounding.h"
#include "pairwise/pairwise_inference.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

Schedule MakeSchedule(int32_t N, int32_t repeat) {
  const Variables& v = variables;
  Schedule s;
  s.N = std::max(N, 1);
  s.lnN = std::log(static_cast<double>(s.N));
  s.iterpertemp = NearestInt(s.N * (0.65 * s.lnN + 0.25) + 0.5);
  if (repeat < 5 && s.iterpertemp >= 41) s.iterpertemp /= 5;
  s.iterlimit = s.iterpertemp * static_cast<int64_t>(std::pow(5.0, v.lengthrun + 1));
  s.nsucclmt = NearestInt(0.5 * static_cast<double>(s.iterlimit));
  const bool pairwise = v.fulllikelihoodmethodq == 0;
  s.m = pairwise ? 10.0 : 1.0;
  s.target = pairwise ? 0.3 : 0.15;
  if (!v.knownsibship.empty()) {
    for (int32_t i = 1; i <= N; ++i) s.known += (v.knownsibship(i, 1) > 0) + (v.knownsibship(i, 2) > 0);
    s.known /= 2.0 * s.N;
  }
  if (s.known > 0) s.target *= std::exp(-(0.15 / s.target) * s.known);
  s.allmonogamous = v.allmonogamy == 1;
  return s;
}

int32_t QuietTemperaturesToEnd() { return 1 + std::max(variables.lengthrun, 1); }

double StartTemperature(double typicalpairscore) {
  double t = 0.0;
  if (ReadMidResult6(t)) return t;
  const double loci = std::max(1, likelihoodvar.numloci23);
  if (!(typicalpairscore > 0.0)) return loci;
  return std::clamp(0.1 * typicalpairscore, std::min(0.5, loci), loci);
}

Verdict EndOfTemperature(const Schedule& s, SearchCounters& c, double& T, int32_t tmr, int32_t clusters,
                         double crlogl, double btlogl) {
  const int64_t i = c.iters;
  const double r = static_cast<double>(c.nsucc) / static_cast<double>(std::max<int64_t>(i, 1));
  const double m = s.m;
  const double gref = 0.01;  // the reference gain of the special moves
  if (i > 100 * s.iterlimit) return Verdict::kEndTemperature;
  if (tmr == 1 && i > 1000 && r < s.target) {
    double x = r > 0 ? std::log(r / s.target) / std::log(0.92) : 10.0;
    if (m > 1.0) x *= 1.5;
    T /= std::pow(0.92, std::min(x, 10.0));
    return Verdict::kEndTemperature;
  }
  if (c.acceptedsince >= m * 100000 && r >= 0.15 && i > m * 10000 && c.improvements <= 4) {
    c.acceptedsince = 0;
    return Verdict::kEndTemperature;
  }
  if (i > 1000 && r >= 0.6) {
    T *= std::pow(0.92, std::floor(10 * r - 6));
    return Verdict::kEndTemperature;
  }
  if (i > 1000 && ((r >= 0.35 && clusters == 1) || r > (1.1 - s.known) * (s.allmonogamous ? 0.2 : 0.4))) {
    return Verdict::kEndTemperature;
  }
  if (i > 10000 && r <= 0.001 && tmr > 5 &&
      ((c.tempimprovements > 2 && c.largestgain <= gref) ||
       (i > 9000000.0 * s.lnN && (r <= 0.0001 || (c.nsucc == 0 && std::fabs(crlogl - btlogl) < 0.01))))) {
    return Verdict::kEndSearch;
  }
  if (i > s.N * s.lnN + 10000 && r <= 1e-8) {
    if ((c.nsucc == 0 || r < 0.000001) && c.runiterates > 500 * s.iterlimit) return Verdict::kEndSearch;
    return Verdict::kEndTemperature;
  }
  if (r < 0.1 && c.tempimprovements > 9 && c.largestgain <= 2.0) {
    c.tempimprovements = 0;
    c.largestgain = 0.0;
    return Verdict::kEndTemperature;
  }
  if (tmr >= 2 && (c.improvements == 0 || c.nsucc > m * 100000 * c.improvements) &&
      ((r >= 0.6 && i >= NearestInt(m * 1000 * std::exp(6 * (1 - r)))) ||
       (r >= 0.3 && r < 0.6 && c.nsucc >= m * std::max<int64_t>(10000, s.nsucclmt / 100) &&
        c.nfail1 > m * i - c.nsucc * std::exp(8 * r) * 0.000001) ||
       (r >= 0.1 && r < 0.3 && i > m * 100000 * std::exp(-r)))) {
    return Verdict::kEndTemperature;
  }
  if (c.nsucc >= s.nsucclmt) return Verdict::kEndTemperature;
  if ((c.nfail1 == c.nfail2 ? 2 : 1) * c.nfail1 >= 8 * s.iterlimit) return Verdict::kEndTemperature;
  // A temperature at which the best has not improved for a while has
  // nothing more to give: the climb that follows checks the neighbourhood
  // of the configuration systematically instead.
  if (tmr > 1 && c.tempimprovements == 0 && c.nfail1 >= s.iterlimit) return Verdict::kEndTemperature;
  // From a guided start the search only polishes: improvements of the best
  // below the reference gain (an equally good parent drawn, say) do not
  // keep a temperature going; the climb that follows the temperature
  // checks the neighbourhood systematically.
  if (s.guided && c.nfail2 >= 2 * s.iterlimit) return Verdict::kEndTemperature;
  if (c.nfail2 >= 40 * s.iterlimit &&
      ((i > 9999 && 0.01 * std::exp(-6.0 * 40 * s.iterlimit / static_cast<double>(c.nfail2)) > r) ||
       c.nfail2 >= 200 * s.iterlimit)) {
    return Verdict::kEndSearch;
  }
  return Verdict::kGoOn;
}
