// Allele recoding and the working tables of the analysis.
#include "input/data_preparation.h"

#include "state/variables.h"

void Initialize() {
  // Checkpoint file names: the output name + ".MidResult" + digit 2..6.
  for (int k = 1; k <= 5; ++k) {
    variables.midfilename(k) = variables.fname + ".MidResult" + static_cast<char>('1' + k);
  }
}
