// Index sorts, counting-index routines of the search and bisection in an
// ordered table. Tables and indexes are numbered from 1.
#pragma once

#include <cstdint>
#include <string>

#include "state/arrays.h"

// index(1..n) = positions of a(1..n) in ascending order (equal keys in no
// particular order; n < 2 gives the identity). Stops through StackError
// should the sorting stack overflow.
void Indexx(int32_t n, const Vec1<double>& a, Vec1<int32_t>& index);

// index(1..n) = positions of texts(1..n) in ascending byte order, as Indexx.
void IndexCh(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index);

// Index of n distinct keys in 1..smplsize, in ascending key order, through
// the work array selectedprntidxq1 (zero before and after). Keys repeated or
// outside that range are sorted as by IndexQuick2.
void IndexQuick(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index);

// Stable index of n integer keys (counting sort over the key range, through
// the work array selectedprntidxq1, zero before and after).
void IndexQuick2(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index);

// j with table(j) <= x < table(j + 1) in an ascending table of n entries:
// 0 below table(1), n above table(n); x equal to table(1) gives 1 and x
// equal to table(n) gives n - 1. An empty table (n <= 0) gives 0.
int32_t Locate(const Vec1<float>& table, int32_t n, float x);

namespace sorting_detail {

// Size of the explicit stack of Indexx and IndexCh (entries, two per
// deferred piece).
inline constexpr int32_t kNStack = 50;

// Indexx and IndexCh with a stack of `nstack` entries instead of kNStack.
// Only the tests use these, to reach the stack-overflow stop, which needs
// hundreds of millions of elements with the full stack.
void IndexxWithStack(int32_t n, const Vec1<double>& a, Vec1<int32_t>& index, int32_t nstack);
void IndexChWithStack(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index,
                      int32_t nstack);

}  // namespace sorting_detail
