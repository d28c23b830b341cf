// Working constants and tables that data preparation sets once the
// project file has been read.
#include "input/data_preparation.h"

#include <algorithm>
#include <cmath>

#include "numeric/sorting.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Walks two identifier lists in ascending order and calls link(i, k) for
// each pair of positions with equal identifiers.
template <class Link>
void MergeSorted(const Vec1<std::string>& a, int32_t na, const Vec1<std::string>& b, int32_t nb, Link link) {
  Vec1<int32_t> ia, ib;
  IndexCh(na, a, ia);
  IndexCh(nb, b, ib);
  int32_t i = 1, k = 1;
  while (i <= na && k <= nb) {
    const std::string& x = a(ia(i));
    const std::string& y = b(ib(k));
    if (x < y) {
      ++i;
    } else if (y < x) {
      ++k;
    } else {
      link(ia(i), ib(k));
      ++i;
      ++k;
    }
  }
}

}  // namespace

void LinkIdentities() {
  Variables& v = variables;
  const int32_t n = v.smplsize;
  v.offspringincnd.assign(static_cast<std::size_t>(std::max(n, 0)), 2, 0);
  for (int32_t sex = 1; sex <= 2; ++sex) {
    v.cndinoffspring(sex).assign(static_cast<std::size_t>(std::max(v.numchild(sex), 0)), 0);
    v.cndinothersex(sex).assign(static_cast<std::size_t>(std::max(v.numchild(sex), 0)), 0);
  }
  if (v.offspringid.size() < static_cast<std::size_t>(std::max(n, 0))) return;
  for (int32_t sex = 1; sex <= 2; ++sex) {
    if (v.numchild(sex) < 1 || v.cndparentid(sex).size() < static_cast<std::size_t>(v.numchild(sex))) continue;
    MergeSorted(v.offspringid, n, v.cndparentid(sex), v.numchild(sex), [&](int32_t i, int32_t k) {
      v.offspringincnd(i, sex) = k;
      v.cndinoffspring(sex)(k) = i;
    });
  }
  if (v.numchild(1) >= 1 && v.numchild(2) >= 1 &&
      v.cndparentid(1).size() >= static_cast<std::size_t>(v.numchild(1)) &&
      v.cndparentid(2).size() >= static_cast<std::size_t>(v.numchild(2))) {
    MergeSorted(v.cndparentid(1), v.numchild(1), v.cndparentid(2), v.numchild(2), [&](int32_t i, int32_t k) {
      v.cndinothersex(1)(i) = k;
      v.cndinothersex(2)(k) = i;
    });
  }
}

void Initialize() {
  Variables& v = variables;
  LikelihoodVar& lv = likelihoodvar;
  const int32_t p = v.likelihoodprecision;
  if (p <= 0) {
    lv.prec1 = lv.prec2 = 0.05;
    lv.prec3 = 0.005;
  } else {
    lv.prec1 = lv.prec2 = std::pow(0.1, 2 * p);
    lv.prec3 = 0.1 * lv.prec1;
  }
  v.sexid = v.numsex == 2 ? "*#" : "##";

  // Log-factorials up to twice the sample (the Ewens constant of one sex)
  // plus the candidates, so that no count the analyses meet runs past it.
  const std::size_t bound = 2 * static_cast<std::size_t>(std::max(v.smplsize, 0)) +
                            static_cast<std::size_t>(std::max(v.numchild(1), 0)) +
                            static_cast<std::size_t>(std::max(v.numchild(2), 0)) + 2;
  v.factorial.assign(bound + 1, 0.0);
  v.logk.assign(bound + 1, 0.0);
  for (std::size_t k = 1; k <= bound; ++k) {
    v.logk[k] = std::log(static_cast<double>(k));
    v.factorial[k] = v.factorial[k - 1] + v.logk[k];
  }

  for (int32_t sex = 1; sex <= 2; ++sex) {
    v.logpropprnt(sex) = 0.0;
    v.log1mpropprnt(sex) = 0.0;
    if (v.numchild(sex) < 1) continue;
    double q = v.propprntsampled(sex);
    if (!(q >= 1e-9)) q = 1e-9;  // also a value that is not a number
    q = std::min(q, 1.0 - 1e-9);
    v.logpropprnt(sex) = std::log(q);
    v.log1mpropprnt(sex) = std::log(1.0 - q);
  }

  LinkIdentities();

  // Checkpoint file names: the output name + ".MidResult" + digit 2..6.
  for (int k = 1; k <= 5; ++k) {
    v.midfilename(k) = v.fname + ".MidResult" + static_cast<char>('1' + k);
  }
}
