// Effective population size from the sibship frequencies of the result.
#include "results/ne.h"

void SibNe() {}
