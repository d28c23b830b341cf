// The acceptance rule of every change the search proposes: ordinary
// moves, family merges, role reversals and father swaps alike.
//
// Metropolis with early abandon: the uniforms of a decision are drawn
// before the likelihood of the changed clusters is computed, so that the
// change can be turned into a bar (the threshold) that the new log
// likelihood must exceed; the likelihood engine stops as soon as its
// running sum falls below the bar.
#pragma once

#include <cstdint>

// The two uniforms of one decision: u sets the bar, tie breaks the case of
// an unchanged log likelihood.
struct AcceptanceDraw {
  double u = 1.0;
  double tie = 0.0;
};

// Draws both uniforms (u above lowerbound, so that ln u stays finite).
AcceptanceDraw DrawAcceptance(double lowerbound);

// The bar of the new log likelihood of the changed clusters (parent term
// included): the old one plus the loss of log prior (prior before minus
// prior after) plus T ln u, with the temperature scaled by `scale` (1 for
// most moves; lower for clusters that carry known sibships).
double AcceptanceThreshold(double old, double priorloss, const AcceptanceDraw& draw, double T, double scale = 1.0);

// Changes whose log likelihoods differ by less than this count as leaving
// it unchanged.
inline constexpr double kSameLogL = 0.000001;

// Whether a change with new log likelihood `fresh` (old before it) is
// taken: above the bar, and, when the log likelihood is unchanged, only
// with probability rate, so that neutral changes do not wander forever.
bool Accepted(double fresh, double old, double threshold, const AcceptanceDraw& draw, double rate);
