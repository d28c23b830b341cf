// The result files of the best configuration.
#include "results/output.h"

void Output() {}
