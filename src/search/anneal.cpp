// The simulated-annealing search of one run.
#include "search/anneal.h"

void Anneal(int32_t& /*stopflag*/, int32_t /*repeat*/) {}
