// Moves that exchange the roles of parents: the fathers and mothers of a
// whole cluster, and, in haplodiploid samples, the fathers of two full-sib
// families. Both are accepted by the search's one Metropolis rule.
#pragma once

#include <cstdint>
#include <vector>

// Whether the fathers and mothers of a cluster (its members) may exchange
// roles: a dioecious cluster of diploid offspring without assigned
// candidates or known or excluded sibships, with more than one parent of
// some side, whose parents' mates fit the limits of their new sides.
bool ReversibleCluster(const std::vector<int16_t>& members);

// Exchanges the roles: the members' mothers become fathers numbered after
// the present families, and the reverse. Family numbers are left sparse
// (CompactFamilies makes them dense).
void ReverseCluster(const std::vector<int16_t>& members);

// Proposes exchanging the roles of fathers and mothers in the cluster of a
// random offspring (dioecious samples), accepted at temperature T with the
// change of the log prior that prior() returns (nullptr: no prior); when
// both arrangements have the same likelihood, with probability rate.
// changed = 1 when the configuration changed.
void Reversal(double T, double rate, double (*prior)(), int32_t& changed);

// In a haplodiploid sample: the daughters of two full-sib families with
// different fathers and mothers exchange fathers, so that a sibship found
// with the wrong father can be mended in one step. Accepted as Reversal.
void SwapDadID(double T, double rate, double (*prior)(), int32_t& changed);
