// Set-up of the per-locus tables of the family likelihood engine.
#include "likelihood/likelihood_setup.h"

void InitialFSProb(int32_t /*mode*/, int32_t /*first*/, int32_t /*last*/) {}
