// State group `setgetgtype`: the genotype code tables and the packed
// genotype storage, read and written through GetGtype/SetGtype.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

struct SetGetGtype {
  // Largest number of observed alleles over all loci (n of the code scheme).
  int32_t maxobsnumallele = 0;
  // Number of genotype codes besides 0: n (n + 1) / 2.
  int32_t maxnumgenotype = 0;
  // genotypeid2[i * (n + 1) + j]: code of the allele pair (i, j), 0 <= i, j <= n.
  std::vector<int16_t> genotypeid2;
  // genotypeid[2 * code], genotypeid[2 * code + 1]: the allele pair of a
  // code 0..maxnumgenotype, smaller allele first.
  std::vector<int8_t> genotypeid;
  // Translation of a packed heterozygote: code l23g(1) reads back as l23g(2).
  Arr1<int16_t, 2> l23g;
  // True once the genotypes as read (pairs of allele indexes) have been
  // turned into the packed codes below.
  bool packedq = false;
  // The column of codes (one locus, one group of individuals) that
  // GetGtype and SetGtype work on.
  std::vector<uint16_t>* locusgtypeptr = nullptr;
};

extern SetGetGtype setgetgtype;
