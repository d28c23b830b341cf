// Clone inference: which members of each full-sib family of the best
// configuration are one individual sampled more than once. Owns the
// relatedness estimate between two offspring, the grouping of a family's
// members by that estimate, the likelihood of a family's clone groups, and
// the clone groups of the best configuration with their probabilities.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "state/arrays.h"

// LynchWgt(l) for every locus from the allele frequencies of the likelihood
// (obsallelefre): at a codominant locus the expected similarity of two
// unrelated individuals, at a dominant locus half their chance of showing
// different phenotypes.
void SetLynchWgt();

// FirstG / SecondG (per locus) = the observed genotypes of offspring i / j.
void SetFirstG(int32_t i);
void SetSecondG(int32_t j);

// Relatedness estimate between the individual in FirstG and offspring j.
double R_Li_Lynch(int32_t j);

// Groups k members by their pairwise estimates r[a * k + b] (0-based a, b):
// the two groups of the largest mean r over their member pairs merge while
// that mean reaches 0.35000001 (ties: the last pair met in the scan).
// Returns the group of each member, 1, 2, ... in order of first member.
std::vector<int32_t> CloneGrouping(const std::vector<double>& r, int32_t k);

// The likelihood of the clone groups of one full-sib family. Members of one
// clone group are one individual: they share one true genotype, each copy
// observed independently through the error model. Distinct groups are
// distinct full sibs: their genotypes are drawn independently from the
// genotypes of the two parents (one parent when the family is selfed),
// which are summed over their population frequencies, weighted by their own
// observations when they are sampled candidates. Alleles that neither the
// members nor the sampled parents show are pooled into one allele at each
// locus.
class CloneFamily {
 public:
  // members: offspring of one full-sib family; father/mother: candidate
  // indexes of its parents (0 unsampled); selfed: one parent in both roles.
  CloneFamily(std::vector<int32_t> members, int32_t father, int32_t mother, bool selfed);

  // A clone configuration: groups of positions into members().
  using Groups = std::vector<std::vector<int32_t>>;

  // Log likelihood of the configuration at the family's locus k (0-based)
  // and over all loci.
  double FsConfig(std::size_t k, const Groups& groups) const;
  double FsConfigLog(const Groups& groups) const;

  // Probability of group g of the configuration against its nearest
  // alternatives: each member of g standing apart as a full sib of its
  // own, and g being one individual with any other group of the family
  // (the configurations weighed alike beforehand).
  double SingleClonePrb(const Groups& groups, std::size_t g) const;

  const std::vector<int32_t>& members() const { return members_; }
  std::size_t numloci() const { return loci_.size(); }

  // The per-locus sums of a configuration, from which the likelihood of a
  // configuration that differs from it in a few groups follows quickly:
  // per locus and parental pair, the log prior plus the logs of the
  // nonzero group terms, and the number of zero group terms; the pairs
  // that can matter after a join of groups; the log likelihood.
  struct Base {
    std::vector<std::vector<double>> logsum;
    std::vector<std::vector<int32_t>> zeros;
    std::vector<std::vector<std::size_t>> active;
    double total = 0.0;
  };
  Base MakeBase(const Groups& groups) const;
  // Log likelihood of `groups` with the groups `removed` (indexes into
  // groups) replaced by `added`, from the base of `groups`; join: the added
  // groups are unions of the removed ones.
  double Replace(const Base& base, const Groups& groups, const std::vector<std::size_t>& removed, const Groups& added,
                 bool join) const;
  double SingleClonePrb(const Base& base, const Groups& groups, std::size_t g) const;

  // The tables of one locus. Parental genotype pairs: log prior weight,
  // the diploid offspring genotype of each of the four equally likely
  // transmissions, and the two alleles a haploid offspring may take from
  // its mother. Per member: the probability of its observation given each
  // true genotype (haploid: each allele) over the alleles in play.
  struct Locus {
    int32_t l = 0;
    int32_t m = 0;  // alleles in play, the pooled one included
    std::vector<double> prior;
    std::vector<std::array<int32_t, 4>> dip;
    std::vector<std::array<int32_t, 2>> hap;
    std::vector<std::vector<double>> obs;
  };

 private:
  bool Haploid(const std::vector<int32_t>& group) const;

  std::vector<int32_t> members_;
  std::vector<uint8_t> haploid_;
  std::vector<Locus> loci_;
};

// The whole step on the best configuration: every full-sib family is split
// into clone groups with their probabilities, giving IndivLoc3, CloneConfig
// and CloneProb (state group `variables`).
void FindClone();

// ".BestClone": the clone groups of the best configuration with their
// probabilities and members.
void WriteBestClone();
