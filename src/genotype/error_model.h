// The genotyping-error model: probabilities of an observed genotype (or
// dominant phenotype) given the true genotype, per locus, and the
// probabilities of a full-sib family's observations for every pair of
// parental genotypes.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// Other-error rate scaled for the number of alleles n at the locus.
double ErrScale(int32_t n, double e);

// Class 1..7 of true (t1, t2) and observed (o1, o2) at a codominant locus;
// with o2 < 1 (dominant phenotype) the dominant class t1 + t2 - 1.
int32_t ConfigGtoP(int32_t t1, int32_t t2, int32_t o1, int32_t o2);

// Probability of observed (o1, o2) given true (t1, t2), with n alleles,
// dropout rate D and scaled other-error rate E; cls = class, or 0 to have it
// computed. Observed (o, 0) with true (t, 0) is a haploid observation;
// observed (o, 0) with a diploid truth is a dominant phenotype o.
double PrbG_P(int32_t o1, int32_t o2, int32_t t1, int32_t t2, int32_t n, double D, double E,
              int32_t cls);

// The scaled other-error rate that the tables of locus l use.
double ScaledErrorRate(int32_t l);

// Fills transrate (and transratehaploid) for loci l1..l2.
void PhenotypeGivenGenotype(int32_t l1, int32_t l2);

// Fills markererror3, prbgtophom and prbgtophet for the loci with error.
void InitialPrbGtoP(int32_t l1, int32_t l2);

// Refills the error-class column of locus l (which must have one) from its
// class rates, after those changed.
void FillErrorClassColumn(int32_t l);

// Probability of the observation (o1, o2) given true (t1, t2) at locus l;
// at a dominant locus o1 is the phenotype and o2 is 0.
double PrbGtoP(int32_t t1, int32_t t2, int32_t o1, int32_t o2, int32_t l);

// Haploid: probability of observing allele o given the true allele t.
double PrbGtoPHaploid(int32_t t, int32_t o, int32_t l);

// One record of a full-sib family: an observed genotype (two alleles in
// 1..m) and the number of offspring that carry it.
struct GenotypeRecord {
  int32_t a1;
  int32_t a2;
  int32_t count;
};

// Index 1..m(m+1)/2 of the unordered genotype (i, j) over m alleles: (i, i)
// is i, and (i, j), i < j, follows after m in the order i = 1.., j = i+1...
inline int32_t FamilyGenotypeIndex(int32_t i, int32_t j, int32_t m) {
  if (i > j) std::swap(i, j);
  if (i == j) return i;
  // Heterozygotes (i, j) after the m homozygotes, i major.
  return m + (i - 1) * m - (i - 1) * i / 2 + (j - i);
}

// Family probabilities at locus l for every pair of parental genotypes over
// m alleles. Diploid: prob[(gf - 1) * G + (gm - 1)] for father genotype gf
// and mother genotype gm, G = m(m+1)/2; with packed = true only the upper
// triangle gf <= gm is returned, row by row. Haplodiploid: father allele k,
// prob[(k - 1) * G + (gm - 1)]. The table is divided by its largest entry,
// whose natural logarithm is returned in logmax (-1e300 when every entry is
// zero: an impossible family).
void ComputeProb(int32_t l, const std::vector<GenotypeRecord>& records, int32_t m,
                 std::vector<double>& prob, bool packed, double& logmax);

// One offspring phenotype obs (1 or 2) at dominant locus l: table[3 * f + g]
// over father genotype f and mother genotype g (0 = (1,1), 1 = (1,2),
// 2 = (2,2)); haplodiploid: father allele f + 1 in 0..1.
void ComputeProbDominant(int32_t l, int32_t obs, std::array<double, 9>& table);

// Probability P of one individual's observation (o1, o2) at locus l as a
// random member of a population with inbreeding coefficient F. ploidy 2 is
// diploid; otherwise haploid (allele o1). At a dominant locus o1 is the
// phenotype.
void ProbSingleGtype(double F, int32_t ploidy, int32_t l, int32_t o1, int32_t o2, double& P);

// Forgets the cached single-individual probabilities (allele frequencies
// or error rates changed).
void ClearSingleGtypeCache();
