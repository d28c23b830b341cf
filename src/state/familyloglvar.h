// State group `familyloglvar`: the families handed to the likelihood
// engine. The configuration search lays out the clusters it wants scored
// here; the engine reads nothing else about the configuration.
#pragma once

#include <cstdint>
#include <vector>

struct FamilyLoglVar {
  // A parent of the families being scored. sex 1 father, 2 mother (in a
  // monoecious sample one parent may be father of some families and mother
  // of others); candidate: index in that sex's candidate list, 0 when the
  // parent is not sampled.
  struct Parent {
    int32_t sex = 1;
    int32_t candidate = 0;
  };
  // A full-sib family: its two parents (indexes into `parents`; father -1
  // for haploid offspring, who have a mother only) and its offspring.
  struct Family {
    int32_t father = -1;
    int32_t mother = -1;
    std::vector<int32_t> members;
  };
  std::vector<Parent> parents;
  std::vector<Family> families;
  // Offspring counts of the separate clusters laid out together, which are
  // scored at once as the sum of their log likelihoods (each with its own
  // size term); empty when the families form one cluster.
  std::vector<int64_t> parts;
};

extern FamilyLoglVar familyloglvar;
