// The inbreeding coefficient of the sample from its genotypes alone: the
// deviation from Hardy-Weinberg proportions, refined by iteration, and the
// likelihood of the individuals as unrelated members of a population with
// that coefficient.
#pragma once

// Minus the log likelihood of every diploid offspring and candidate as an
// unrelated individual at inbreeding coefficient F; 1e300 when some
// individual is impossible at F.
double InbFunc(double F);

// The starting inbreeding coefficient of the sample, within [-0.99, 0.99].
void InitialInbCoe(double& F);
