// Working constants and tables that data preparation sets once the
// project file has been read.
#pragma once

#include <string>

// Precision thresholds, unsampled-parent marks, log-factorials, sampling
// log-probabilities, identity links between offspring and candidates, and
// the checkpoint file names.
void Initialize();

// Links equal identifiers between offspring and the candidates of each
// sex, and between the candidates of the two sexes.
void LinkIdentities();
