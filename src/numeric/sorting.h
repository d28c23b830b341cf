// Index sorts, counting-index routines of the search and bisection in an
// ordered table. Tables and indexes are numbered from 1.
#pragma once

#include <cstdint>
#include <string>

#include "state/arrays.h"

// index(1..n) = positions of a(1..n) in ascending order.
void Indexx(int32_t n, const Vec1<double>& a, Vec1<int32_t>& index);

// index(1..n) = positions of texts(1..n) in ascending order.
void IndexCh(int32_t n, const Vec1<std::string>& texts, Vec1<int32_t>& index);

// Index of n distinct keys in 1..smplsize, in ascending key order.
void IndexQuick(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index);

// Stable index of n integer keys (counting sort over the key range).
void IndexQuick2(int32_t n, const Vec1<int32_t>& keys, Vec1<int32_t>& index);

// j with table(j) <= x < table(j + 1) in an ascending table of n entries.
int32_t Locate(const Vec1<float>& table, int32_t n, float x);
