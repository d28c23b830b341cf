// Processing of the data read: dominant allele order, checks against known
// data, observed allele frequencies and the selfing update.
#pragma once

void DataProcess();