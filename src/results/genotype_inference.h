// Inference of the true genotypes of the offspring and parents of the best
// configuration, cluster by cluster and locus by locus, and the genotype
// files ".OffGenotype", ".DadGenotype" and ".MumGenotype".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/arrays.h"

// Genotype probabilities of the individuals of the families laid out in
// familyloglvar at one locus of n alleles. A diploid genotype (a, b) is
// entry FamilyGenotypeIndex(a, b, n) - 1 of its table, a haploid
// individual's allele a is entry a - 1.
struct ClusterGenotypes {
  // By parent of familyloglvar.
  std::vector<std::vector<double>> parents;
  std::vector<uint8_t> parenthaploid;
  // By offspring, in the order of the families and their members.
  std::vector<int32_t> offspring;
  std::vector<std::vector<double>> offspringprob;
  std::vector<uint8_t> offspringhaploid;
};

// Infers the genotypes at locus l of the families in familyloglvar; false
// when the families are impossible at the locus.
bool InferFamilyGenotypes(int32_t l, ClusterGenotypes& out);

// Adds to counts (alleles 1..n at [0..n-1]) the expected allele copies of
// the parents of the families in familyloglvar as inferred at a locus of n
// alleles: two per diploid parent, one per haploid parent.
void AddParentAlleleCounts(const ClusterGenotypes& inferred, int32_t n, std::vector<double>& counts);

// The text of probability p in the genotype files: the entry of CFre
// nearest to it, the index kept within the table whatever p is.
const std::string& ProbabilityText(double p);

class GenotypeFiles;

// Infers the genotypes of cluster slot `slot` of the current configuration
// at locus l, writes their rows, and adds the parents' expected allele
// counts (alleles 1..n at [0..n-1]) to allelecount. parentIds: the
// identifiers of the best configuration's parents (offspring x sex).
void GenotypeInference(int32_t l, int32_t slot, const Mat1<std::string>& parentIds, GenotypeFiles& files,
                       std::vector<double>& allelecount);

// The output step's genotype inference: every cluster at every locus of
// this process's share (contiguous blocks, so that the merged files follow
// the loci in order), written to this process's genotype files.
// allelecounts(l) receives the expected allele counts of the parents at
// each locus of the share.
void InferGenotypes(const Mat1<std::string>& parentIds, Vec1<std::vector<double>>& allelecounts);
