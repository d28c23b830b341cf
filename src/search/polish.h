// The climb to a local optimum that ends an annealing search: every
// offspring, full-sib family, family and candidate assignment is offered
// its most plausible alternatives in turn, each scored exactly, and the best
// that raises the log likelihood plus log prior is kept, until a whole pass
// finds nothing to improve.
//
// Random proposals at a low temperature are mostly refused, and a search
// that has frozen can spend millions of them before its schedule lets it
// end; a systematic pass checks the same neighbourhood once. The
// alternatives come from each offspring's most related partners in the
// pair tables: joining a partner's full-sib family, its father or its
// mother (keeping the other parent, or with a new one), or leaving for new
// families; for a whole family of a side, joining a partner's family of that
// side, with the roles of its cluster's fathers and mothers exchanged first
// where the partner's family is of the other side; for a family's candidate
// parent, the candidates on its offspring's short lists, or none.
//
// Every process makes the same changes: the alternatives of one step are
// scored by all processes together (each computing its share of the loci)
// and the best is chosen, ties going to the first listed.
#pragma once

#include <cstdint>

// Gains below this are rounding, not improvement: the climb takes no
// smaller one, which could make it go round in circles.
inline constexpr double kClimbGain = 1e-6;

// Alternatives whose pair ratios lose more than half the typical ratio of
// related partners (the median of SetPartners) are not scored. Needed once
// per run, before the climb.
void SetClimbMargin(double typicalpairscore);

// Climbs from the current configuration; prior and parentterm are the log
// prior and the parent term of the current configuration, kept up to date.
// iterate: the search's iterate count, named by the consistency checks made
// after each change with the check level above 0. Returns the number of
// changes made.
int32_t ClimbToLocalOptimum(double& prior, double& parentterm, int64_t iterate = 0);
