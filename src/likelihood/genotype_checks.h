// Quick rejection of configurations that have probability zero at the
// error-free loci, before any likelihood is computed.
#pragma once

#include <cstdint>

// ok = 0 when a family or a sampled parent and its offspring in
// familyloglvar cannot be reconciled with Mendelian inheritance at an
// error-free codominant locus.
void GenotypeCheck(int32_t& ok);

// ok = 0 when a selfed family shows more than the three genotypes a selfed
// parent can give at an error-free locus.
void SelfingCheck(int32_t& ok);
