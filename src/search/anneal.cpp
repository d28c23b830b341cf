// The simulated-annealing search of one run: from the initial
// configuration, one sibship move at a time, accepted by the Metropolis
// rule at a falling temperature, keeping the best configuration met.
#include "search/anneal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "numeric/random.h"
#include "runctl/messages.h"
#include "search/archive.h"
#include "search/checkpoint.h"
#include "search/cluster_cache.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/monitor.h"
#include "search/pair_screen.h"
#include "search/parentage_moves.h"
#include "search/prior.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

int32_t NearestInt(double x) { return static_cast<int32_t>(std::floor(x + 0.5)); }

// The starting temperature: the pairwise stage leaves it in its checkpoint;
// without one, the number of loci that take part in the likelihood.
double StartTemperature() {
  std::ifstream in(variables.midfilename(5));
  double t = 0.0;
  if (in && (in >> t) && t > 0.0 && std::isfinite(t)) return t;
  return std::max(1, likelihoodvar.numloci23);
}

// Log prior of the current configuration; without a sibship-size prior and
// without candidates it is 0 whatever the configuration.
bool PriorMatters() {
  return variables.priortype == 1 || variables.numchild(1) + variables.numchild(2) > 0;
}

double CurrentPrior() {
  if (!PriorMatters()) return 0.0;
  UseCurrentConfig();
  Arr1<int32_t, 4> counts;
  double prior = 0.0;
  // Any bound on the family sizes not below the largest family serves.
  ConfigurationPrior(counts, prior, 2 * variables.smplsize, variables.CrNumFamily);
  return prior;
}

void CopyCurrentToBest() {
  Variables& v = variables;
  v.BtIndivLoc = v.CrIndivLoc;
  v.BtInferParent = v.InferParent;
  v.BtNumFamily = v.CrNumFamily;
  v.btloglikelihood = v.CrLogLikelihood;
  UseCurrentConfig();
  FindAssignment(v.BtNumAssign);
}

// Numbers shown by the progress line: families of each side and clusters.
std::string ProgressText(int32_t tmr, double T, int64_t iterate, double seconds) {
  const Variables& v = variables;
  char line[256];
  std::snprintf(line, sizeof line,
                "Run %d, Tmr %d, T %.4g, Itr %lld, CrLogL %.4f, BtLogL %.4f, #F %d,%d, #C %d, %.1f s", v.krun, tmr, T,
                static_cast<long long>(iterate), v.CrLogLikelihood, v.btloglikelihood, v.CrNumFamily(1),
                v.CrNumFamily(2), v.CrNumFamily(3), seconds);
  return line;
}

}  // namespace

void Anneal(int32_t& stopflag, int32_t repeat) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  const int32_t N = v.smplsize;
  if (N < 1) return;
  SearchCounters c;
  if (stopflag == 1) {
    MonitorStart();
    // One stream for the whole program, seeded alike on every process so
    // that all processes make the same proposals in the same order.
    const int32_t seed = v.newseed != 0 ? v.newseed : v.i_seed;
    v.idum = seed == 0 ? -1 : -std::abs(seed == INT32_MIN ? INT32_MAX : seed);
  }
  MonitorRunStart();
  ClearClusterLogL();
  // A resumed execution goes on from the saved state of the run; anything
  // unreadable there means a fresh start. The initial configuration comes
  // first all the same: it sizes every configuration table, which the saved
  // state then fills.
  FirstConfig(v.krun);
  const bool resumed = stopflag == 1 && v.restart == 1 && ReadMidResult(c);
  double prior = 0.0;
  if (resumed) {
    SetInitCluster();
    SetInitConfigLogL(0);
    prior = CurrentPrior();
    if (v.runcutshortq == 1) {
      // Cut short on request: the saved best configuration is the result.
      stopflag = -1;
      c.finished = 1;
    }
  } else {
    SetInitConfigLogL(0);
    prior = CurrentPrior();
    CopyCurrentToBest();
    v.BtConfigPrior = prior;
    ArchiveConfigRemoveAll();
    if (stopflag == 1 || v.krun == 1) WriteMidResultHeader();
  }

  // ---- Schedule ----
  a.RatioTemprature = 0.92;
  a.NTemprature = v.fulllikelihoodmethodq == 0 ? 600 : 200;
  const double lnN = std::log(static_cast<double>(N));
  int32_t iterpertemp = NearestInt(N * (0.65 * lnN + 0.25) + 0.5);
  if (repeat < 5 && iterpertemp >= 41) iterpertemp /= 5;
  const int64_t iterlimit = static_cast<int64_t>(iterpertemp) * static_cast<int64_t>(std::pow(5.0, v.lengthrun + 1));
  const int64_t nsucclmt = static_cast<int64_t>(std::llround(0.5 * static_cast<double>(iterlimit)));
  // The quick pairwise screen, when the pair tables are there: its scale
  // starts high for informative markers and is lowered while most screened
  // proposals pass.
  const bool screening = v.fulllikelihoodmethodq == 1 && PairScreenAvailable();
  const double H = HeterozygositySum();
  ScreenScale screen;
  if (!resumed) {
    c.T = StartTemperature();
    c.S = 1.0 + std::log(2.72 + H);
    c.rate = 1.0;
    c.archiving = N <= 99 && v.iarchive == 1 ? 1 : 0;
    c.repeat = repeat;
    if (c.archiving == 1) {
      UseCurrentConfig();
      ArchiveConfigAdd(1, v.CrNumFamily(3));
    }
    a.OffspringTrials.assign(static_cast<std::size_t>(N), 2, 1000);
  }
  c.iterlimit = iterlimit;
  c.nsucclmt = nsucclmt;
  screen.S = c.S;
  screen.trials = c.screentrials;
  screen.passes = c.screenpasses;
  double& T = c.T;
  a.Rate = c.rate;
  v.MinLogLikelihood = v.bestlogl - 10.0;
  // Share of the offspring-by-side slots that carry a known sibship label.
  double known = 0.0;
  if (!v.knownsibship.empty()) {
    for (int32_t i = 1; i <= N; ++i) known += (v.knownsibship(i, 1) > 0) + (v.knownsibship(i, 2) > 0);
    known /= 2.0 * N;
  }
  for (int32_t k = 1; k <= 2; ++k) a.SibshipDone(k) = 0;

  int64_t& nfail1 = c.nfail1;
  int64_t& nfail2 = c.nfail2;
  int64_t& nullmoves = c.nullmoves;
  int64_t& runiterates = c.runiterates;
  int64_t& iters = c.iters;
  int64_t& nsucc = c.nsucc;
  int32_t& improvements = c.improvements;
  int32_t& tempimprovements = c.tempimprovements;
  double& largestgain = c.largestgain;
  int64_t& acceptedsince = c.acceptedsince;  // accepted moves, across temperatures
  bool searchdone = c.finished == 1;
  int32_t progress = 0;
  PendingMove move;
  std::vector<int32_t> touched;
  // Sibship and parentage moves: their mix, and the parent term of the
  // current configuration.
  double psib = 2.0, pfather = -1.0;
  ParentageSchedule(psib, pfather);
  double parentterm = 0.0;
  UseCurrentConfig();
  ComputeParentLogL(parentterm);
  // A resumed run continues inside the temperature it was saved in.
  bool midtemperature = resumed;
  for (a.Tmr = c.tmr; a.Tmr <= a.NTemprature && !searchdone; ++a.Tmr) {
    c.tmr = a.Tmr;
    if (!midtemperature) {
      for (int32_t i = 1; i <= N; ++i) a.OffspringTrials(i, 1) = a.OffspringTrials(i, 2) = 1000;
      a.Rate *= a.RatioTemprature;
      AdaptScreenScale(screen, v.allmonogamy == 1, v.quicksearchq == 1);
      iters = nsucc = nfail1 = 0;
      tempimprovements = 0;
      largestgain = 0.0;
    }
    midtemperature = false;
    const double lowerbound = std::min(std::pow(0.92, -a.Tmr) * 0.00001, 0.001);
    const double screenT = screen.S * T * std::exp(0.125 * a.Tmr / (H + 1.0));
    bool tempdone = false;
    while (!tempdone && !searchdone) {
      ++iters;
      ++runiterates;
      c.rate = a.Rate;
      c.S = screen.S;
      c.screentrials = screen.trials;
      c.screenpasses = screen.passes;
      if (ProgressRecordDue(c)) WriteMidResult(c);
      if (MonitorDue(c)) MonitorReport(c);
      if (CheckpointDue(c)) SaveMidResult(c);
      // Every 100 iterates, fathers and mothers of a cluster may exchange
      // roles: halves of one pedigree found with opposite roles cannot
      // otherwise be joined one offspring at a time.
      if (runiterates % 100 == 0 && likelihoodvar.converseq == 1 && v.CrNumFamily(3) > 1) {
        int32_t changed = 0;
        Reversal(T, a.Rate, changed);
        if (changed == 1) {
          prior = CurrentPrior();
          ComputeParentLogL(parentterm);
        }
      }
      // Every 50 iterates a whole family may join another parent of its
      // sex, which single moves reach only through unlikely half-way states.
      if (runiterates % 50 == 25 && v.numsex == 2 && v.CrNumFamily(3) > 1) {
        int32_t changed = 0;
        MergeFamilies(T, a.Rate, PriorMatters() ? &CurrentPrior : nullptr, changed);
        if (changed == 1) {
          prior = CurrentPrior();
          ComputeParentLogL(parentterm);
        }
      }
      // In a haplodiploid sample without monogamy, two full-sib families
      // may exchange fathers.
      if (runiterates % 100 == 0 && v.haplodiploid == 1 && v.anymonogamy == 0 && ran1() < a.Rate) {
        int32_t changed = 0;
        SwapDadID(T, a.Rate, PriorMatters() ? &CurrentPrior : nullptr, changed);
        if (changed == 1) prior = CurrentPrior();
      }
      // The kind of move: a parentage move changes the candidate of one
      // family of the side drawn; it is rarer while the temperature is high.
      a.MovingType = 1;
      int32_t side = 0;
      if (psib < 1.0 && ran1() >= psib + (1.0 - psib) * 0.5 * a.Rate) {
        a.MovingType = 2;
        side = pfather > 1.0 ? 1 : (pfather < 1e-300 ? 2 : (ran1() < pfather ? 1 : 2));
      }
      // The offspring to move, favouring those whose moves succeed.
      int32_t idx = 0;
      for (int attempt = 0; attempt < 1000; ++attempt) {
        idx = std::min(N, static_cast<int32_t>(std::floor(N * static_cast<double>(ran1()))) + 1);
        const double ratio = static_cast<double>(a.OffspringTrials(idx, 1)) / a.OffspringTrials(idx, 2);
        if (ran1() > std::sqrt(ratio)) continue;
        if (a.MovingType == 2 && !ParentageMovable(idx, HaploidOffspring(idx) ? 2 : side)) continue;
        break;
      }
      if (a.MovingType == 2 && HaploidOffspring(idx)) side = 2;
      a.MoveIndiv = idx;
      a.MoveFamily(1) = v.CrIndivLoc(idx, 1);
      a.MoveFamily(2) = v.CrIndivLoc(idx, 2);
      bool evaluate = false;
      if (a.MovingType == 2) {
        // Candidates come from the short lists, which already screen them.
        const int32_t proposal = ParentageAssign(idx, side, move);
        bool joined = false;
        if (proposal == 2 && CheckConfiguration(move.group)) {
          // The family joins the candidate's family.
          move.newcandidate[0] = move.newcandidate[1] = 0;
          move.indiv = idx;
          ApplyMove(move, a.HostFamily(3));
          joined = true;
        }
        evaluate = proposal == 1 || joined;
        if (evaluate) ++a.OffspringTrials(idx, 2);
      } else {
        const int32_t dest = ChooseDestinationCluster(idx);
        // Now and then the offspring takes its full sibs along: a family
        // split in two can then be joined again in one move.
        const int32_t mode = ran1() < 0.3 ? 2 : 1;
        MoveGroup(mode, idx, move.group);
        if (FindHostFamilyID(mode, idx, dest) && CheckConfiguration(move.group)) {
          ++a.OffspringTrials(idx, 2);
          bool pass = true;
          if (screening) {
            const int32_t host[2] = {a.HostFamily(1), a.HostFamily(2)};
            const double gain = CalculatePairLogL2(move.group, host, dest);
            ++screen.trials;
            pass = gain > std::log(static_cast<double>(ran1())) * screenT;
            if (pass) ++screen.passes;
          }
          evaluate = pass;
          if (!pass) {
            // Refused by the screen: an evaluated proposal that failed.
            ++nfail1;
            ++nfail2;
          }
        }
        if (evaluate) {
          // A new family may come with a sampled parent.
          for (int32_t k = 1; k <= 2; ++k) {
            move.newcandidate[k - 1] = 0;
            if (a.HostFamily(k) > v.CrNumFamily(k) && v.numchild(k) > 0 && ran1() < 0.5) {
              move.newcandidate[k - 1] = DrawNewFamilyCandidate(idx, k, move.group);
            }
          }
          move.indiv = idx;
          ApplyMove(move, dest);
        }
      }
      if (evaluate) {
        // The clusters the move touches, before it, and the parent term.
        double old = 0.0;
        touched.clear();
        for (int16_t j : move.affected) {
          const int32_t slot = v.ClusterID(j);
          if (std::find(touched.begin(), touched.end(), slot) == touched.end()) {
            touched.push_back(slot);
            old += v.CrFamilyLogL(slot);
          }
        }
        double parentafter = parentterm;
        if (!move.changedparent.empty()) ComputeParentLogL(parentafter);
        old += parentterm;
        const double u = lowerbound + (1.0 - lowerbound) * static_cast<double>(ran1());
        const double newprior = CurrentPrior();
        const double threshold = old + (prior - newprior) + std::log(u) * T;
        const double fresh = ScoreMove(move, threshold - parentafter) + parentafter;
        ++nfail1;
        ++nfail2;
        bool accept = fresh > threshold;
        if (accept && std::fabs(fresh - old) < 0.000001) accept = ran1() <= a.Rate;
        if (accept) {
          CommitMove(move);
          prior = newprior;
          parentterm = parentafter;
          ++nsucc;
          ++acceptedsince;
          ++a.OffspringTrials(idx, 1);
          nullmoves = std::fabs(fresh - old) < 0.001 ? nullmoves + 1 : 0;
          if (nullmoves > 1000) searchdone = true;
          if (v.CrLogLikelihood > v.btloglikelihood + 1e-8) {
            const double gain = v.CrLogLikelihood - v.btloglikelihood;
            CopyCurrentToBest();
            v.BtConfigPrior = prior;
            nfail1 = 0;
            ++improvements;
            ++tempimprovements;
            largestgain = std::max(largestgain, gain);
            if (gain > 0.01) nfail2 = 0;
            if (c.archiving == 1) {
              UseCurrentConfig();
              ArchiveConfigAdd(2, v.CrNumFamily(3));
            }
            if (v.btloglikelihood > v.bestlogl + 1e-8) {
              v.bestlogl = v.btloglikelihood;
              v.MinLogLikelihood = v.bestlogl - 10.0;
              ArchiveConfigRemove();
            }
          }
          if (c.archiving == 1 && repeat == 5 && v.CrLogLikelihood > v.MinLogLikelihood) {
            UseCurrentConfig();
            ArchiveConfigAdd(2, v.CrNumFamily(3));
          }
        } else {
          UndoMove(move);
        }
      }
      if (c.archiving == 0 && v.iarchive == 1 && iters > 10000 && static_cast<double>(nsucc) / iters < 0.2) c.archiving = 1;

      // ---- End of the temperature, or of the search: the first rule
      // that applies decides ----
      const double r = static_cast<double>(nsucc) / static_cast<double>(iters);
      const double m = v.fulllikelihoodmethodq == 0 ? 10.0 : 1.0;
      const double base = v.fulllikelihoodmethodq == 0 ? 0.3 : 0.15;
      const double gref = 0.01;  // the reference gain of the special moves
      if (iters > 100 * iterlimit) {
        tempdone = true;
      } else if (a.Tmr == 1 && iters > 1000 && r < base * (known > 0 ? std::exp(-(0.15 / base) * known) : 1.0)) {
        const double target = base * (known > 0 ? std::exp(-(0.15 / base) * known) : 1.0);
        double x = r > 0 ? std::log(r / target) / std::log(0.92) : 10.0;
        if (v.fulllikelihoodmethodq == 0) x *= 1.5;
        T /= std::pow(0.92, std::min(x, 10.0));
        tempdone = true;
      } else if (acceptedsince >= m * 100000 && r >= 0.15 && iters > m * 10000 && improvements <= 4) {
        acceptedsince = 0;
        tempdone = true;
      } else if (iters > 1000 && r >= 0.6) {
        T *= std::pow(0.92, std::floor(10 * r - 6));
        tempdone = true;
      } else if (iters > 1000 && ((r >= 0.35 && v.CrNumFamily(3) == 1) ||
                                  r > (1.1 - known) * (v.allmonogamy == 1 ? 0.2 : 0.4))) {
        tempdone = true;
      } else if (iters > 10000 && r <= 0.001 && a.Tmr > 5 &&
                 ((tempimprovements > 2 && largestgain <= gref) ||
                  (iters > 9000000.0 * lnN &&
                   (r <= 0.0001 || (nsucc == 0 && std::fabs(v.CrLogLikelihood - v.btloglikelihood) < 0.01))))) {
        searchdone = true;
      } else if (iters > N * lnN + 10000 && r <= 1e-8) {
        tempdone = true;
        if ((nsucc == 0 || r < 0.000001) && runiterates > 500 * iterlimit) searchdone = true;
      } else if (r < 0.1 && tempimprovements > 9 && largestgain <= 2.0) {
        tempimprovements = 0;
        largestgain = 0.0;
        tempdone = true;
      } else if (a.Tmr >= 2 && (improvements == 0 || nsucc > m * 100000 * improvements) &&
                 ((r >= 0.6 && iters >= std::llround(m * 1000 * std::exp(6 * (1 - r)))) ||
                  (r >= 0.3 && r < 0.6 && nsucc >= m * std::max<int64_t>(10000, nsucclmt / 100) &&
                   nfail1 > m * iters - nsucc * std::exp(8 * r) * 0.000001) ||
                  (r >= 0.1 && r < 0.3 && iters > m * 100000 * std::exp(-r)))) {
        tempdone = true;
      } else if (nsucc >= nsucclmt) {
        tempdone = true;
      } else if ((nfail1 == nfail2 ? 2 : 1) * nfail1 >= 8 * iterlimit) {
        tempdone = true;
      } else if (nfail2 >= 40 * iterlimit &&
                 ((iters > 9999 && 0.01 * std::exp(-6.0 * 40 * iterlimit / static_cast<double>(nfail2)) > r) ||
                  nfail2 >= 200 * iterlimit)) {
        searchdone = true;
      }
    }
    // One progress item per temperature: rewritten in place on a console,
    // one line each for a front end.
    if (v.displayq != 0 && v.screenq != 0) {
      WriteProgress(progress, 1, ProgressText(a.Tmr, T, runiterates, RunSeconds(c)));
    }
    T *= a.RatioTemprature;
  }
  if (v.displayq != 0 && v.showq != 0) std::cout << std::endl;
  if (v.displayq != 0) {
    std::printf("Run %d: best log likelihood %.4f after %lld iterates, %.1f s\n", v.krun, v.btloglikelihood,
                static_cast<long long>(runiterates), RunSeconds(c));
  }
  a.Temperature = T;
  a.Iterate = runiterates;
  // The best configuration always stands in the run's archive, so that the
  // best of several runs can be chosen from their copies.
  UseBestConfig();
  ArchiveConfigAdd(1, v.BtNumFamily(3));
  UseCurrentConfig();
  c.finished = 1;
  c.tmr = std::min(a.Tmr, a.NTemprature);
  c.rate = a.Rate;
  SaveMidResult(c);
}
