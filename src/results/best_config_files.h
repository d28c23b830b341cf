// The files that describe the best configuration: ".BestCluster",
// ".BestFSFamily", ".BestConfig" and its copy ordered by family, and the
// parent identifiers they show.
#pragma once

#include <cstdint>
#include <string>

#include "state/arrays.h"

// ids(i, k): the identifier of offspring i's parent of sex k (1 father,
// 2 mother) in the configuration loc with per-offspring candidates
// parents (0 = unsampled; an empty table means none assigned): the
// candidate's identifier, otherwise the sex mark followed by the number of
// the family, unsampled families being numbered 1, 2, ... in the order in
// which the offspring (in sample order) meet them. In a monoecious sample
// both sides are one pool of parents and share one numbering, so a parent
// keeps its name on either side. The father of a haploid offspring is
// "*-". Every identifier is right-justified in 20 characters.
void BuildBestParentID(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents, Mat1<std::string>& ids);

// Offspring in increasing order of the family key of the ordered copy of
// ".BestConfig" (index sort of the keys computed from loc and IndivOrder).
void OrderedOffspring(const Mat1<int32_t>& loc, Vec1<int32_t>& order);

// ".BestCluster": every offspring with its cluster (column 3 of loc), the
// cluster's probability prob(cluster) and its parents ids.
void WriteBestCluster(const Mat1<int32_t>& loc, const Vec1<double>& prob, const Mat1<std::string>& ids);

// ".BestFSFamily": full-sib families 1 .. n (fsid of each offspring) with
// their inclusive and exclusive probabilities and their members.
void WriteBestFSFamily(const Vec1<int32_t>& fsid, int32_t n, const Vec1<double>& probInc,
                       const Vec1<double>& probExc);

// ".BestConfig" (offspring in sample order) and ".BestConfig_Ordered"
// (offspring in the order of OrderedOffspring). clone(i) is the clone group
// of offspring i, written only when clones are allowed.
void WriteBestConfig(const Mat1<int32_t>& loc, const Mat1<std::string>& ids, const Vec1<int32_t>& clone);
