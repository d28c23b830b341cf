// The reading state that the sections of the project-file reader share: the
// open file, the error line of the read in progress, and the per-locus
// sections, which are kept as read (a compact "v@" item stays one value)
// until the first offspring line shows that the file really holds the
// declared number of loci. Only then are the per-locus tables expanded, so a
// huge locus count in a short file costs no memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/free_format.h"

// A per-locus list as read: one value for every locus (the compact "@"
// form) or one value per locus.
template <class T>
struct LocusList {
  bool uniform = false;
  T value{};
  std::vector<T> values;
  const T& operator()(int32_t locus) const {
    return uniform ? value : values[static_cast<std::size_t>(locus - 1)];
  }
};

struct ProjectReader {
  FreeFormatFile file;

  // Known allele frequencies: alleles per locus, and the names and
  // frequencies of each locus read so far (only locus 1 when `knownsame`:
  // its list then stands for every locus).
  LocusList<int32_t> numallele;
  bool knownsame = false;
  std::vector<std::vector<int32_t>> knownalleles;
  std::vector<std::vector<double>> knownfreqs;

  // Marker block: names (a prefix when `markerprefixq`), types and rates.
  bool markerprefixq = false;
  std::string markerprefix;
  std::vector<std::string> markernames;
  LocusList<int8_t> dominant;
  LocusList<double> droprate;
  LocusList<double> othererrorrate;
  bool expanded = false;

  // Starts a read statement whose failure stops with errorline.
  void Begin(const std::string& errorline);
  // The next item of the read in progress; at the end of the file the read
  // has failed and the program stops with the error line. The item is valid
  // until the next call.
  std::string_view Item();
  // The next item as an integer of at most maxdigits digits, or as a real;
  // an item that does not convert is a failed read.
  int32_t IntItem(int maxdigits = 9);
  double RealItem();
  // Stops with the error line of the read in progress.
  [[noreturn]] void Fail() const;

  // Number of allele items on an offspring line (two per codominant locus,
  // one per dominant locus).
  uint64_t AlleleItemCount() const;
  // How many lines of `items` items each the rest of the file could hold
  // at most (every item takes a character and a separator); counts read
  // from the file are trusted for reservations only up to this.
  std::size_t LinesThatFit(uint64_t items) const;
};

// A text for a message: at most maxlen characters, control characters
// (which a binary file may hold) shown as '?'.
std::string Printable(std::string_view text, std::size_t maxlen = std::string_view::npos);
// The first n characters of an item, as a text read into a field of n.
inline std::string Field(std::string_view item, std::size_t n) {
  return std::string(item.substr(0, std::min(item.size(), n)));
}
// A warning about input taken other than as written: kept for the
// progress log and shown on the screen by process 0 when it shows messages.
void InputWarning(const std::string& line);
// Sex names of the messages: "male" (1) and "female" (2).
std::string SexName(int32_t sex);
// First letter of paternity/maternity in section names: "p" (1), "m" (2).
std::string ParentLetter(int32_t sex);

// The sections, in file order.
void ReadRunParameters(ProjectReader& reader);
void ReadKnownFrequencies(ProjectReader& reader);
void ReadMarkers(ProjectReader& reader);
void ExpandLocusTables(ProjectReader& reader);
void ReadOffspring(ProjectReader& reader);
void ReadCandidates(ProjectReader& reader);
// Empty known/excluded tables for smplsize offspring.
void PrepareRelationshipTables();
void ReadKnownParentage(ProjectReader& reader, int32_t sex);
void ReadKnownSibships(ProjectReader& reader, int32_t sex);
void ReadExcludedParentage(ProjectReader& reader, int32_t sex);
void ReadExcludedSibships(ProjectReader& reader, int32_t sex);
