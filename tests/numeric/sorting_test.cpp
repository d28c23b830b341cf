// Index sorts and counting-index routines against std::stable_sort, the
// stack-overflow stop, and bisection against a linear search.
#include "numeric/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericSortTest = PedkinTest;

template <class T>
Vec1<T> ToVec1(const std::vector<T>& v) {
  Vec1<T> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out(static_cast<long>(i + 1)) = v[i];
  return out;
}

template <class T>
std::vector<int32_t> StableOrder(const std::vector<T>& v) {
  std::vector<int32_t> order(v.size());
  std::iota(order.begin(), order.end(), 1);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return v[static_cast<std::size_t>(a - 1)] < v[static_cast<std::size_t>(b - 1)];
  });
  return order;
}

// Equal keys may come in any order, except below seven keys: straight
// insertion never moves a key past an equal one, so the index is the stable one.
template <class T>
void ExpectSorts(const std::vector<T>& v, const Vec1<int32_t>& index) {
  if (v.size() < 7) {
    ASSERT_EQ(index.raw(), StableOrder(v));
    return;
  }
  std::vector<int32_t> positions = index.raw(), all(v.size());
  std::sort(positions.begin(), positions.end());
  std::iota(all.begin(), all.end(), 1);
  ASSERT_EQ(positions, all);
  std::vector<T> listed, sorted = v;
  for (int32_t p : index) listed.push_back(v[static_cast<std::size_t>(p - 1)]);
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(listed, sorted);
}

TEST_F(NumericSortTest, IndexSortsAgreeWithStdSort) {
  std::mt19937 rng(12345);
  for (int n : {0, 1, 2, 3, 5, 6, 7, 50, 10000, 1000000}) {
    for (int trial = 0; trial < (n < 7 ? 200 : 4); ++trial) {
      const int range = std::vector<int>{1, 4, 1000, 1 << 30}[static_cast<std::size_t>(trial % 4)];
      if (n == 1000000 && range != 1000) continue;
      SCOPED_TRACE(::testing::Message() << "n " << n << ", range " << range);
      std::uniform_int_distribution<int> key(0, range - 1);
      std::vector<double> reals(static_cast<std::size_t>(n));
      for (double& x : reals) x = key(rng) * 1e-3 - 1e5;
      Vec1<int32_t> index(3, 99);
      Indexx(n, ToVec1(reals), index);
      ExpectSorts(reals, index);
      if (n > 20000) continue;
      std::vector<std::string> texts(static_cast<std::size_t>(n));
      for (std::string& s : texts) s = std::to_string(key(rng) % 997).substr(0, 1 + key(rng) % 3);
      IndexCh(n, ToVec1(texts), index);
      ExpectSorts(texts, index);
    }
  }
  const std::vector<double> extremes = {1e300, -1e300, 0.0, -0.0, 1e-300, -1e-300, 7.0, 1e300, -1e300, 2.0};
  Vec1<int32_t> index;
  Indexx(10, ToVec1(extremes), index);
  ExpectSorts(extremes, index);
  const std::vector<std::string> texts = {"b", "B", "a1", "A1", "10", "", "\xc3\xa9t\xc3\xa9", "ete", "_"};
  IndexCh(9, ToVec1(texts), index);
  ExpectSorts(texts, index);
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
  EXPECT_EQ(ExpectStop([&] { sorting_detail::IndexxWithStack(100, ToVec1(reals), index, 2); }, &code),
            "Program stops due to NSTACK too small in subroutine Indexx\n"
            "Program stopped in subroutine StackError, dataset = numtest.\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(ExpectStop([&] { sorting_detail::IndexChWithStack(100, ToVec1(texts), index, 2); }),
            "Program stops due to NSTACK too small in subroutine IndexCh\n"
            "Program stopped in subroutine StackError, dataset = numtest.\n");
}

// IndexQuick scatters distinct keys within 1..smplsize and falls back on the
// counting sort for repeated or stray keys; both leave the work array clear.
TEST_F(NumericSortTest, CountingIndexesAreStable) {
  variables.smplsize = 10;
  std::mt19937 rng(5);
  std::vector<int32_t> all(10);
  std::iota(all.begin(), all.end(), 1);
  std::vector<std::vector<int32_t>> cases = {
      {3, 12, 1}, {3, 0, 1}, {2000000000, -2000000000, 5, 2000000000, 5}};
  for (int n : {0, 1, 2, 5, 9, 10}) {
    for (int rep = 0; rep < 20; ++rep) {
      std::shuffle(all.begin(), all.end(), rng);
      cases.emplace_back(all.begin(), all.begin() + n);
    }
  }
  for (const auto& [n, lo, hi] : std::vector<std::array<int32_t, 3>>{{200, -30, 3}, {1000, 1, 300}, {500, 10000, 10020},
                                                                     {100, 42, 42}}) {
    std::uniform_int_distribution<int32_t> key(lo, hi);
    cases.emplace_back(static_cast<std::size_t>(n));
    for (int32_t& k : cases.back()) k = key(rng);
  }
  const std::size_t workSize = variables.selectedprntidxq1.size();
  for (const std::vector<int32_t>& keys : cases) {
    SCOPED_TRACE(::testing::PrintToString(keys));
    for (auto* sort : {&IndexQuick, &IndexQuick2}) {
      Vec1<int32_t> index(5, 7);
      sort(static_cast<int32_t>(keys.size()), ToVec1(keys), index);
      EXPECT_EQ(index.raw(), StableOrder(keys));
      EXPECT_TRUE(std::all_of(variables.selectedprntidxq1.begin(), variables.selectedprntidxq1.end(),
                              [](int32_t x) { return x == 0; }));
    }
  }
  // Keys spread over billions are sorted without a work table of that size.
  EXPECT_LE(variables.selectedprntidxq1.size(), std::max<std::size_t>(workSize, 2000));
}

TEST_F(NumericSortTest, LocateAgreesWithALinearSearch) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> step(0, 2), size(0, 9);
  for (int rep = 0; rep < 3000; ++rep) {
    const int n = size(rng);
    std::vector<float> table(static_cast<std::size_t>(n));
    float s = 0.0f;
    for (float& t : table) t = (s += 0.5f * static_cast<float>(step(rng)));
    const float x = 0.25f * static_cast<float>(std::uniform_int_distribution<int>(-2, 4 * n + 2)(rng));
    // Largest j with table(j) <= x, but x equal to table(1) gives 1 and x
    // equal to table(n) gives n - 1.
    int32_t expected = 0;
    while (expected < n && table[static_cast<std::size_t>(expected)] <= x) ++expected;
    if (n > 0 && x == table.front()) expected = 1;
    else if (n > 0 && x == table.back()) expected = n - 1;
    ASSERT_EQ(Locate(ToVec1(table), n, x), expected) << ::testing::PrintToString(table) << " x " << x;
  }
}

}  // namespace
