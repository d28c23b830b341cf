// Allele recoding and the working tables of the analysis.
#pragma once

// Working tables, constants, offspring-candidate identity links and the
// checkpoint file names.
void Initialize();
