// A test oracle for family likelihoods: small pedigrees with known
// observations, installed as the engine's input, and their exact log
// likelihood by brute force over every genotype of every parent and every
// transmission.
#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

using GenoPair = std::pair<int32_t, int32_t>;

struct OracleLocus {
  int32_t n = 2;
  double D = 0.0, E = 0.0;
  bool dominant = false;
  std::vector<double> freqs;
};

struct OraclePedigree {
  struct Parent {
    int32_t sex = 1;
    bool sampled = false;
    std::vector<GenoPair> obs;  // per locus, when sampled
  };
  struct Family {
    int32_t father = 0, mother = 0;
    std::vector<std::vector<GenoPair>> offspring;  // [child][locus]
    std::vector<int32_t> ploidy;                   // 1 haploid son, 2 diploid
  };
  std::vector<OracleLocus> loci;
  std::vector<Parent> parents;
  std::vector<Family> families;
};

// The shape of a cluster: parents' sexes, families (father, mother) and
// which parents are sampled.
struct OracleShape {
  const char* name;
  std::vector<int32_t> sexes;
  std::vector<std::pair<int, int>> families;
  std::vector<int32_t> sampled;
  bool monoecious = false;
};

// Draws true genotypes for the shape and observations with the given
// missing share and error share; haploid fathers when haplodiploid.
OraclePedigree DrawPedigree(std::mt19937& rng, const OracleShape& shape, std::vector<OracleLocus> loci,
                            bool haplodiploid, double missing, double error, int32_t maxFamilySize);

// Stores the pedigree's observations as offspring and candidates in the
// shared state and lays out its families for the engine. Species settings
// (haplodiploid, numsex, inbreeding) must already be set.
void InstallPedigree(const OraclePedigree& ped);

// The diploid genotypes (a, b), a <= b, of n alleles in the engine's order.
std::vector<GenoPair> OracleDiploidGenotypes(int32_t n);

// Probability of observation obs (missing when obs.first <= 0) given true
// genotype truth at locus L, straight from the error-class formulas; a
// haploid truth is its allele twice.
double OracleObservation(const OracleLocus& L, GenoPair obs, GenoPair truth, bool haploid);

// Exact log likelihood of locus l (1-based) by brute force; -1e300 when 0.
double OracleLocusLogL(const OraclePedigree& ped, int32_t l, double F, bool haplodiploid);
