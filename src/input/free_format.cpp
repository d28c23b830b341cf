// Free-format (list-directed) reading of text files.
#include "input/free_format.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

std::vector<std::string> SplitFreeFormat(const std::string& line) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && IsSeparator(line[i])) ++i;
    if (i >= n) break;
    const char c = line[i];
    if (c == '\'' || c == '"') {
      // Quoted text: runs to the matching quote; a doubled quote stands for
      // one quote character. An unterminated quote runs to the line end.
      std::string item;
      ++i;
      while (i < n) {
        if (line[i] == c) {
          if (i + 1 < n && line[i + 1] == c) {
            item += c;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += line[i++];
      }
      items.push_back(std::move(item));
    } else {
      std::size_t start = i;
      while (i < n && !IsSeparator(line[i])) ++i;
      items.push_back(line.substr(start, i - start));
    }
  }
  return items;
}

bool FreeFormatFile::Open(const std::string& path) {
  Close();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in_.open(path, std::ios::in | std::ios::binary);
  lineno_ = 0;
  readstartline_ = 0;
  readstart_ = in_ ? in_.tellg() : std::streampos{};
  return in_.is_open() && in_.good();
}

void FreeFormatFile::Close() {
  if (in_.is_open()) in_.close();
  in_.clear();
  lineno_ = 0;
}

bool FreeFormatFile::NextLine(std::string& line) {
  if (!in_.is_open() || !std::getline(in_, line)) return false;
  ++lineno_;
  return true;
}

bool FreeFormatFile::ReadItems(std::size_t n, std::vector<std::string>& items) {
  items.clear();
  in_.clear();
  readstart_ = in_.tellg();
  readstartline_ = lineno_;
  if (n == 0) {
    std::string line;
    return NextLine(line);
  }
  std::string line;
  while (items.size() < n) {
    if (!NextLine(line)) return false;
    std::vector<std::string> got = SplitFreeFormat(line);
    for (auto& item : got) {
      if (items.size() == n) break;
      items.push_back(std::move(item));
    }
  }
  return true;
}

bool FreeFormatFile::ReadLineItems(std::vector<std::string>& items) {
  items.clear();
  in_.clear();
  readstart_ = in_.tellg();
  readstartline_ = lineno_;
  std::string line;
  if (!NextLine(line)) return false;
  items = SplitFreeFormat(line);
  return true;
}

void FreeFormatFile::Backspace() {
  in_.clear();
  in_.seekg(readstart_);
  lineno_ = readstartline_;
}

std::optional<int32_t> ParseInteger(const std::string& item, int maxdigits) {
  std::size_t k = 0;
  bool negative = false;
  if (k < item.size() && (item[k] == '+' || item[k] == '-')) negative = item[k++] == '-';
  const std::size_t ndigits = item.size() - k;
  if (ndigits == 0 || ndigits > static_cast<std::size_t>(maxdigits)) return std::nullopt;
  int64_t v = 0;
  for (; k < item.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(item[k]))) return std::nullopt;
    v = v * 10 + (item[k] - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < -2147483648LL || v > 2147483647LL) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<double> ParseReal(const std::string& item) {
  if (item.empty() || item.size() > 64) return std::nullopt;
  std::string s = item;
  // Fortran's double-precision exponent letter.
  for (char& c : s) {
    if (c == 'd' || c == 'D') c = 'e';
  }
  // Only digits, sign, point and exponent letter: refuses "inf", "nan",
  // hexadecimal floats and trailing text.
  for (char c : s) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.' ||
          c == 'e' || c == 'E')) {
      return std::nullopt;
    }
  }
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}
