// Index sorts (Indexx, IndexCh), the counting-index routines of the search
// (IndexQuick, IndexQuick2) and bisection in an ordered table (Locate).
#include "numeric/sorting.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

#include "runctl/error_stop.h"
#include "state/variables.h"

namespace {

// Pieces with fewer elements than this are finished by straight insertion.
constexpr int32_t kInsertionBelow = 7;

// Quicksort of an index with median-of-three partitioning. The larger piece
// of each partition is deferred on an explicit stack and the smaller one is
// sorted at once, so the stack holds at most log2(n) pieces. `less(p, q)`
// compares the keys at positions p and q of the table being sorted.
template <class Less>
void IndexSort(int32_t n, Vec1<int32_t>& index, const Less& less, int32_t nstack,
               const char* routine) {
  index.assign(static_cast<std::size_t>(std::max(n, 0)));
  for (int32_t j = 1; j <= n; ++j) index(j) = j;
  if (n < 2) return;
  std::vector<int32_t> istack(static_cast<std::size_t>(std::max(nstack, 0)) + 1);
  int32_t jstack = 0;
  int32_t l = 1;
  int32_t ir = n;
  for (;;) {
    if (ir - l + 1 < kInsertionBelow) {
      for (int32_t j = l + 1; j <= ir; ++j) {
        const int32_t indxt = index(j);
        int32_t i = j - 1;
        for (; i >= l; --i) {
          if (!less(indxt, index(i))) break;
          index(i + 1) = index(i);
        }
        index(i + 1) = indxt;
      }
      if (jstack == 0) return;
      ir = istack[static_cast<std::size_t>(jstack)];
      l = istack[static_cast<std::size_t>(jstack - 1)];
      jstack -= 2;
    } else {
      const int32_t k = l + (ir - l) / 2;
      std::swap(index(k), index(l + 1));
      // Order the keys at l, l + 1 and ir; the middle one is the pivot and
      // the outer two are sentinels for the scans below.
      if (less(index(ir), index(l))) std::swap(index(l), index(ir));
      if (less(index(ir), index(l + 1))) std::swap(index(l + 1), index(ir));
      if (less(index(l + 1), index(l))) std::swap(index(l), index(l + 1));
      int32_t i = l + 1;
      int32_t j = ir;
      const int32_t indxt = index(l + 1);
      for (;;) {
        // The bounds never bind for ordered keys (the sentinels stop the
        // scans); they keep a key such as NaN, which compares false with
        // everything, from sending a scan out of the piece.
        do ++i;
        while (i < ir && less(index(i), indxt));
        do --j;
        while (j > l && less(indxt, index(j)));
        if (j < i) break;
        std::swap(index(i), index(j));
      }
      index(l + 1) = index(j);
      index(j) = indxt;
      jstack += 2;
      if (jstack > nstack) StackError(routine);
      if (ir - i + 1 >= j - l) {
        istack[static_cast<std::size_t>(jstack)] = ir;
        istack[static_cast<std::size_t>(jstack - 1)] = i;
        ir = j - 1;
      } else {
        istack[static_cast<std::size_t>(jstack)] = j - 1;
        istack[static_cast<std::size_t>(jstack - 1)] = l;
        l = i;
      }
    }
  }
}

// The work array of the counting-index routines, grown when shorter than
// `size` entries (new entries are zero).
Vec1<int32_t>& WorkArray(std::size_t size) {
  Vec1<int32_t>& work = variables.selectedprntidxq1;
  if (work.size() < size) work.resize(size, 0);
  return work;
}

}  // namespace

namespace sorting_detail {

void IndexxWithStack(int32_t n, const Vec1<double>& a, Vec1<int32_t>& index, int32_t nstack) {
  assert(n <= 0 || a.size() >= static_cast<std::size_t>(n));
  IndexSort(
      n, index, [&a](int32_t p, int32_t q) { return a(p) < a(q); }, nstack, "Indexx");
}

void IndexChWithStack(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index,
                      int32_t nstack) {
  assert(n <= 0 || texts.size() >= static_cast<std::size_t>(n));
  IndexSort(
      n, index, [&texts](int32_t p, int32_t q) { return texts(p) < texts(q); }, nstack, "IndexCh");
}

}  // namespace sorting_detail

void Indexx(int32_t n, const Vec1<double>& a, Vec1<int32_t>& index) {
  sorting_detail::IndexxWithStack(n, a, index, sorting_detail::kNStack);
}

void IndexCh(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index) {
  sorting_detail::IndexChWithStack(n, texts, index, sorting_detail::kNStack);
}

void IndexQuick2(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index) {
  const int32_t count = std::max(n, 0);
  index.assign(static_cast<std::size_t>(count));
  if (count == 0) return;
  int32_t kmin = keys(1), kmax = keys(1);
  for (int32_t i = 2; i <= count; ++i) {
    kmin = std::min(kmin, keys(i));
    kmax = std::max(kmax, keys(i));
  }
  // The work array is indexed by key - kmin + 1, which is the key itself for
  // the usual keys counted from 1, and lets any integer keys be sorted.
  const int64_t offset = static_cast<int64_t>(kmin) - 1;
  const auto slot = [offset](int32_t key) { return static_cast<long>(key - offset); };
  const int64_t range = static_cast<int64_t>(kmax) - offset;
  if (range > std::max<int64_t>(int64_t{1} << 24, 16 * int64_t{count})) {
    // Keys spread so widely that counting over their range would cost far
    // more memory and time than sorting them.
    for (int32_t i = 1; i <= count; ++i) index(i) = i;
    std::stable_sort(index.begin(), index.end(),
                     [&keys](int32_t p, int32_t q) { return keys(p) < keys(q); });
    return;
  }
  Vec1<int32_t>& work = WorkArray(static_cast<std::size_t>(range));

  // Counts of each key, noting each distinct key once.
  std::vector<int32_t> distinct;
  for (int32_t i = 1; i <= count; ++i) {
    int32_t& c = work(slot(keys(i)));
    if (c == 0) distinct.push_back(keys(i));
    ++c;
  }
  // Counts become the first position of each key in the index; keys that
  // do not occur keep their zero entry.
  int32_t start = 1;
  for (int64_t k = kmin; k <= kmax; ++k) {
    int32_t& c = work(static_cast<long>(k - offset));
    if (c != 0) {
      const int32_t next = start + c;
      c = start;
      start = next;
    }
  }
  // Placing positions in input order keeps equal keys in input order.
  for (int32_t i = 1; i <= count; ++i) {
    int32_t& at = work(slot(keys(i)));
    index(at) = i;
    ++at;
  }
  for (int32_t key : distinct) work(slot(key)) = 0;
}

void IndexQuick(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index) {
  const int32_t count = std::max(n, 0);
  const int32_t size = variables.smplsize;
  index.assign(static_cast<std::size_t>(count), 0);
  if (count == 0) return;
  if (count == size) {
    // The keys are a permutation of 1..smplsize.
    bool permutation = true;
    for (int32_t i = 1; i <= count && permutation; ++i) {
      const int32_t key = keys(i);
      if (key < 1 || key > count || index(key) != 0) {
        permutation = false;
      } else {
        index(key) = i;
      }
    }
    if (permutation) return;
  } else if (count < size) {
    Vec1<int32_t>& work = WorkArray(static_cast<std::size_t>(size));
    // Scatter each position to its key, then gather in key order.
    bool distinctInRange = true;
    int32_t placed = 0;
    for (int32_t i = 1; i <= count; ++i) {
      const int32_t key = keys(i);
      if (key < 1 || key > size || work(key) != 0) {
        distinctInRange = false;
        break;
      }
      work(key) = i;
      placed = i;
    }
    if (distinctInRange) {
      int32_t got = 0;
      for (int32_t k = 1; k <= size && got < count; ++k) {
        if (work(k) != 0) {
          index(++got) = work(k);
          work(k) = 0;
        }
      }
      return;
    }
    for (int32_t i = 1; i <= placed; ++i) work(keys(i)) = 0;
  }
  // Keys repeated or outside 1..smplsize cannot go through the scatter
  // (positions would be lost and the work array left dirty); the stable
  // counting sort gives the same index for valid keys and a sound one here.
  IndexQuick2(n, keys, index);
}

int32_t Locate(const Vec1<float>& table, int32_t n, float x) {
  if (n <= 0) return 0;
  int64_t jl = 0;
  int64_t ju = static_cast<int64_t>(n) + 1;
  while (ju - jl > 1) {
    const int64_t jm = (ju + jl) / 2;
    if (x >= table(static_cast<long>(jm))) {
      jl = jm;
    } else {
      ju = jm;
    }
  }
  if (x == table(1)) return 1;
  if (x == table(n)) return n - 1;
  return static_cast<int32_t>(jl);
}
