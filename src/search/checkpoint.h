// Progress log and checkpoint files of the search.
#pragma once

#include <cstdint>

// Reads the saved allele frequencies and next repeat number; failed = 0
// only when everything was read and the repeat number is above 0.
void ReadMidResult4(int32_t& failed, int32_t& repeat);
