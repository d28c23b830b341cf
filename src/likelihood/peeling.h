// Log likelihood of the families of a cluster at one locus: the family
// tables over the cluster's alleles, the parents' genotype weights, and the
// sum over the genotypes of every parent.
#pragma once

#include <cstdint>
#include <vector>

// logl = the locus log likelihood of the families in familyloglvar;
// -1e300 when they are impossible at this locus.
void FamilyLocusLogL(int32_t l, double& logl);

// Forgets the family tables kept for reuse; needed whenever the error
// rates (and so every table) change.
void ClearFamilyTableCache();

// Forgets the tables of locus l only, keeping their buffers: its error
// rates changed while every other locus stayed as it was.
void ClearLocusTableCache(int32_t l);

struct ClusterGraph;

// The graph that FamilyLocusLogL sums, for those who need more than its
// total (the genotype inference conditions each parent on each of its
// genotypes in turn). Node p stands for parent p of familyloglvar; its
// genotypes run over its own alleles: alleles[p] lists the locus's alleles
// in local order, and when pooled[p] is set one more local allele stands
// for every allele of the locus not listed. A diploid node's genotype
// (i, j) over m local alleles is entry FamilyGenotypeIndex(i, j, m) - 1, a
// haploid node's allele k is entry k - 1. The family tables' logarithmic
// constants are in logconst. The graph stays valid until the likelihood is
// next evaluated.
struct LocusGraphView {
  const ClusterGraph* graph = nullptr;
  double logconst = 0.0;
  std::vector<std::vector<int32_t>> alleles;
  std::vector<uint8_t> pooled;
};

// False when the locus has fewer than two alleles or the families are
// impossible at it.
bool FamilyLocusGraph(int32_t l, LocusGraphView& view);
