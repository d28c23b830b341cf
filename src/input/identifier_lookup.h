// Identifiers of offspring and candidates: their stored form, sorted
// indexes, look-ups by halving (`FindIndiv`, `LocateOffspring`) and the
// search for an identifier given twice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "state/arrays.h"

// Identifiers are texts of at most 20 characters.
inline constexpr std::size_t kIdLength = 20;

// An identifier as stored and compared: its first 20 characters, trailing
// blanks dropped (so 'A1  ' and A1 are the same identifier).
std::string StoredId(std::string_view text);

// index(1..n) = positions of ids(1..n) in ascending byte order.
void BuildIdIndex(const Vec1<std::string>& ids, Vec1<int32_t>& index);

// Position of id among ids through the ascending index of its first n
// entries; 0 when absent.
int32_t LocateId(const Vec1<std::string>& ids, const Vec1<int32_t>& index, int32_t n,
                 const std::string& id);

// Position of id among the offspring (variables.offspringid) through the
// ascending index of their identifiers; 0 when absent.
int32_t LocateOffspring(const Vec1<int32_t>& index, int32_t n, const std::string& id);

// Index of an identifier among the offspring (sex 0) or the candidates of a
// sex (1 or 2). A missing identifier is a data error that stops the program.
int32_t FindIndiv(const std::string& id, int32_t sex);

// An identifier that ids holds more than once: the two smallest positions
// holding the smallest such identifier (in the order of the index), or
// (0, 0) when every identifier is distinct. The answer does not depend on
// how the index orders equal identifiers.
std::pair<int32_t, int32_t> FindRepeatedId(const Vec1<std::string>& ids, const Vec1<int32_t>& index);
