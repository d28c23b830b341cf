// The result files of the best configuration.
#pragma once

void Output();
