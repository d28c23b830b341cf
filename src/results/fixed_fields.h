// Fixed-width fields of the result files: texts and numbers right-justified
// in a given width, reals in fixed notation, and trimmed texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "runctl/messages.h"

namespace fixed_fields {

// text right-justified in width characters (a longer text is kept whole).
inline std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// An integer right-justified in width characters.
inline std::string Int(int64_t n, int width) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%*lld", width, static_cast<long long>(n));
  return buf;
}

// x in fixed notation with decimals digits after the point, right-justified
// in width characters; a value that does not fit fills the field with
// asterisks, so that columns never shift.
inline std::string Fixed(double x, int width, int decimals) {
  char buf[400];
  const int len = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, x);
  if (len < 0 || len > width) return std::string(static_cast<std::size_t>(width), '*');
  return buf;
}

// text without its trailing blanks.
using ::TrimRight;

}  // namespace fixed_fields
