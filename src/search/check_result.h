// Consistency checks of the search state. The search keeps its
// configuration tables, family counts, cluster tables, parent assignments,
// log prior and log likelihood up to date change by change; with the check
// level above 0 (command line CKM:) each of them is recomputed from scratch
// and compared, and the first disagreement stops the program with a
// diagnosis and a numbered stop code. The check of the running log
// likelihood itself is always on.
#pragma once

#include <cstdint>

// Checks the current configuration against its recomputation (all
// processes together, between barriers). prior and parentterm are the log
// prior and the log likelihood of the unassigned candidates that the
// search keeps. accepted: the check follows a kept change; after a refused
// proposal (level 2 and above) the size distribution of the prior is not
// compared, since it describes the proposal last priced, and the prior
// routines recompute it before every use.
void CheckResult(int64_t iterate, double prior, double parentterm, bool accepted = true);

// Stops when the running log likelihood CrLogLikelihood is not a number,
// is at or below -1e300, or exceeds 1.0 (no log likelihood can).
void CheckRunningLogL(int64_t iterate, const char* routine);

// Stop code of a check ("#00", "#5", ...) as the numeric code of the error
// stop: "#0n" -> 100 + n, "#n" -> n (never 0, the out-of-memory code).
int32_t CheckStopCode(const char* code);
