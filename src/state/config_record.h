// One configuration stored in the archive of good configurations.
#pragma once

#include <cstdint>
#include <vector>

// Family indices and assignments are stored as 16-bit codes holding
// v - 32768 (modulo 2^16), so indices up to 65535 fit; expanding a record
// adds 32768 back.
struct ConfigRecord {
  std::vector<uint16_t> paternal;  // paternal family of every offspring
  std::vector<uint16_t> maternal;  // maternal family; empty when both sexes are monogamous (dioecious)
  std::vector<uint16_t> cluster;   // cluster label; empty unless no sex is monogamous or monoecious
  // Candidate assigned to each family of a sex: dense (one entry per
  // family, 0 = unsampled) or a list of (family, candidate) pairs.
  std::vector<uint16_t> fathers, mothers;
  bool fathersdense = true, mothersdense = true;
  double logl = -1e300;
  int16_t numcluster = 0;
  uint32_t signature = 0;
  // Hash of the whole configuration, the same for equal configurations
  // whatever their labels; 0 when not known.
  uint64_t fingerprint = 0;
};
