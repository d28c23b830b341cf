// Free-format (list-directed) reading of text files.
#include "input/free_format.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f'; }

// Takes the item that starts at line[i] (not a separator), unquoting a quoted
// text in place; i is left after the item.
std::string_view TakeItem(std::string& line, std::size_t& i) {
  const std::size_t n = line.size();
  const char c = line[i];
  if (c == '\'' || c == '"') {
    // Quoted text: runs to the matching quote; a doubled quote stands for
    // one quote character. An unterminated quote runs to the line end.
    ++i;
    const std::size_t start = i;
    std::size_t w = i;
    while (i < n) {
      if (line[i] == c) {
        if (i + 1 < n && line[i + 1] == c) {
          line[w++] = c;
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      line[w++] = line[i++];
    }
    return std::string_view(line.data() + start, w - start);
  }
  const std::size_t start = i;
  while (i < n && !IsSeparator(line[i])) ++i;
  return std::string_view(line.data() + start, i - start);
}
}  // namespace

std::vector<std::string> SplitFreeFormat(const std::string& line) {
  std::vector<std::string> items;
  std::string work = line;
  std::size_t i = 0;
  while (i < work.size()) {
    while (i < work.size() && IsSeparator(work[i])) ++i;
    if (i >= work.size()) break;
    items.emplace_back(TakeItem(work, i));
  }
  return items;
}

bool FreeFormatFile::Open(const std::string& path) {
  Close();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in_.open(path, std::ios::in | std::ios::binary);
  size_ = static_cast<std::uintmax_t>(st.st_size);
  lineno_ = 0;
  haveline_ = false;
  readstartline_ = 0;
  readstart_ = in_ ? in_.tellg() : std::streampos{};
  return in_.is_open() && in_.good();
}

void FreeFormatFile::Close() {
  if (in_.is_open()) in_.close();
  in_.clear();
  lineno_ = 0;
  size_ = 0;
  haveline_ = false;
}

bool FreeFormatFile::NextLine(std::string& line) {
  if (!in_.is_open() || !std::getline(in_, line)) return false;
  // A line ended by CR LF reads exactly like one ended by LF.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++lineno_;
  return true;
}

void FreeFormatFile::BeginRead() {
  haveline_ = false;
  in_.clear();
  readstart_ = in_.tellg();
  readstartline_ = lineno_;
}

bool FreeFormatFile::NextItem(std::string_view& item) {
  while (true) {
    if (!haveline_) {
      if (!NextLine(line_)) return false;
      haveline_ = true;
      pos_ = 0;
    }
    while (pos_ < line_.size() && IsSeparator(line_[pos_])) ++pos_;
    if (pos_ < line_.size()) {
      item = TakeItem(line_, pos_);
      return true;
    }
    haveline_ = false;
  }
}

bool FreeFormatFile::ReadItems(std::size_t n, std::vector<std::string>& items) {
  items.clear();
  BeginRead();
  if (n == 0) {
    std::string line;
    return NextLine(line);
  }
  std::string_view item;
  while (items.size() < n) {
    if (!NextItem(item)) return false;
    items.emplace_back(item);
  }
  return true;
}

bool FreeFormatFile::ReadLineItems(std::vector<std::string>& items) {
  items.clear();
  BeginRead();
  std::string line;
  if (!NextLine(line)) return false;
  items = SplitFreeFormat(line);
  return true;
}

void FreeFormatFile::Backspace() {
  haveline_ = false;
  in_.clear();
  in_.seekg(readstart_);
  lineno_ = readstartline_;
}

std::optional<int32_t> ParseInteger(std::string_view item, int maxdigits) {
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

std::optional<double> ParseReal(std::string_view item) {
  if (item.empty() || item.size() > 64) return std::nullopt;
  std::string s(item);
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
