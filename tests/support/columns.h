// A 1-based integer table written column by column, for setting up
// configuration tables in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

inline Mat1<int32_t> Table(const std::vector<std::vector<int32_t>>& columns) {
  Mat1<int32_t> m(columns.front().size(), columns.size(), 0);
  for (std::size_t j = 0; j < columns.size(); ++j) {
    for (std::size_t i = 0; i < columns[j].size(); ++i) {
      m(static_cast<long>(i + 1), static_cast<long>(j + 1)) = columns[j][i];
    }
  }
  return m;
}
