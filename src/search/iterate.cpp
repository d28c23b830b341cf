// The iterates of an annealing run.
#include "search/iterate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "numeric/random.h"
#include "runctl/parallel.h"
#include "search/archive.h"
#include "search/checkpoint.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/metropolis.h"
#include "search/move_evaluation.h"
#include "search/parentage_moves.h"
#include "search/prior.h"
#include "search/reversal.h"
#include "search/sibship_moves.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// One iterate's proposal, drawn from the configuration as it stands.
struct Proposal {
  Ran1State after;       // the random stream once everything of it is drawn
  int32_t idx = 0;       // the offspring moved
  int32_t dest = 0;      // destination cluster slot of a sibship move
  bool sibship = true;   // a sibship move (else a parentage move)
  bool prepared = false; // it passed the checks and is to be scored
  bool screened = false; // it goes through the quick pairwise screen first
  double screenu = 1.0;  // the screen's uniform
  AcceptanceDraw draw;
  PendingMove move;
};

// What the scoring of a proposal found, as every process receives it:
// status, the new and old log likelihoods of the clusters concerned (with
// the parent term), the new log prior and parent term, and the log
// likelihoods of the clusters formed (when there are few enough to send).
enum Status { kNotScored = 0, kScreenedOut = 1, kRefused = 2, kAccepted = 3 };
constexpr std::size_t kSentClusters = 24;
constexpr std::size_t kRecord = 6 + kSentClusters;

std::vector<Proposal> proposals;
std::vector<double> outcomes;

// Iterates at which the periodic special moves run.
bool SpecialIterate(int64_t it) { return it % 50 == 0 || it % 50 == 25; }

void DrawProposal(const SearchRun& run, Proposal& p) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  const int32_t N = v.smplsize;
  PendingMove& move = p.move;
  p.prepared = p.screened = false;
  // The kind of move: a parentage move changes the candidate of one
  // family of the side drawn; it is rarer while the temperature is high.
  a.MovingType = 1;
  int32_t side = 0;
  if (run.psib < 1.0 && ran1() >= run.psib + (1.0 - run.psib) * 0.5 * a.Rate) {
    a.MovingType = 2;
    side = run.pfather > 1.0 ? 1 : (run.pfather < 1e-300 ? 2 : (ran1() < run.pfather ? 1 : 2));
  }
  p.sibship = a.MovingType == 1;
  // The offspring to move, favouring those whose moves succeed.
  int32_t idx = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    idx = std::min(N, static_cast<int32_t>(std::floor(N * static_cast<double>(ran1()))) + 1);
    const double ratio = static_cast<double>(a.OffspringTrials(idx, 1)) / a.OffspringTrials(idx, 2);
    if (ran1() > std::sqrt(ratio)) continue;
    if (!p.sibship && !ParentageMovable(idx, HaploidOffspring(idx) ? 2 : side)) continue;
    break;
  }
  if (!p.sibship && HaploidOffspring(idx)) side = 2;
  p.idx = a.MoveIndiv = idx;
  a.MoveFamily(1) = v.CrIndivLoc(idx, 1);
  a.MoveFamily(2) = v.CrIndivLoc(idx, 2);
  move.opencandidate[0] = move.opencandidate[1] = 0;
  move.indiv = idx;
  if (!p.sibship) {
    // Candidates come from the short lists, which already screen them.
    const int32_t proposal = ParentageAssign(idx, side, move);
    if (proposal == 1) {
      UndoMove(move);
      p.prepared = true;
    } else if (proposal == 2 && CheckConfiguration(move.group)) {
      // The family joins the candidate's family.
      p.dest = a.HostFamily(3);
      ApplyMove(move, p.dest);
      UndoMove(move);
      p.prepared = true;
    }
  } else {
    int32_t partner = 0;
    p.dest = ChooseDestinationCluster(idx, partner);
    // Now and then the offspring takes its full sibs along: a family split
    // in two can then be joined again in one move.
    const int32_t mode = ran1() < 0.3 ? 2 : 1;
    MoveGroup(mode, idx, move.group);
    if (FindHostFamilyID(move.group, p.dest, partner) && CheckConfiguration(move.group)) {
      p.prepared = true;
      p.screened = run.screening;
      if (p.screened) p.screenu = ran1();
      // A new family may come with a sampled parent.
      for (int32_t k = 1; k <= 2; ++k) {
        if (a.HostFamily(k) > v.CrNumFamily(k) && v.numchild(k) > 0 && ran1() < 0.5) {
          move.opencandidate[k - 1] = DrawNewFamilyCandidate(idx, k, move.group);
        }
      }
      ApplyMove(move, p.dest);
      UndoMove(move);
    }
  }
  if (p.prepared) {
    ++a.OffspringTrials(idx, 2);
    p.draw = DrawAcceptance(run.lowerbound);
  }
  p.after = SaveRan1();
}

// Log likelihood of the clusters listed by offspring (the cluster tables
// as they stand).
double ClustersLogL(const std::vector<int16_t>& offspring) {
  const Variables& v = variables;
  static std::vector<int32_t> slots;
  slots.clear();
  double sum = 0.0;
  for (int16_t j : offspring) {
    const int32_t s = v.ClusterID(j);
    if (std::find(slots.begin(), slots.end(), s) == slots.end()) {
      slots.push_back(s);
      sum += v.CrFamilyLogL(s);
    }
  }
  return sum;
}

// Known sibships hold clusters together: their moves are judged at a
// temperature lowered by half the share of known labels they carry.
double KnownScale(const std::vector<int16_t>& offspring) {
  const Variables& v = variables;
  if (v.knownsibship.empty() || offspring.empty()) return 1.0;
  int32_t labels = 0;
  for (int16_t j : offspring) labels += (v.knownsibship(j, 1) > 0) + (v.knownsibship(j, 2) > 0);
  return 1.0 - 0.5 * annealvariables.Rate * labels / static_cast<double>(offspring.size());
}

// Scores proposal p and writes its outcome record.
void Score(const SearchRun& run, Proposal& p, double* record) {
  if (!p.prepared) return;
  PendingMove& move = p.move;
  if (p.screened) {
    const double gain = CalculatePairLogL2(move.group, move.newfamily, p.dest);
    if (!(gain > std::log(p.screenu) * run.screenT)) {
      record[0] = kScreenedOut;
      return;
    }
  }
  RedoMove(move);
  const double old = ClustersLogL(move.affected) + run.parentterm;
  double parentafter = run.parentterm;
  if (!move.changedparent.empty()) ComputeParentLogL(parentafter);
  const double newprior = CurrentLogPrior();
  const double threshold = AcceptanceThreshold(old, run.prior - newprior, p.draw, run.c.T, KnownScale(move.affected));
  const double fresh = ScoreMove(move, threshold - parentafter) + parentafter;
  const bool accept = Accepted(fresh, old, threshold, p.draw, annealvariables.Rate);
  UndoMove(move);
  record[0] = accept ? kAccepted : kRefused;
  record[1] = fresh;
  record[2] = old;
  record[3] = newprior;
  record[4] = parentafter;
  record[5] = static_cast<double>(move.components.size());
  if (accept && move.components.size() <= kSentClusters) {
    std::copy(move.componentlogl.begin(), move.componentlogl.end(), record + 6);
  }
}

// Keeps accepted proposal p (the same on every process).
void Keep(SearchRun& run, Proposal& p, const double* record) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  PendingMove& move = p.move;
  RedoMove(move);
  const std::size_t sent = static_cast<std::size_t>(record[5]);
  FormComponents(move);
  if (sent == move.components.size() && sent <= kSentClusters) {
    move.componentlogl.assign(record + 6, record + 6 + sent);
  } else {
    ScoreMove(move, -1e300);  // too many clusters to send: computed again
  }
  CommitMove(move);
  run.prior = record[3];
  run.parentterm = record[4];
  ++c.nsucc;
  ++c.acceptedsince;
  ++a.OffspringTrials(p.idx, 1);
  const double change = record[1] - record[2];
  c.nullmoves = std::fabs(change) < 0.001 ? c.nullmoves + 1 : 0;
  if (c.nullmoves > 1000) run.searchdone = true;
  TrackBest(run);
  if (c.archiving == 1 && c.repeat == 5 && v.CrLogLikelihood > v.MinLogLikelihood) {
    UseCurrentConfig();
    ArchiveConfigAdd(2, v.CrNumFamily(3));
  }
}

// Goes through the outcome of proposal p in the order of the iterates.
// Returns true when it was kept.
bool Settle(SearchRun& run, Proposal& p, const double* record) {
  SearchCounters& c = run.c;
  const int32_t status = static_cast<int32_t>(record[0]);
  if (p.prepared && p.screened) {
    ++run.screen.trials;
    if (status >= kRefused) ++run.screen.passes;
  }
  if (status >= kScreenedOut) {
    ++c.nfail1;
    ++c.nfail2;
  }
  if (status == kAccepted) Keep(run, p, record);
  return status == kAccepted;
}

// The bookkeeping at the start of an iterate: progress log, monitoring
// report and (at the start of a batch only, where the state is whole) the
// checkpoint.
void StartIterate(SearchRun& run, bool checkpoint) {
  SearchCounters& c = run.c;
  ++c.iters;
  ++c.runiterates;
  c.rate = annealvariables.Rate;
  c.S = run.screen.S;
  c.screentrials = run.screen.trials;
  c.screenpasses = run.screen.passes;
  if (ProgressRecordDue(c)) WriteMidResult(c);
  if (MonitorDue(c)) MonitorReport(c);
  if (c.runiterates % 1024 == 0) {
    UpdateProgress(c, annealvariables.NTemprature, variables.CrLogLikelihood, variables.btloglikelihood, false,
                   QuietTemperaturesToEnd(), kFrozenRate);
  }
  if (checkpoint && CheckpointDue(c)) SaveMidResult(c);
}

// The periodic special moves, on every process alike.
void SpecialMoves(SearchRun& run) {
  const Variables& v = variables;
  AnnealVariables& a = annealvariables;
  const int64_t it = run.c.runiterates;
  double (*prior)() = PriorMatters() ? &CurrentLogPrior : nullptr;
  bool changed = false;
  // Fathers and mothers of a cluster may exchange roles: halves of one
  // pedigree found with opposite roles cannot otherwise be joined one
  // offspring at a time.
  if (it % 100 == 0 && likelihoodvar.converseq == 1 && v.CrNumFamily(3) > 1) {
    int32_t c = 0;
    Reversal(run.c.T, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  // A whole family may join another parent of its sex, which single moves
  // reach only through unlikely half-way states.
  if (it % 50 == 25 && v.numsex == 2 && v.CrNumFamily(3) > 1) {
    int32_t c = 0;
    MergeFamilies(run.c.T, run.screenT, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  // In a haplodiploid sample without monogamy, two full-sib families may
  // exchange fathers.
  if (it % 100 == 0 && v.haplodiploid == 1 && v.anymonogamy == 0 && ran1() < a.Rate) {
    int32_t c = 0;
    SwapDadID(run.c.T, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  if (changed) {
    run.prior = CurrentLogPrior();
    UseCurrentConfig();
    ComputeParentLogL(run.parentterm);
    TrackBest(run);
  }
}

}  // namespace

void TrackBest(SearchRun& run) {
  Variables& v = variables;
  SearchCounters& c = run.c;
  if (!(v.CrLogLikelihood > v.btloglikelihood + 1e-8)) return;
  const double gain = v.CrLogLikelihood - v.btloglikelihood;
  v.BtIndivLoc = v.CrIndivLoc;
  v.BtInferParent = v.InferParent;
  v.BtNumFamily = v.CrNumFamily;
  v.btloglikelihood = v.CrLogLikelihood;
  UseCurrentConfig();
  FindAssignment(v.BtNumAssign);
  v.BtConfigPrior = run.prior;
  c.nfail1 = 0;
  ++c.improvements;
  ++c.tempimprovements;
  c.largestgain = std::max(c.largestgain, gain);
  if (gain > 0.01) c.nfail2 = 0;
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

void RunIterates(SearchRun& run) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  SearchCounters& c = run.c;
  StartIterate(run, true);
  if (SpecialIterate(c.runiterates)) SpecialMoves(run);
  // The proposals of the next iterates, up to one per process, stopping
  // before the next iterate with special moves.
  const int32_t width = std::max(v.numthreads, 1);
  if (proposals.size() < static_cast<std::size_t>(width)) proposals.resize(static_cast<std::size_t>(width));
  int32_t drawn = 0;
  while (drawn < width && (drawn == 0 || !SpecialIterate(c.runiterates + drawn))) {
    DrawProposal(run, proposals[static_cast<std::size_t>(drawn)]);
    ++drawn;
  }
  outcomes.assign(static_cast<std::size_t>(drawn) * kRecord, 0.0);
  // A lone proposal is scored by every process, which costs no exchange.
  for (int32_t j = 0; j < drawn; ++j) {
    if (drawn == 1 || OwnItem(j)) Score(run, proposals[static_cast<std::size_t>(j)], &outcomes[static_cast<std::size_t>(j) * kRecord]);
  }
  if (drawn > 1) ShareItems(outcomes);
  for (int32_t j = 0; j < drawn; ++j) {
    Proposal& p = proposals[static_cast<std::size_t>(j)];
    if (j > 0) StartIterate(run, false);
    const bool kept = Settle(run, p, &outcomes[static_cast<std::size_t>(j) * kRecord]);
    if (c.archiving == 0 && v.iarchive == 1 && c.iters > 10000 && static_cast<double>(c.nsucc) / c.iters < 0.2) {
      c.archiving = 1;
    }
    const Verdict verdict = EndOfTemperature(run.s, c, c.T, a.Tmr, v.CrNumFamily(3), v.CrLogLikelihood, v.btloglikelihood);
    if (verdict == Verdict::kEndTemperature) run.tempdone = true;
    if (verdict == Verdict::kEndSearch) run.searchdone = true;
    if (kept || run.tempdone || run.searchdone || j == drawn - 1) {
      // The proposals drawn after this one never happened.
      RestoreRan1(p.after);
      for (int32_t q = j + 1; q < drawn; ++q) {
        const Proposal& later = proposals[static_cast<std::size_t>(q)];
        if (later.prepared) --a.OffspringTrials(later.idx, 2);
      }
      break;
    }
  }
}
