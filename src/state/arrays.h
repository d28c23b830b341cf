// One-based array helpers. Most tables of the program are numbered from 1
// (offspring 1..smplsize, loci 1..numloci, sexes 1..2); these wrappers keep
// that numbering visible at the call site and check bounds in debug builds.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <vector>

// Growable table indexed 1..size() through operator().
template <class T>
class Vec1 {
 public:
  Vec1() = default;
  explicit Vec1(std::size_t n, const T& init = T()) : v_(n, init) {}

  T& operator()(long i) {
    assert(i >= 1 && static_cast<std::size_t>(i) <= v_.size());
    return v_[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(long i) const {
    assert(i >= 1 && static_cast<std::size_t>(i) <= v_.size());
    return v_[static_cast<std::size_t>(i - 1)];
  }

  void assign(std::size_t n, const T& init = T()) { v_.assign(n, init); }
  void resize(std::size_t n, const T& init = T()) { v_.resize(n, init); }
  void clear() { v_.clear(); }
  std::size_t size() const { return v_.size(); }
  bool empty() const { return v_.empty(); }
  T* data() { return v_.data(); }
  const T* data() const { return v_.data(); }
  auto begin() { return v_.begin(); }
  auto end() { return v_.end(); }
  auto begin() const { return v_.begin(); }
  auto end() const { return v_.end(); }
  std::vector<T>& raw() { return v_; }
  const std::vector<T>& raw() const { return v_; }

 private:
  std::vector<T> v_;
};

// Fixed-size table indexed 1..N through operator().
template <class T, std::size_t N>
struct Arr1 {
  std::array<T, N> a{};

  T& operator()(long i) {
    assert(i >= 1 && static_cast<std::size_t>(i) <= N);
    return a[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(long i) const {
    assert(i >= 1 && static_cast<std::size_t>(i) <= N);
    return a[static_cast<std::size_t>(i - 1)];
  }
  void fill(const T& x) { a.fill(x); }
  static constexpr std::size_t size() { return N; }
  auto begin() { return a.begin(); }
  auto end() { return a.end(); }
  auto begin() const { return a.begin(); }
  auto end() const { return a.end(); }
};

// Two-dimensional table indexed (1..rows, 1..cols), first index fastest.
template <class T>
class Mat1 {
 public:
  Mat1() = default;
  Mat1(std::size_t rows, std::size_t cols, const T& init = T()) { assign(rows, cols, init); }

  void assign(std::size_t rows, std::size_t cols, const T& init = T()) {
    rows_ = rows;
    cols_ = cols;
    v_.assign(rows * cols, init);
  }
  T& operator()(long i, long j) {
    assert(i >= 1 && static_cast<std::size_t>(i) <= rows_ && j >= 1 &&
           static_cast<std::size_t>(j) <= cols_);
    return v_[static_cast<std::size_t>(i - 1) + rows_ * static_cast<std::size_t>(j - 1)];
  }
  const T& operator()(long i, long j) const {
    assert(i >= 1 && static_cast<std::size_t>(i) <= rows_ && j >= 1 &&
           static_cast<std::size_t>(j) <= cols_);
    return v_[static_cast<std::size_t>(i - 1) + rows_ * static_cast<std::size_t>(j - 1)];
  }
  std::size_t rows() const { return rows_; }
  std::size_t cols() const { return cols_; }
  bool empty() const { return v_.empty(); }
  T* data() { return v_.data(); }

 private:
  std::size_t rows_ = 0, cols_ = 0;
  std::vector<T> v_;
};
