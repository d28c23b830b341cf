// The quick pairwise screen of sibship moves: before a proposal's clusters
// go through the family likelihood, the change of the pairwise log
// likelihood ratios between the moved offspring and the offspring of the
// clusters concerned is compared with a random bar, so that most hopeless
// proposals cost a few table reads instead of a pedigree likelihood.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Sum over loci with more than one allele of the expected heterozygosity
// 1 - sum p^2 (the information the screen temperature is scaled by).
double HeterozygositySum();

// Pairwise log likelihood ratio (against unrelated) of offspring i and j
// when they are in the families (fi, mi) and (fj, mj): full sibs, half
// sibs of either side, or 0 when they share no parent.
double PairRelationScore(int32_t i, int32_t j, int32_t fi, int32_t mi, int32_t fj, int32_t mj);

// True when the pair tables the screen reads are there for this sample.
bool PairScreenAvailable();

// The quick screen's measure of a sibship move under the full likelihood:
// the change of the pairwise log likelihood ratios (each pair against
// unrelated) when the offspring of group leave their current families for
// the host families host[0] (paternal) and host[1] (maternal) in cluster
// slot dest, each full-sib family's pairs counted as about twice their
// mean. Pairs whose relationship does not change add nothing.
double Screen(const std::vector<int32_t>& group, const int32_t host[2], int32_t dest);

// Each offspring's most related partners in the pair tables: the targets
// of the proposals that join an offspring or a family to its likely kin.
// Single moves go to the nearest few; a whole family looks among all its
// members' partners, most of whom are its own full sibs.
inline constexpr int32_t kPartners = 16;
inline constexpr int32_t kNearPartners = 4;
using PartnerList = std::array<int32_t, kPartners>;
using KinList = std::array<int32_t, kNearPartners>;

// Finds every offspring's partners: the offspring with the largest log
// likelihood ratio of any relationship (full sibs, half sibs of either
// side) against unrelated, best first, and only those more likely related
// than not. Returns the median over offspring of the best partner's ratio,
// 0 without pair tables (and then no offspring has partners).
double SetPartners();

// The largest log likelihood ratio of offspring i and j being full or half
// sibs of either side against unrelated.
double KinScore(int32_t i, int32_t j);

// Among the partners of the members of group, those outside it most
// related to it as a whole (the sum of their ratios with its members, each
// counted down to -50 at most), best first, one per full-sib family, only
// those more likely related than not: the targets of a whole family.
void KinOf(const std::vector<int32_t>& group, KinList& out);

// The partners of offspring i (0: none, after the last).
const PartnerList& Partners(int32_t i);

// True when SetPartners found the pair tables for this sample.
bool PartnersKnown();

// The screen's scale and its pass counts, which run across temperatures.
struct ScreenScale {
  double S = 1.0;
  int64_t trials = 0;
  int64_t passes = 0;
};

// Adapts the scale at a new temperature from the pass ratio of the
// screened proposals (polygamous and all-monogamous rules differ).
void AdaptScreenScale(ScreenScale& scale, bool allmonogamous, bool quicksearch);
