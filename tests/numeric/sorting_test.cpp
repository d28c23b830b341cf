// Index sorts against std::stable_sort (up to a million keys, which the
// full stack must take), the counting-index routines and their work array,
// the stack-overflow stop and its message, and bisection in a table against
// a linear search.
#include "numeric/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericSortTest = PedkinTest;
using NumericLocateTest = PedkinTest;

template <class T>
Vec1<T> ToVec1(const std::vector<T>& v) {
  Vec1<T> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out(static_cast<long>(i + 1)) = v[i];
  return out;
}

// Positions 1..n of v in stable ascending order.
template <class T>
std::vector<int32_t> StableOrder(const std::vector<T>& v) {
  std::vector<int32_t> order(v.size());
  std::iota(order.begin(), order.end(), 1);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return v[static_cast<std::size_t>(a - 1)] < v[static_cast<std::size_t>(b - 1)];
  });
  return order;
}

// Checks that index is a permutation of 1..n that lists v in ascending
// order (equal keys in any order).
template <class T>
void ExpectSortsValues(const std::vector<T>& v, const Vec1<int32_t>& index) {
  std::vector<int32_t> positions = index.raw(), all(v.size());
  std::sort(positions.begin(), positions.end());
  std::iota(all.begin(), all.end(), 1);
  ASSERT_EQ(positions, all);
  std::vector<T> listed, sorted = v;
  for (int32_t p : index) listed.push_back(v[static_cast<std::size_t>(p - 1)]);
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(listed, sorted);
}

TEST_F(NumericSortTest, IndexxOrdersLikeStableSort) {
  std::mt19937 rng(12345);
  auto randomReals = [&](int n, double lo, double hi, bool integral) {
    std::uniform_real_distribution<double> real(lo, hi);
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) x = integral ? std::floor(real(rng)) : real(rng);
    return v;
  };
  std::vector<double> ascending(10000), descending(10000), pipe(10001);
  std::iota(ascending.begin(), ascending.end(), -5000.0);
  for (std::size_t i = 0; i < descending.size(); ++i) descending[i] = 1e4 - static_cast<double>(i);
  for (std::size_t i = 0; i < pipe.size(); ++i) pipe[i] = std::min(i, pipe.size() - 1 - i);
  const std::vector<std::pair<const char*, std::vector<double>>> cases = {
      {"seven", randomReals(7, -1000.0, 1000.0, false)},
      {"fifty", randomReals(50, -1000.0, 1000.0, false)},
      {"large", randomReals(200000, -1000.0, 1000.0, false)},
      {"many ties", randomReals(100000, 0.0, 3.0, true)},
      {"million, ties", randomReals(1000000, 0.0, 1001.0, true)},
      {"all equal", std::vector<double>(10000, 4.25)},
      {"ascending", ascending},
      {"descending", descending},
      {"organ pipe", pipe},
      {"extremes", {1e300, -1e300, 0.0, -0.0, 1e-300, -1e-300, 7.0, 1e300, -1e300, 2.0, 5.0}},
  };
  for (const auto& [name, values] : cases) {
    SCOPED_TRACE(name);
    Vec1<int32_t> index(3, 99);  // resized by the routine
    Indexx(static_cast<int32_t>(values.size()), ToVec1(values), index);
    ExpectSortsValues(values, index);
  }
}

// Pieces of fewer than seven elements are sorted by straight insertion,
// which never moves an element past an equal one: for n <= 6 the index is
// exactly the stable one. Only the first n keys count, and n below 2 gives
// the identity.
TEST_F(NumericSortTest, IndexxOnShortInputIsStable) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> key(0, 3);
  for (int n = 0; n <= 6; ++n) {
    for (int rep = 0; rep < 200; ++rep) {
      std::vector<double> v(static_cast<std::size_t>(n));
      for (double& x : v) x = key(rng);
      Vec1<int32_t> index;
      Indexx(n, ToVec1(v), index);
      ASSERT_EQ(index.raw(), StableOrder(v)) << "n = " << n;
    }
  }
  const Vec1<double> a = ToVec1(std::vector<double>{9.0, 1.0, 5.0, -3.0, 0.0});
  Vec1<int32_t> index;
  Indexx(3, a, index);
  EXPECT_EQ(index.raw(), (std::vector<int32_t>{2, 3, 1}));
  Indexx(-4, a, index);
  EXPECT_TRUE(index.empty());
}

TEST_F(NumericSortTest, IndexChOrdersLikeStableSort) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> len(0, 4), letter(0, 2);
  auto shortTexts = [&](int n) {
    std::vector<std::string> v(static_cast<std::size_t>(n));
    for (std::string& s : v) {
      const int l = len(rng);
      for (int k = 0; k < l; ++k) s += static_cast<char>('a' + letter(rng));
    }
    return v;
  };
  struct Case {
    const char* name;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"one", {"x"}},
      {"six with prefixes and ties", {"ab", "a", "abc", "ab", "", "B"}},
      {"case and digits", {"b", "B", "a1", "A1", "10", "9", "z", "Z", "_"}},
      {"bytes above 127", {"\xc3\xa9t\xc3\xa9", "ete", "\xc3\xa9", "e", "f"}},
      {"many short", shortTexts(20000)},
      {"all equal", std::vector<std::string>(5000, "Mum01")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec1<int32_t> index;
    IndexCh(static_cast<int32_t>(c.texts.size()), ToVec1(c.texts), index);
    ExpectSortsValues(c.texts, index);
  }
}

TEST_F(NumericSortTest, StackOverflowStopsWithTheRoutineName) {
  variables.fname = "numtest";
  variables.displayq = 0;
  // Sorted input splits evenly; each split of a piece of 7 or more defers
  // one piece, so a two-entry stack overflows at the second split.
  std::vector<double> reals(100);
  std::iota(reals.begin(), reals.end(), 0.0);
  std::vector<std::string> texts(100);
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = "T" + std::to_string(1000 + i);
  Vec1<int32_t> index;
  int32_t code = 0;
  EXPECT_EQ(
      ExpectStop([&] { sorting_detail::IndexxWithStack(100, ToVec1(reals), index, 2); }, &code),
      "Program stops due to NSTACK too small in subroutine Indexx\n"
      "Program stopped in subroutine StackError, dataset = numtest.\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(ExpectStop([&] { sorting_detail::IndexChWithStack(100, ToVec1(texts), index, 2); }),
            "Program stops due to NSTACK too small in subroutine IndexCh\n"
            "Program stopped in subroutine StackError, dataset = numtest.\n");
  // One deferred piece fits in two entries when there is only one split.
  sorting_detail::IndexxWithStack(8, ToVec1(std::vector<double>(reals.begin(), reals.begin() + 8)),
                                  index, 2);
  EXPECT_EQ(index.raw(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

bool WorkArrayClear() {
  return std::all_of(variables.selectedprntidxq1.begin(), variables.selectedprntidxq1.end(),
                     [](int32_t x) { return x == 0; });
}

// Distinct keys within 1..smplsize (fewer than smplsize, or a permutation)
// go through the scatter; repeated or stray keys fall back on the counting
// sort. Either way the index is the stable one and the work array is left
// clear.
TEST_F(NumericSortTest, IndexQuickListsPositionsInKeyOrder) {
  variables.smplsize = 10;
  std::mt19937 rng(5);
  std::vector<int32_t> all(10);
  std::iota(all.begin(), all.end(), 1);
  std::vector<std::vector<int32_t>> cases = {
      {4, 2, 4, 9},                          // repeated key
      {3, 12, 1},                            // key above smplsize
      {3, 0, 1},                             // key zero
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 9},        // n = smplsize, not a permutation
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 11},       // n = smplsize, key out of range
      {5, 5, 5, 5, 5, 1, 1, 1, 1, 1, 2, 2},  // more keys than smplsize
  };
  for (int n : {0, 1, 2, 5, 9, 10}) {
    for (int rep = 0; rep < 20; ++rep) {
      std::shuffle(all.begin(), all.end(), rng);
      cases.emplace_back(all.begin(), all.begin() + n);
    }
  }
  for (const std::vector<int32_t>& keys : cases) {
    SCOPED_TRACE(::testing::PrintToString(keys));
    Vec1<int32_t> index(5, 7);
    IndexQuick(static_cast<int32_t>(keys.size()), ToVec1(keys), index);
    EXPECT_EQ(index.raw(), StableOrder(keys));
    EXPECT_TRUE(WorkArrayClear());
  }
}

TEST_F(NumericSortTest, IndexQuick2IsAStableCountingSort) {
  std::mt19937 rng(11);
  struct Case {
    const char* name;
    int n, lo, hi;
  };
  const Case cases[] = {
      {"empty", 0, 1, 1},
      {"single", 1, 7, 7},
      {"small range", 200, 1, 5},
      {"wider range", 1000, 1, 300},
      {"keys far from 1", 500, 10000, 10020},
      {"zero and negative keys", 500, -30, 3},
      {"one key repeated", 100, 42, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uniform_int_distribution<int32_t> key(c.lo, c.hi);
    std::vector<int32_t> keys(static_cast<std::size_t>(c.n));
    for (int32_t& k : keys) k = key(rng);
    Vec1<int32_t> index;
    IndexQuick2(c.n, ToVec1(keys), index);
    EXPECT_EQ(index.raw(), StableOrder(keys));
    EXPECT_TRUE(WorkArrayClear());
  }
  // Keys spread over billions are sorted without a table of that size.
  const std::size_t workSize = variables.selectedprntidxq1.size();
  const std::vector<int32_t> spread = {2000000000, -2000000000, 5, 2000000000, 5};
  Vec1<int32_t> index;
  IndexQuick2(5, ToVec1(spread), index);
  EXPECT_EQ(index.raw(), StableOrder(spread));
  EXPECT_EQ(variables.selectedprntidxq1.size(), workSize);
}

TEST_F(NumericLocateTest, EdgeCases) {
  struct Case {
    std::vector<float> table;
    int32_t n;
    float x;
    int32_t expected;
  };
  const std::vector<float> t = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f};
  const std::vector<float> dup = {1.0f, 2.0f, 2.0f, 2.0f, 3.0f};
  const std::vector<Case> cases = {
      {t, 5, 0.5f, 0},      {t, 5, 1.0f, 1},      {t, 5, 1.5f, 1},      {t, 5, 2.0f, 2},
      {t, 5, 3.99f, 2},     {t, 5, 4.0f, 3},      {t, 5, 15.9f, 4},     {t, 5, 16.0f, 4},
      {t, 5, 16.5f, 5},     {t, 3, 4.0f, 2},      {t, 3, 5.0f, 3},      {t, 2, 2.0f, 1},
      {dup, 5, 2.0f, 4},    {dup, 5, 2.5f, 4},    {dup, 5, 3.0f, 4},    {dup, 5, 1.0f, 1},
      {{5.0f}, 1, 5.0f, 1}, {{5.0f}, 1, 4.0f, 0}, {{5.0f}, 1, 6.0f, 1}, {{}, 0, 1.0f, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Locate(ToVec1(c.table), c.n, c.x), c.expected) << "n = " << c.n << ", x = " << c.x;
  }
}

TEST_F(NumericLocateTest, CumulativeTableAgainstLinearSearch) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> cum(100);
  float s = 0.0f;
  for (float& c : cum) c = (s += u(rng));
  const Vec1<float> table = ToVec1(cum);
  std::uniform_real_distribution<float> x(-1.0f, s + 1.0f);
  for (int rep = 0; rep < 10000; ++rep) {
    const float v = rep % 10 == 0 ? cum[static_cast<std::size_t>(rep / 10 % 99) + 1] : x(rng);
    // Largest j with table(j) <= v, except the last entry counts as n - 1.
    int32_t expected = 0;
    while (expected < 100 && cum[static_cast<std::size_t>(expected)] <= v) ++expected;
    if (v == cum.back()) expected = 99;
    ASSERT_EQ(Locate(table, 100, v), expected) << "x = " << v;
  }
}

}  // namespace
