// Index sorts, counting-index routines and bisection.
#include "numeric/sorting.h"

#include <algorithm>
#include <numeric>

void IndexCh(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index) {
  index.assign(static_cast<std::size_t>(std::max(n, 0)));
  std::iota(index.begin(), index.end(), 1);
  std::stable_sort(index.begin(), index.end(),
                   [&](int32_t a, int32_t b) { return texts(a) < texts(b); });
}
