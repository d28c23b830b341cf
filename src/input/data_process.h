// Processing of the data read: checks against known data, observed allele
// frequencies, and the recognition of a resumable earlier execution.
#pragma once

void DataProcess();
// Rank 0 only: resume an unchanged earlier execution, or clear its files.
void CheckData();
