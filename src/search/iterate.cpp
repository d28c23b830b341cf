// The iterates of an annealing run.
#include "search/iterate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "numeric/random.h"
#include "runctl/parallel.h"
#include "search/archive.h"
#include "search/check_result.h"
#include "search/checkpoint.h"
#include "search/configuration.h"
#include "search/family_merge.h"
#include "search/frequency_update.h"
#include "search/metropolis.h"
#include "search/move_evaluation.h"
#include "search/pair_score.h"
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
  Ran1State after;       // the main random stream once its seed is drawn
  int32_t seed = 1;      // the seed of the proposal's own stream
  bool drawn = false;    // drawn on this process
  int32_t idx = 0;       // the offspring moved
  int32_t dest = 0;      // destination cluster slot of a sibship move
  int32_t host[2] = {0, 0};  // its destination families
  bool applied = false;  // the move's changes are recorded (ApplyMove done)
  bool sibship = true;   // a sibship move (else a parentage move)
  bool prepared = false; // it passed the checks and is to be scored
  bool screened = false; // it goes through the quick pairwise screen first
  double screenu = 1.0;  // the screen's uniform
  AcceptanceDraw draw;
  PendingMove move;
};

// What the scoring of a proposal found: its status, the new and old log
// likelihoods of the clusters concerned (with the parent term), and the
// new log prior and parent term.
enum Status { kNotScored = 0, kScreenedOut = 1, kRefused = 2, kAccepted = 3 };
struct Outcome {
  Status status = kNotScored;
  double fresh = 0.0, old = 0.0, newprior = 0.0, parentafter = 0.0;
};

std::vector<Proposal> proposals;
std::vector<Outcome> outcomes;

// What every process learns of a proposal drawn and screened elsewhere:
// whether it passed the checks, whether it went through the screen and
// passed it, and the offspring it moves.
struct ScreenRecord {
  bool prepared = false, screened = false, passed = false;
  int32_t idx = 0;
};
std::vector<ScreenRecord> screens;
std::vector<double> exchanged;  // the records, three numbers each, as exchanged

// Iterates at which the periodic special moves run: every hundredth. They
// change the configuration outside the proposals drawn ahead, so the
// proposals of one batch stop before them.
bool SpecialIterate(int64_t it) { return it % 100 == 0; }

void DrawProposal(const SearchRun& run, Proposal& p) {
  Variables& v = variables;
  AnnealVariables& a = annealvariables;
  const int32_t N = v.smplsize;
  PendingMove& move = p.move;
  p.prepared = p.screened = p.applied = false;
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
      p.prepared = p.applied = true;
    } else if (proposal == 2 && CheckConfiguration(move.group)) {
      // The family joins the candidate's family.
      p.dest = a.HostFamily(3);
      p.host[0] = a.HostFamily(1);
      p.host[1] = a.HostFamily(2);
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
      p.host[0] = a.HostFamily(1);
      p.host[1] = a.HostFamily(2);
      // The move is put into the configuration only if it is scored.
    }
  }
  if (p.prepared) p.draw = DrawAcceptance(run.lowerbound);
}

// Draws proposal p from its own stream, leaving the main stream as it was.
void DrawOwnStream(const SearchRun& run, Proposal& p) {
  const Ran1State main = SaveRan1();
  RestoreRan1({-p.seed, 0, -1});  // a non-positive state reseeds the generator
  DrawProposal(run, p);
  RestoreRan1(main);
  p.drawn = true;
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

// The quick pairwise screen of proposal p: false when it is refused there.
bool PassesScreen(const SearchRun& run, const Proposal& p) {
  if (!p.screened) return true;
  const double gain = Screen(p.move.group, p.host, p.dest);
  return gain > std::log(p.screenu) * run.screenT;
}

// Scores proposal p (prepared, past the screen): every process together,
// the loci shared among them.
Outcome Score(const SearchRun& run, Proposal& p) {
  PendingMove& move = p.move;
  Outcome out;
  if (p.applied) {
    RedoMove(move);
  } else {
    AnnealVariables& a = annealvariables;
    a.HostFamily(1) = p.host[0];
    a.HostFamily(2) = p.host[1];
    a.HostFamily(3) = p.dest;
    ApplyMove(move, p.dest);
    p.applied = true;
  }
  out.old = ClustersLogL(move.affected) + run.parentterm;
  out.parentafter = run.parentterm;
  if (!move.changedparent.empty()) ComputeParentLogL(out.parentafter);
  out.newprior = CurrentLogPrior();
  const double threshold = AcceptanceThreshold(out.old, run.prior - out.newprior, p.draw, run.c.T, KnownScale(move.affected));
  out.fresh = ScoreMove(move, threshold - out.parentafter) + out.parentafter;
  out.status = Accepted(out.fresh, out.old, threshold, p.draw, annealvariables.Rate) ? kAccepted : kRefused;
  // The clusters formed keep their log likelihoods in the move, for Keep.
  UndoMove(move);
  return out;
}

// Proposals drawn ahead at once: about half the proposals an acceptance
// takes at the present success rate (those after an accepted one are drawn
// and screened for nothing), at least one per process, at most a hundred
// per process. One process draws one at a time.
int32_t BatchWidth(const SearchCounters& c) {
  const int32_t np = std::max(variables.numthreads, 1);
  if (np == 1) return 1;
  const double r = (static_cast<double>(c.nsucc) + 1.0) / (static_cast<double>(c.iters) + 1.0);
  return static_cast<int32_t>(std::clamp(0.5 / r, static_cast<double>(np), 100.0 * np));
}

// Accepted moves between two estimates of the allele frequencies: more at
// the first temperatures, where the configuration is far from settled.
int64_t FrequencyUpdateInterval(int32_t tmr) {
  const float k = static_cast<float>(std::max(likelihoodvar.numloci23 / 2, 5)) * (100.0f / static_cast<float>(tmr) + 1.0f);
  return std::lround(k);
}

// Keeps accepted proposal p (every process alike).
void Keep(SearchRun& run, Proposal& p, const Outcome& out) {
  Variables& v = variables;
  SearchCounters& c = run.c;
  RedoMove(p.move);
  CommitMove(p.move);
  run.prior = out.newprior;
  run.parentterm = out.parentafter;
  ++c.nsucc;
  ++c.acceptedsince;
  run.pendingtrials.push_back(p.idx);  // counted as accepted (positive)
  c.nullmoves = std::fabs(out.fresh - out.old) < 0.001 ? c.nullmoves + 1 : 0;
  if (c.nullmoves > 1000) run.searchdone = true;
  TrackBest(run);
  CheckRunningLogL(c.runiterates, "Anneal");
  if (v.checkmode > 0) CheckResult(c.runiterates, run.prior, run.parentterm);
  // While the frequencies still move, configurations scored under them
  // are not kept: only once the search settles (few successes).
  const bool moving = v.updateallelefre == 1 && c.iters > 1000 && static_cast<double>(c.nsucc) > 0.1 * c.iters;
  if (c.archiving == 1 && c.repeat == 5 && v.CrLogLikelihood > v.MinLogLikelihood && !moving) {
    UseCurrentConfig();
    ArchiveConfigAdd(2, v.CrNumFamily(3));
  }
  if (v.updateallelefre == 1 && !PairScoreMethod()) {
    ++run.sinceupdate;
    if (run.sinceupdate >= FrequencyUpdateInterval(annealvariables.Tmr) &&
        static_cast<double>(c.nsucc) < 0.7 * static_cast<double>(c.iters)) {
      UpdateFrequencies(run);
    }
  }
}

// Goes through the outcome of proposal p (its screen as every process
// received it) in the order of the iterates. Returns true when it was kept.
bool Settle(SearchRun& run, Proposal& p, const ScreenRecord& screen, const Outcome& out) {
  SearchCounters& c = run.c;
  if (screen.prepared) run.pendingtrials.push_back(-screen.idx);  // counted as proposed (negative)
  if (screen.prepared && screen.screened) {
    ++run.screen.trials;
    if (out.status >= kRefused) ++run.screen.passes;
  }
  if (out.status >= kScreenedOut) {
    ++c.nfail1;
    ++c.nfail2;
  }
  if (out.status == kAccepted) Keep(run, p, out);
  return out.status == kAccepted;
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
  double (*prior)() = PriorMatters() ? &CurrentLogPrior : nullptr;
  bool changed = false;
  // Fathers and mothers of a cluster may exchange roles: halves of one
  // pedigree found with opposite roles cannot otherwise be joined one
  // offspring at a time.
  if (likelihoodvar.converseq == 1 && v.CrNumFamily(3) > 1) {
    int32_t c = 0;
    Reversal(run.c.T, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  // A whole family may join another parent of its sex, which single moves
  // reach only through unlikely half-way states.
  if (v.numsex == 2 && v.CrNumFamily(3) > 1) {
    int32_t c = 0;
    MergeFamilies(run.c.T, run.screenT, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  // In a haplodiploid sample without monogamy, two full-sib families may
  // exchange fathers.
  if (v.haplodiploid == 1 && v.anymonogamy == 0 && ran1() < a.Rate) {
    int32_t c = 0;
    SwapDadID(run.c.T, a.Rate, prior, c);
    changed = changed || c == 1;
  }
  if (changed) {
    run.prior = CurrentLogPrior();
    UseCurrentConfig();
    ComputeParentLogL(run.parentterm);
    TrackBest(run);
    CheckRunningLogL(run.c.runiterates, "Anneal");
    if (v.checkmode > 0) CheckResult(run.c.runiterates, run.prior, run.parentterm);
  }
}

}  // namespace

void UpdateFrequencies(SearchRun& run) {
  Update(0, true);
  run.sinceupdate = 0;
  UseCurrentConfig();
  ComputeParentLogL(run.parentterm);
  // Under the new frequencies the current configuration may be the better.
  TrackBest(run);
}

void CopyCurrentToBest(const SearchRun& run) {
  Variables& v = variables;
  v.BtIndivLoc = v.CrIndivLoc;
  v.BtInferParent = v.InferParent;
  v.BtNumFamily = v.CrNumFamily;
  v.btloglikelihood = v.CrLogLikelihood;
  UseCurrentConfig();
  FindAssignment(v.BtNumAssign);
  v.BtConfigPrior = run.prior;
}

void TrackBest(SearchRun& run) {
  Variables& v = variables;
  SearchCounters& c = run.c;
  if (!(v.CrLogLikelihood > v.btloglikelihood + 1e-8)) return;
  const double gain = v.CrLogLikelihood - v.btloglikelihood;
  CopyCurrentToBest(run);
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
  if (SpecialIterate(c.runiterates)) {
    ApplyTrials(run);
    SpecialMoves(run);
  }
  // The proposals of the next iterates, stopping before the next iterate
  // with special moves: their seeds in order from the main stream, then
  // each process draws and screens its share of them from their own
  // streams.
  const int32_t width = BatchWidth(c);
  if (proposals.size() < static_cast<std::size_t>(width)) proposals.resize(static_cast<std::size_t>(width));
  int32_t count = 0;
  while (count < width && (count == 0 || !SpecialIterate(c.runiterates + count))) {
    Proposal& p = proposals[static_cast<std::size_t>(count++)];
    ran1();
    p.seed = static_cast<int32_t>((static_cast<uint32_t>(v.ran1ix) ^ static_cast<uint32_t>(v.ran1iy)) & 0x7FFFFFFFu) | 1;
    p.after = SaveRan1();
    p.drawn = false;
  }
  const bool shared = count > 1 && v.numthreads > 1;
  exchanged.assign(static_cast<std::size_t>(count) * 3, 0.0);
  for (int32_t j = 0; j < count; ++j) {
    if (shared && !OwnItem(j)) continue;
    Proposal& p = proposals[static_cast<std::size_t>(j)];
    DrawOwnStream(run, p);
    double* r = &exchanged[static_cast<std::size_t>(j) * 3];
    if (!p.prepared) continue;
    r[0] = PassesScreen(run, p) ? 1.0 : -1.0;
    r[1] = p.screened ? 1.0 : 0.0;
    r[2] = p.idx;
  }
  if (shared) ShareItems(exchanged);
  screens.assign(static_cast<std::size_t>(count), ScreenRecord{});
  for (int32_t j = 0; j < count; ++j) {
    const double* r = &exchanged[static_cast<std::size_t>(j) * 3];
    ScreenRecord& sr = screens[static_cast<std::size_t>(j)];
    sr.prepared = r[0] != 0.0;
    sr.passed = r[0] > 0.0;
    sr.screened = r[1] > 0.0;
    sr.idx = static_cast<int32_t>(r[2]);
  }
  // The proposals that passed are scored in order by all processes
  // together (those drawn elsewhere are drawn here too), up to the first
  // one accepted: the later ones would be drawn anew anyway.
  outcomes.assign(static_cast<std::size_t>(count), Outcome{});
  for (int32_t j = 0; j < count; ++j) {
    const ScreenRecord& sr = screens[static_cast<std::size_t>(j)];
    Outcome& out = outcomes[static_cast<std::size_t>(j)];
    if (sr.prepared && !sr.passed) out.status = kScreenedOut;
    if (!sr.passed) continue;
    Proposal& p = proposals[static_cast<std::size_t>(j)];
    if (!p.drawn) DrawOwnStream(run, p);
    out = Score(run, p);
    if (out.status == kAccepted) break;
    // At the higher check levels a refused proposal must leave the
    // configuration exactly as it was.
    if (v.checkmode > 1) CheckResult(c.runiterates + j, run.prior, run.parentterm, false);
  }
  for (int32_t j = 0; j < count; ++j) {
    Proposal& p = proposals[static_cast<std::size_t>(j)];
    if (j > 0) StartIterate(run, false);
    const bool kept = Settle(run, p, screens[static_cast<std::size_t>(j)], outcomes[static_cast<std::size_t>(j)]);
    if (c.archiving == 0 && v.iarchive == 1 && c.iters > 10000 && static_cast<double>(c.nsucc) / c.iters < 0.2) {
      c.archiving = 1;
    }
    const Verdict verdict = EndOfTemperature(run.s, c, c.T, a.Tmr, v.CrNumFamily(3), v.CrLogLikelihood, v.btloglikelihood);
    if (verdict == Verdict::kEndTemperature) run.tempdone = true;
    if (verdict == Verdict::kEndSearch) run.searchdone = true;
    if (kept || run.tempdone || run.searchdone || j == count - 1) {
      // The proposals drawn after this one never happened.
      RestoreRan1(p.after);
      break;
    }
  }
}

void ApplyTrials(SearchRun& run) {
  AnnealVariables& a = annealvariables;
  for (int32_t x : run.pendingtrials) {
    if (x > 0) ++a.OffspringTrials(x, 1);
    if (x < 0) ++a.OffspringTrials(-x, 2);
  }
  run.pendingtrials.clear();
}
