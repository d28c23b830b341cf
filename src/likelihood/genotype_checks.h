// Quick rejection of configurations that have probability zero at the
// error-free loci, before any likelihood is computed.
#pragma once

#include <cstdint>

// ok = 0 when a full-sib family in familyloglvar shows more alleles than
// its parents can carry at an error-free codominant locus.
void GenotypeCheck(int32_t& ok);

// ok = 0 when an offspring cannot have received its alleles from its
// sampled parents at an error-free codominant locus.
void GenotypeCheckP(int32_t& ok);

// The same at error-free dominant loci: ok = 0 when an offspring's
// phenotype cannot come from the phenotypes of its sampled parents.
void GenotypeCheckPDom(int32_t& ok);

// ok = 0 when a selfed family of a monoecious sample shows more than the
// two alleles, or the three genotypes, that one parent can give at an
// error-free codominant locus.
void SelfingCheck(int32_t& ok);
