// Free-format (list-directed) reading of text files: items separated by
// blanks, tabs, commas or line ends; quoted texts may hold blanks; each read
// starts on a new line and ignores what is left of its last line, so text
// after a line's values is a comment. Used by the project-file reader and by
// the readers of the program's own text files.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FreeFormatFile {
 public:
  // False when the file does not exist, is not a regular file or cannot be
  // read.
  bool Open(const std::string& path);
  bool IsOpen() const { return in_.is_open(); }
  void Close();

  // Size of the open file in bytes (what any count read from it can be
  // checked against).
  std::uintmax_t Size() const { return size_; }

  // One read statement, item by item: BeginRead starts it on the next line,
  // each NextItem takes the next item, going on to further lines (blank
  // lines are skipped) when the current one is used up, and the next
  // BeginRead drops what is left of the last line. NextItem is false when
  // the file ends first. The item stays valid until the next call.
  void BeginRead();
  bool NextItem(std::string_view& item);

  // One read statement: takes n items from the next line(s), skipping blank
  // lines. Returns false when the file ends first; `items` then holds the
  // items found.
  bool ReadItems(std::size_t n, std::vector<std::string>& items);

  // Reads the next line (not blank-skipped) and returns all its items;
  // false at the end of the file.
  bool ReadLineItems(std::vector<std::string>& items);

  // Goes back to the start of the line on which the last read began, so
  // that it can be read again with another item count.
  void Backspace();

  // Number of the last line taken by a read (1-based, 0 before any read).
  long LineNumber() const { return lineno_; }

 private:
  bool NextLine(std::string& line);

  std::ifstream in_;
  std::uintmax_t size_ = 0;
  long lineno_ = 0;
  std::streampos readstart_{};
  long readstartline_ = 0;
  // The line that the current read statement is taking items from.
  std::string line_;
  std::size_t pos_ = 0;
  bool haveline_ = false;
};

// Splits one line into its items.
std::vector<std::string> SplitFreeFormat(const std::string& line);

// Integer conversion of an item: optional sign and at most maxdigits digits
// (leading zeros included), nothing else; the value must fit in 32 bits.
std::optional<int32_t> ParseInteger(std::string_view item, int maxdigits = 9);
inline std::optional<int32_t> ParseInteger(const std::string& item, int maxdigits = 9) {
  return ParseInteger(std::string_view(item), maxdigits);
}
inline std::optional<int32_t> ParseInteger(const char* item, int maxdigits = 9) {
  return ParseInteger(std::string_view(item), maxdigits);
}

// Real conversion of an item: decimal or exponent form ("1e-05", "2.5D-3"),
// nothing else; infinities and NaN are refused.
std::optional<double> ParseReal(std::string_view item);
inline std::optional<double> ParseReal(const std::string& item) {
  return ParseReal(std::string_view(item));
}
inline std::optional<double> ParseReal(const char* item) { return ParseReal(std::string_view(item)); }
