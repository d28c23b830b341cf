// Effective population size from the sibship frequencies of the result.
#pragma once

void SibNe();
