// The in-memory archive of good configurations met by the search: storing a
// configuration as a compact record, expanding a record back into the
// target tables, the duplicate tests, the bounded sorted insertion and the
// removals, and the rebuilding of the archive from a run archive.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "state/arrays.h"
#include "state/config_record.h"

// One configuration as the text run archives hold it: its log likelihood,
// its family columns (three, or one when both sexes are monogamous in a
// dioecious sample), then one parent-assignment vector per sex that has
// candidates; every vector has one entry per offspring.
struct RunArchiveConfig {
  double logl = -1e300;
  std::vector<std::vector<int32_t>> vectors;
};

// Most records the archive keeps after an addition that enforces the bound.
inline constexpr std::size_t kArchiveCapacity = 1000;

// Offers the configuration of IndivLocPrt / InferParentPrt /
// LogLikelihoodPrt, which has numCluster sibship clusters, to the archive.
// mode 1: skip duplicates and keep at most kArchiveCapacity records;
// mode 2: the same with the quick rejections (cluster count, signature,
// cluster membership) before the full comparison; mode 3: add without
// duplicate test and without bound.
void ArchiveConfigAdd(int32_t mode, int32_t numCluster);

// A record of the configuration of IndivLocPrt / InferParentPrt /
// LogLikelihoodPrt with numCluster clusters (the caller places it).
ConfigRecord NewConfig(int32_t numCluster);

// Signature of the partition of IndivLocPrt that decides the clusters
// (column 1 when both sexes are monogamous in a dioecious sample, column 3
// otherwise): equal partitions give equal values whatever their labels. It
// is computed modulo 2^32 and returned as that bit pattern. numCluster is
// the number of clusters of the configuration (a size hint only).
uint32_t CharacterValue(int32_t numCluster);

// Hash of the configuration of IndivLocPrt / InferParentPrt that does not
// depend on its family labels: equal configurations (as the archive
// compares them) have equal fingerprints, so records with another one need
// no full comparison. Never 0.
uint64_t ConfigFingerprint();

// 0 when the paternal and the maternal family partitions of the listed
// offspring are the same in the configuration tables a and b (offspring x
// columns 1, 2) up to renaming of the family labels, 1 otherwise. In a
// monoecious sample both columns name one pool of parents, so one renaming
// must serve both columns (selfing and cross-role parents are kept).
int32_t NoneQtCluster(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int16_t> members);
int32_t NoneQtCluster(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int32_t> members);

// flag 0 when each of rows 1..n (or each listed offspring) is selfed
// (column 1 equal to column 2) in a exactly when it is in b, 1 otherwise.
void NoneQtSelfing(const Mat1<int32_t>& a, const Mat1<int32_t>& b, int32_t n, int32_t& flag);
void NoneQtSelfing(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int16_t> members,
                   int32_t& flag);

// a and b give, for offspring 1..n and sexes 1, 2, the candidate assigned
// to the offspring's family (0 = unsampled). flag 0 when they agree
// everywhere, 1 otherwise; for two configurations with the same partitions
// this compares the candidates of corresponding families.
void DiffInferPrnt(const Mat1<int32_t>& a, const Mat1<int32_t>& b, int32_t n, int32_t& flag);

// True when the two configurations (family tables offspring x 3 and
// per-offspring assignments offspring x 2) have the same family partitions
// up to relabelling and the same candidates on corresponding families.
bool EqualConfigTest(const Mat1<int32_t>& loc1, const Mat1<int32_t>& parents1, const Mat1<int32_t>& loc2,
                     const Mat1<int32_t>& parents2);

// Drops every record whose log likelihood is below MinLogLikelihood.
void ArchiveConfigRemove();
// Empties the archive.
void ArchiveConfigRemoveAll();

// Expands a record into OffTgt (offspring x paternal family, maternal
// family, cluster) and PrntTgt (family x sex: the candidate assigned to the
// family, 0 = none; at least smplsize rows, more when family indices go
// beyond, as in a monoecious pool of parents) and gives its log likelihood.
void ConvertConfig(const ConfigRecord& node, double& logl);

// Empties the archive and rebuilds it from a run archive, best first; the
// best configuration is taken from the first record.
void ArchiveRestoreFromRun(const std::vector<RunArchiveConfig>& configs);
