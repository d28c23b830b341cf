// Probability tables of one full-sib family at one locus: for every pair
// of parental genotypes (over the family's own alleles, numbered 1..m, the
// last possibly pooled), the probability of the family's observations.
// Several routines compute the table, each suited to one kind of locus or
// family; all write the same output, so the peeling never needs to know
// which one ran.
#pragma once

#include <cstdint>
#include <vector>

// A distinct observation of the family (alleles 1..m, or a dominant
// phenotype with a2 = 0) and the exponent it carries: the number of
// offspring showing it, or its scaled value.
struct FamilyRecord {
  int32_t a1 = 0, a2 = 0;
  double exponent = 0.0;
};

struct FamilyData {
  std::vector<FamilyRecord> records;  // diploid offspring
  std::vector<FamilyRecord> haploid;  // haploid sons (mother only)
};

// Fills table (rows: father genotypes, or his alleles when he is haploid;
// columns: mother genotypes; genotypes in the order of FamilyGenotypeIndex)
// with the family's probabilities and returns the largest entry. A selfed
// family (one parent in both roles) fills only the diagonal.
double FsProbCompute(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);

// The routines FsProbCompute chooses from:
// codominant locus without genotyping error, more than two alleles;
double FsProbCompute1(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);
// codominant locus without genotyping error, at most two alleles;
double FsProbComputeSnp(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);
// codominant locus with error, family alleles at most 8, several genotypes;
double FsProbCompute2(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);
// codominant locus with error, one distinct genotype, at most 8 alleles;
double FsProbCompute21(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);
// codominant locus with error, more than 8 family alleles;
double FsProbCompute3(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);
// dominant locus.
double FsProbComputeDom(int32_t l, const FamilyData& data, int32_t m, bool selfed, std::vector<double>& table);

// Probability of a mother's haploid sons given her genotype (i, j).
double SonsProbability(int32_t l, const FamilyData& data, int32_t i, int32_t j);

// x to the power e; integer exponents by repeated squaring.
double Power(double x, double e);

// x to the power k >= 0 by repeated squaring (a single offspring, the
// common case, costs nothing).
inline double IntegerPower(double x, int32_t k) {
  if (k == 1) return x;
  double result = 1.0;
  for (int32_t b = k; b > 0; b >>= 1, x *= x) {
    if (b & 1) result *= x;
  }
  return result;
}
