// The pairwise-score likelihood along random walks: each move's change against
// totals from scratch, and those against a brute-force sum over every pair.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numeric/random.h"
#include "pairwise/dyad_tables.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
#include "search/pair_screen.h"
#include "search/parentage_moves.h"
#include "search/reversal.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

enum class Kind { kDioecious, kHaplodiploid, kSelfing };

// A simulated project under the pairwise-score method: a few parents (some
// selfing in a one-sex sample), haploid sons in a haplodiploid one, typing
// errors, most parents and one unrelated individual among the candidates, and
// in a dioecious sample one candidate father known for his first offspring.
std::string SimulatedProject(Kind kind) {
  const int offspring = 36, loci = 10, alleles = 5;
  std::mt19937 rng(5);
  auto uniform = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  const bool haplo = kind == Kind::kHaplodiploid, pool = kind == Kind::kSelfing;
  using Genotype = std::vector<std::pair<int, int>>;  // second 0: haploid
  auto founder = [&](bool haploid) {
    Genotype g;
    for (int l = 0; l < loci; ++l) g.emplace_back(1 + uniform(alleles), haploid ? 0 : 1 + uniform(alleles));
    return g;
  };
  auto gamete = [&](const Genotype& g, int l) {
    return g[static_cast<std::size_t>(l)].second == 0 || uniform(2) == 0 ? g[static_cast<std::size_t>(l)].first
                                                                        : g[static_cast<std::size_t>(l)].second;
  };
  const int parents = 4;
  std::vector<Genotype> dads, mums;
  for (int p = 0; p <= parents; ++p) dads.push_back(founder(haplo));  // the last one unrelated
  for (int p = 0; p <= parents; ++p) mums.push_back(founder(false));
  if (pool) mums = dads;
  auto observe = [&](int allele) { return uniform(50) == 0 ? 1 + uniform(alleles) : allele; };
  std::string text = "'pairs'\npw\n" + std::to_string(offspring) + "\n" + std::to_string(loci) + "\n3\n0\n" +
                     (pool ? "1\n1\n0\n" : haplo ? "2\n0\n1\n" : "2\n0\n0\n") +
                     "0 0\n0\n0\n0\n0\n1\n1\n0\n1000\n0\n0\n1\nMK@\n0@\n0.02@\n0.02@\n";
  std::string known = "0 0\n";
  for (int i = 1; i <= offspring; ++i) {
    const int d = uniform(parents), m = pool && uniform(4) == 0 ? d : uniform(parents);
    if (kind == Kind::kDioecious && d > 0 && known.size() == 4) {
      known = "1 " + std::to_string(loci) + "\nO" + std::to_string(i) + " D" + std::to_string(d) + "\n";
    }
    const bool son = haplo && i % 3 == 0;  // every third offspring
    text += "O" + std::to_string(i);
    for (int l = 0; l < loci; ++l) {
      const int a = gamete(mums[static_cast<std::size_t>(m)], l);
      if (son) {
        text += " " + std::to_string(observe(a)) + " -99";
      } else {
        text += " " + std::to_string(observe(gamete(dads[static_cast<std::size_t>(d)], l))) + " " +
                std::to_string(observe(a));
      }
    }
    text += "\n";
  }
  text += "0.5 0.5\n" + std::to_string(parents) + " " + std::to_string(parents) + "\n";
  for (int s = 0; s < 2; ++s) {
    const std::vector<Genotype>& list = s == 0 ? dads : mums;
    for (int p = 1; p <= parents; ++p) {
      text += std::string(pool ? "P" : s == 0 ? "D" : "M") + std::to_string(p);
      for (const auto& [a, b] : list[static_cast<std::size_t>(p)]) {
        text += " " + std::to_string(a) + " " + (b == 0 ? std::string("-99") : std::to_string(b));
      }
      text += "\n";
    }
  }
  return text + known + "0 0\n0\n0\n0\n0\n0\n0\n";
}

class PairScoreTest : public PedkinTest {
 protected:
  void Load(Kind kind) {
    ResetState();
    PrepareProject("pw.dat", SimulatedProject(kind));
    ASSERT_EQ(variables.fulllikelihoodmethodq, 0);
    variables.idum = -5;
    FirstConfig(1);
    SetInitConfigLogL(0);
    annealvariables.OffspringTrials.assign(static_cast<std::size_t>(variables.smplsize), 2, 1000);
    SetPartners();
  }

  static double Recomputed() {
    UseCurrentConfig();
    SetInitCluster();
    double total = 0.0;
    CalculateCrrtPairLogL(total);
    return total;
  }
};

// Brute force: every pair of offspring, every offspring with every
// candidate, each under the relationship its parents give it.
double BruteForceTotal() {
  const Variables& v = variables;
  const Mat1<int32_t>& loc = v.CrIndivLoc;
  const int32_t n = v.smplsize;
  const bool pool = v.numsex == 1;
  auto haploid = [&](int32_t i) { return v.haplodiploid == 1 && v.offploid(i) == 1; };
  auto selfed = [&](int32_t i) { return pool && v.allowinbreeding == 1 && loc(i, 1) == loc(i, 2); };
  auto single = [&](int32_t i) {
    return selfed(i) ? likelihoodvar.indivloglself(i) : likelihoodvar.indivlogl(i);
  };
  double total = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i + 1; j <= n; ++j) {
      double pair = single(i) + single(j);
      if (pool) {
        const int32_t a1 = loc(i, 1), a2 = loc(i, 2), b1 = loc(j, 1), b2 = loc(j, 2);
        const int shared = (a1 == b1 || a1 == b2) + (a2 != a1 && (a2 == b1 || a2 == b2));
        if (selfed(i) && selfed(j)) {
          if (a1 == b1) pair = SelfSelfDyadLogL(i, j);
        } else if (selfed(i) || selfed(j)) {
          if (shared > 0) pair = selfed(i) ? SelfOutDyadLogL(i, j) : SelfOutDyadLogL(j, i);
        } else if (shared == 2) {
          pair = OffspringDyadLogL(kFullSibDyad, i, j);
        } else if (shared == 1) {
          pair = OffspringDyadLogL(kPaternalHalfSibDyad, i, j);
        }
      } else {
        const bool father = !haploid(i) && !haploid(j) && loc(i, 1) == loc(j, 1);
        const bool mother = loc(i, 2) == loc(j, 2);
        if (haploid(i) || haploid(j)) {
          if (mother) pair = OffspringDyadLogL(haploid(i) && haploid(j) ? kFullSibDyad : kMaternalHalfSibDyad, i, j);
        } else if (father && mother) {
          pair = OffspringDyadLogL(kFullSibDyad, i, j);
        } else if (father) {
          pair = OffspringDyadLogL(kPaternalHalfSibDyad, i, j);
        } else if (mother) {
          pair = OffspringDyadLogL(kMaternalHalfSibDyad, i, j);
        }
      }
      total += pair;
    }
  }
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t s = 1; s <= (pool ? 1 : 2); ++s) {
      if (s == 1 && haploid(i)) continue;  // a son has no father
      for (int32_t c = 1; c <= v.numchild(s); ++c) {
        const bool assigned =
            pool ? v.InferParent(i, 1) == c || v.InferParent(i, 2) == c : v.InferParent(i, s) == c;
        double pair = single(i) + likelihoodvar.candidatelogl(s)(c);
        if (assigned) pair = selfed(i) ? ParentSelfedDyadLogL(c, i) : ParentDyadLogL(s, i, c);
        total += pair;
      }
    }
  }
  return total;
}

// Each change, kept or not, scored from the pairs it touches (on one thread as
// on two) equals the difference of totals from scratch; after each kept change
// the running total, every offspring's share and the brute-force sum agree.
TEST_F(PairScoreTest, RandomWalkChangesEqualTheRecomputedTotals) {
  for (const Kind kind : {Kind::kDioecious, Kind::kHaplodiploid, Kind::kSelfing}) {
    SCOPED_TRACE("sample kind " + std::to_string(static_cast<int>(kind)));
    Load(kind);
    if (HasFatalFailure()) return;
    Variables& v = variables;
    const int32_t n = v.smplsize;
    int scored = 0, kept = 0, threaded = 0, special = 0;
    auto tolerance = [](double x) { return 1e-9 * std::fabs(x); };
    auto expect_current = [&](const std::string& when) {
      std::vector<double> shares = annealvariables.PairShare.raw();
      const double running = v.CrLogLikelihood;
      const double total = Recomputed();
      ASSERT_NEAR(running, total, tolerance(total)) << when;
      const double brute = BruteForceTotal();
      ASSERT_NEAR(total, brute, tolerance(brute)) << when;
      SetPairScores();
      for (int32_t i = 1; i <= n; ++i) {
        const double share = annealvariables.PairShare(i);
        ASSERT_NEAR(shares[static_cast<std::size_t>(i - 1)], share, tolerance(share))
            << when << ", offspring " << i;
      }
    };
    PendingMove move;
    for (int step = 0; step < 3000; ++step) {
      if (step % 600 == 0) {
        FirstConfig(1);
        SetInitConfigLogL(0);
      }
      const int32_t i = 1 + static_cast<int32_t>(ran1() * n) % n;
      const double u = ran1();
      if (u < 0.1) {
        int32_t changed = 0;
        const double draw = ran1();
        if (draw < 0.4) {
          MergeFamilies(50.0, 50.0, 1.0, nullptr, changed);
        } else if (draw < 0.7) {
          SwapDadID(50.0, 1.0, nullptr, changed);
        } else {
          Reversal(50.0, 1.0, [] { return 0.0; }, changed);
        }
        if (changed == 0) continue;
        ++special;
        expect_current("special move at step " + std::to_string(step));
        if (HasFatalFailure()) return;
        continue;
      }
      if (u < 0.35) {
        const int32_t k = HaploidOffspring(i) || ran1() < 0.5 ? 2 : 1;
        const int32_t proposal = ParentageAssign(i, k, move);
        if (proposal == 0) continue;
        if (proposal == 2) {
          if (!CheckConfiguration(move.group)) continue;
          move.opencandidate[0] = move.opencandidate[1] = 0;
          move.indiv = i;
          ApplyMove(move, annealvariables.HostFamily(3));
        }
      } else {
        MoveGroup(ran1() < 0.5 ? 2 : 1, i, move.group);
        int32_t partner = 0;
        const int32_t dest = ChooseDestinationCluster(i, partner);
        if (!FindHostFamilyID(move.group, dest, partner) || !CheckConfiguration(move.group)) continue;
        move.indiv = i;
        move.opencandidate[0] = move.opencandidate[1] = 0;
        for (int32_t k = 1; k <= 2; ++k) {
          if (annealvariables.HostFamily(k) > v.CrNumFamily(k) && ran1() < 0.5) {
            move.opencandidate[k - 1] = DrawNewFamilyCandidate(i, k, move.group);
          }
        }
        ApplyMove(move, dest);
      }
      const double before = v.CrLogLikelihood;
      const double change = ScoreMove(move, -1e300) - ClustersLogL(move.affected);
      if (move.group.size() * move.affected.size() > 100) {
        const int levels = omp_get_max_active_levels();
        omp_set_max_active_levels(0);
        const double alone = ScoreMove(move, -1e300) - ClustersLogL(move.affected);
        omp_set_max_active_levels(levels);
        ASSERT_EQ(alone, change) << "step " << step;
        ++threaded;
      }
      ++scored;
      const double after = Recomputed();
      ASSERT_NEAR(before + change, after, tolerance(after)) << "step " << step;
      UndoMove(move);
      SetInitCluster();
      if (ran1() < 0.75) {
        RedoMove(move);
        CommitMove(move);
        ++kept;
        expect_current("step " + std::to_string(step));
        if (HasFatalFailure()) return;
      }
    }
    EXPECT_GT(scored, 1500);
    EXPECT_GT(kept, 1000);
    EXPECT_GT(threaded, 10);
    EXPECT_GT(special, kind == Kind::kSelfing ? -1 : 20);
  }
}

}  // namespace
