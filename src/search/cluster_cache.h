// Log likelihoods of clusters already scored during the search. Moving an
// offspring out of a cluster leaves the same remainder at every proposal
// for that offspring; its log likelihood is looked up instead of computed
// again.
#pragma once

#include <cstdint>
#include <vector>

// The cluster's structure as a key: its members in ascending order with
// their families relabelled in order of first appearance and their
// assigned candidates. Equal keys mean equal log likelihoods.
void ClusterKey(const std::vector<int16_t>& members, std::vector<int32_t>& key);

bool FindClusterLogL(const std::vector<int32_t>& key, double& logl);
void StoreClusterLogL(const std::vector<int32_t>& key, double logl);

// Forgets every value: needed whenever allele frequencies, error rates or
// the inbreeding coefficient change.
void ClearClusterLogL();
