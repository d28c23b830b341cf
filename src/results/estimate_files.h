// The files of the population estimates that accompany the best
// configuration: ".Inbreeding", ".AlleleFreq" and ".ErrorRate", and the
// inbreeding estimators they report.
#pragma once

#include <cstdint>
#include <vector>

#include "state/arrays.h"

// Selfing rate of a monoecious sample from identity disequilibrium between
// loci; est below -0.5 means that no estimate could be made.
void Identity(double& est);

// ".Inbreeding" (process 0, inbreeding allowed). selfing holds the
// selfing-rate estimate and its 95% limits of a monoecious sample.
void WriteInbreeding(const Arr1<double, 3>& selfing);

// ".AlleleFreq": initial and updated frequencies of every allele of the
// loci handled by this process, alleles in increasing order of name. With
// several processes each writes its own part (the name followed by its
// rank), process 0 adding the header, for the file merge to join.
void WriteAlleleFreq();

// Values per locus of the error-rate table: start value, estimate, lower
// and upper limit of the dropout rate, the same of the other-error rate,
// and a status: 0 no row, 1 estimated, 2 estimated but not converged.
inline constexpr int32_t kErrorRateValues = 9;

// ".ErrorRate": the header line, then a row for every locus whose status
// in table is not 0.
void WriteErrorRate(const std::vector<double>& table);
