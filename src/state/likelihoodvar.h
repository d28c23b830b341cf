// State group `likelihoodvar`: the per-locus tables of the genotype model
// and of the family likelihood engine, and the compact genotype table used
// by the search.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "state/arrays.h"

struct LikelihoodVar {
  // ---- Precision of the likelihood sums ----
  // Genotypes and terms below these shares of the largest are dropped;
  // set from the likelihood precision of the project.
  double prec1 = 0.01, prec2 = 0.01, prec3 = 0.001;

  // ---- Alleles per locus ----
  Vec1<int32_t> obsnumallele;               // observed alleles of each locus
  Vec1<std::vector<double>> obsallelefre;   // their frequencies, alleles 1..n at [0..n-1]
  Vec1<std::vector<double>> obsallelefre0;  // the starting frequencies
  Vec1<std::vector<double>> allelefre;      // the frequencies the likelihood tables were made from
  // Loci with genotyping error: false when both error rates are below 1e-10.
  Vec1<uint8_t> locuserror;

  // ---- Observation probabilities given the true genotype ----
  // transrate(l): classes 1..7 (codominant) or 1..3 (dominant, P of phenotype 1).
  Vec1<Arr1<double, 7>> transrate;
  // transratehaploid(l): (1) observe the true allele, (2) one given other allele.
  Vec1<Arr1<double, 2>> transratehaploid;
  // Compact copies for the loci with error, numbered k = 1, 2, ...
  Vec1<int32_t> markererror3;
  Mat1<double> prbgtophom;  // (c + 1, k), c = 0..2 copies of the observed allele
  Mat1<double> prbgtophet;  // (c + 1, k), c = 0..3
  // Single-individual observation probabilities of two-allele loci:
  // locus2logl(g, l) for observed genotype g = 1 (11 / phenotype 1),
  // 2 (12 / phenotype 2), 3 (22); 0 = not yet computed.
  Mat1<double> locus2logl;
  double locus2loglinbreeding = 0.0;  // F the cache was filled for

  // ---- Genotype frequencies of two-allele loci ----
  // locus2gtypefre(k, l): rows 1-3 true-genotype frequencies P(11), P(12),
  // P(22); rows 4-5 haploid frequencies p1, p2; rows 6-8 probabilities of
  // the observations 11, 12, 22 (dominant: phenotypes 1, 2 in rows 6-7);
  // rows 9-12 haploid products p_t * P(observed o | true t) for (t, o) =
  // (1,1), (1,2), (2,1), (2,2).
  Mat1<double> locus2gtypefre;
  int32_t l2lb = 1;  // first locus of the columns of locus2gtypefre

  // ---- Selfed offspring ----
  // prbgtopself(l)(c): probability of a selfed offspring's observation for
  // canonical (parent genotype, observation) class c.
  Vec1<std::vector<double>> prbgtopself;
  Vec1<double> prbgtopselfconst;

  // ---- Scaled family counts ----
  std::vector<double> scale2;  // scale2[k], k = 0..N
  double scale2const = 0.0;
  double scale2errorrate = -1.0;  // e of the exponent; < 0 until computed

  // ---- Locus classes and their division among processes ----
  // Each list starts with its length: locus3 loci with more than two
  // observed alleles; locus2 those with exactly two, codominant first;
  // locus1 those with at most one allele (no part in any likelihood).
  std::vector<int32_t> locus3{0};
  std::vector<int32_t> locus2{0};
  std::vector<int32_t> locus1{0};
  // snploc(1): codominant loci in locus2; snploc(2): dominant loci there.
  Arr1<int32_t, 2> snploc;
  // This process's positions in locus3, and in the codominant (1, 2) and
  // dominant (3, 4) parts of locus2.
  Arr1<int32_t, 2> l3thread;
  Arr1<int32_t, 4> l1thread;
  int32_t numloci23 = 0;
  int32_t nallallele = 0;
  int32_t converseq = 0;
  int32_t numestgenotype = 0;
  // Single-individual log likelihoods: offspring, and candidates by sex.
  Vec1<double> indivlogl;
  // The same with inbreeding, of an offspring alone in its family (and, in
  // a monoecious sample, alone as a selfed offspring): computed by the
  // family likelihood when first needed; a value above 0.1 marks one not
  // yet computed. Emptied whenever the per-locus tables are rebuilt.
  Vec1<double> inbindivlogl;
  Vec1<double> inbindivloglself;
  // Each offspring's as a selfed offspring of an unsampled parent (one-sex
  // samples with selfing only; empty otherwise).
  Vec1<double> indivloglself;
  Arr1<Vec1<double>, 2> candidatelogl;
  Arr1<double, 2> sumcndlogl;
  // Size-term constant lnG(2.25) + lnG(1.5) - lnG(1.25) - lnG(0.25).
  double sizetermconst = 0.0;

  // ---- Pairwise work ----
  // This process's share of the positions of locus2 (first, last).
  Arr1<int32_t, 2> l2thread;
  // One byte per offspring and locus2 position of this process's share,
  // offspring fastest: genotype code capped at 3.
  std::vector<uint8_t> indivgtype1;

  // ---- Relatedness of two offspring (clone inference) ----
  // Observed genotypes of the two individuals compared, per locus
  // (codominant: the allele pair; dominant: the phenotype and 0).
  Vec1<std::pair<int32_t, int32_t>> FirstG;
  Vec1<std::pair<int32_t, int32_t>> SecondG;
  // Per locus: the similarity two unrelated individuals are expected to
  // show (codominant), or half their chance of different phenotypes
  // (dominant).
  Vec1<double> LynchWgt;
  // ---- Genotyping-error-rate estimation of the results ----
  // Which rates of each locus are estimated: 1 dropout only, 2 other error
  // only, 3 both. For the locus being estimated (errratelocus): the number
  // of free rates, numerrorrate, the admissible interval of each,
  // rangeerrorrate(1, j) to rangeerrorrate(2, j), and the offset the
  // objective subtracts from the negative log likelihood (0 while the
  // estimate is sought, the minimum plus 2 while the interval limits are).
  Vec1<int8_t> locerrrateupdate;
  int32_t errratelocus = 0;
  int32_t numerrorrate = 0;
  Mat1<double> rangeerrorrate;
  double loglerrorrateconst = 0.0;
};

extern LikelihoodVar likelihoodvar;
