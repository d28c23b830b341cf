// Sibship clusters: the connected sets of offspring that share a paternal
// or a maternal family, their tables, and the family structure of one
// cluster as the likelihood engine reads it.
#pragma once

#include <cstdint>
#include <vector>

// Root of x in a union-find table (path halving).
int32_t FindRoot(std::vector<int32_t>& up, int32_t x);

// Labels the clusters of the configuration in IndivLocPrt (column 3, in
// order of first member), sets CrNumFamily(3)-style count into count, and
// rebuilds the cluster tables (IndivCluster, ClusterSizeT, IndivClusterIdx,
// ClusterID, IndivClusterIndex) when that configuration is the current one.
void SetInitCluster();

// IndivClusterIndex from column 3 of CrIndivLoc.
void SetIndivClusterIndex();

// Lays out the families of cluster slot k of the configuration in
// IndivLocPrt / InferParentPrt as the likelihood engine's input.
void FamilyBuild(int32_t k);

// Lays out the families of an explicit list of offspring.
void FamilyBuildMembers(const int16_t* members, int32_t n);

// Parents a cluster's likelihood must condition on, genotype by genotype.
// Trees, loops and loops running in parallel or in series (every pedigree
// of half-sib families linked by shared parents without a densely mated
// core) sum out without any, at a cost linear in the cluster; each
// conditioned parent multiplies the cost by its number of genotypes.
inline constexpr int32_t kMaxConditionedParents = 1;

// False when a cluster the move forms (members listed per cluster, in the
// proposed configuration) needs more conditioned parents than the
// likelihood can afford.
bool Screen2(const std::vector<std::vector<int16_t>>& components);
