// Genotype codes and packed genotype storage. A genotype is an allele pair,
// smaller allele first, held as a 16-bit code; loci with at most two
// observed alleles store a 2-bit code per individual, eight to a 16-bit word.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "state/setgetgtype.h"

// Builds genotypeid, genotypeid2 and l23g for n = the largest number of
// observed alleles over all loci.
void BuildGenotypeCodes(int32_t n);

// Code of the allele pair (i, j), 0 <= i, j <= maxobsnumallele.
inline int16_t GenotypeCode(int32_t i, int32_t j) {
  const int32_t n1 = setgetgtype.maxobsnumallele + 1;
  return setgetgtype.genotypeid2[static_cast<std::size_t>(i * n1 + j)];
}

// The allele pair of a code 0..maxnumgenotype.
inline std::pair<int32_t, int32_t> GenotypeAlleles(int32_t code) {
  return {setgetgtype.genotypeid[static_cast<std::size_t>(2 * code)],
          setgetgtype.genotypeid[static_cast<std::size_t>(2 * code + 1)]};
}

// 16-bit words a column of nindiv individuals takes at a locus with
// nallele observed alleles.
inline std::size_t ColumnWords(int32_t nindiv, int32_t nallele) {
  const std::size_t n = static_cast<std::size_t>(nindiv > 0 ? nindiv : 0);
  return nallele <= 2 ? (n + 7) / 8 : n;
}

// The 2-bit code of individual k (1-based) of a packed column.
inline int32_t PackedCode(const uint16_t* column, int32_t k) {
  const uint32_t pos = static_cast<uint32_t>(k - 1);
  return (column[pos >> 3] >> (2 * (pos & 7u))) & 3;
}

inline void SetPackedCode(uint16_t* column, int32_t k, int32_t code) {
  const uint32_t pos = static_cast<uint32_t>(k - 1);
  const uint32_t shift = 2 * (pos & 7u);
  uint16_t& word = column[pos >> 3];
  word = static_cast<uint16_t>((word & ~(3u << shift)) | ((static_cast<uint32_t>(code) & 3u) << shift));
}

// Genotype code of individual k of a column (packed when nallele <= 2).
inline int32_t ColumnCode(const uint16_t* column, int32_t k, int32_t nallele) {
  if (nallele > 2) return static_cast<int16_t>(column[k - 1]);
  const int32_t c = PackedCode(column, k);
  return c == setgetgtype.l23g(1) ? setgetgtype.l23g(2) : c;
}

// Turns the genotypes as read (one 16-bit allele-index pair per individual
// and locus) into the packed codes, locus by locus so that memory never
// holds both forms of more than one column. Needs obsnumallele and the code
// tables.
void PackGenotypes();

// Observed genotype of individual k at locus l: sex 0 offspring, 1 or 2 a
// candidate of that sex. Codominant: the allele pair, smaller first, (0, 0)
// when missing; dominant: (phenotype, 0), (0, 0) when missing.
std::pair<int32_t, int32_t> ObservedGenotype(int32_t sex, int32_t k, int32_t l);

// Reads the code of individual k of the current column (locusgtypeptr).
void GetGtype(int32_t& code, int32_t k, int32_t nallele);

// Stores the allele pair of individual k in the current column.
void SetGtype(const std::pair<int32_t, int32_t>& pair, int32_t k, int32_t nallele);
