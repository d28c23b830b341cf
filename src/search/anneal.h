// The simulated-annealing search of one run.
#pragma once

#include <cstdint>

// Runs one annealing search. stopflag: 1 before the first call of the
// program, 0 after a call that did not stop; set to -1 to end all runs.
void Anneal(int32_t& stopflag, int32_t repeat);
