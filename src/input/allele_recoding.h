// Recoding of allele names to small per-locus indexes as genotypes are read.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Prepares the genotype tables for smplsize offspring and numchild(sex)
// candidates over numloci loci (all missing), and empties the allele lists.
void AllocateGenotypeTables();

// The same for one group while its genotypes are still to be read: sex 0
// (offspring, which also empties the allele lists) or 1, 2 (candidates of
// that sex). The tables start empty, with room for `expected` individuals,
// and grow as ConvertGenotype stores individuals 1, 2, ... in order, so that
// a count larger than the data that follow costs no memory.
void AllocateGenotypeTables(int32_t sex, std::size_t expected);

// Converts one individual's allele items (two per codominant locus, one per
// dominant locus, in locus order; a value <= 0 is missing) into allele
// indexes and stores them. sex 0 = offspring, 1 or 2 = candidate of that sex;
// index is 1-based within its group; label names the individual in messages
// (for example "Offspring A12").
void ConvertGenotype(const std::vector<int32_t>& alleles, int32_t sex, int32_t index,
                     const std::string& label);

// Swaps allele indexes 1 and 2 of a locus in every offspring and candidate
// genotype and in its list of allele names.
void ReverseGtype(int32_t locus);

// The stored allele indexes of an individual at a locus, smaller first; a
// missing genotype is (0, 0); a dominant phenotype is (item, 0).
std::pair<int32_t, int32_t> StoredAlleles(int32_t sex, int32_t index, int32_t locus);
