// The pairwise method.
//
// A pair of offspring is unrelated, full sibs, or half sibs through the
// father or the mother, whichever gives its genotypes the largest
// likelihood in the pair tables; near ties go to unrelated, so that a pair
// is called related only on evidence. Related pairs link offspring into
// clusters (connected components), which the search uses to propose moves
// towards an offspring's kin.
//
// A candidate's parent-offspring score is its pair log likelihood with the
// offspring less the two log likelihoods as unrelated individuals, as the
// threshold simulation scores its simulated candidates. The best candidate
// is assigned when its score is above 0 (it is more likely the parent than
// not), with the confidence of its advantage over the second best (over
// none with a single candidate) among the simulated thresholds.
//
// The search also needs a starting temperature and the prior's chance that
// a family's parent is a sampled candidate; both come from here and are
// kept in the checkpoint, so that a later execution skips this stage and
// still starts the search exactly as this one would.
#include "pairwise/pairwise_inference.h"

#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <numeric>
#include <sstream>
#include <vector>

#include "genotype/genotype_codes.h"
#include "likelihood/family_likelihood.h"
#include "pairwise/candidate_screen.h"
#include "pairwise/dyad_probability.h"
#include "pairwise/dyad_tables.h"
#include "pairwise/threshold_simulation.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "runctl/parallel.h"
#include "search/configuration.h"
#include "search/schedule.h"
#include "state/likelihoodvar.h"
#include "state/simuvariables.h"
#include "state/variables.h"

namespace {

constexpr int32_t kUnrelated = 0, kFullSibs = 1, kPaternalHalfSibs = 2, kMaternalHalfSibs = 3, kClones = 4;
// Numbers of the pairwise files among the merged result files.
constexpr int kFullSibFile = 4, kHalfSibFile = 5, kCloneFile = 6, kPaternityFile = 7;

std::string Trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// A pair entry that is impossible counts as no hypothesis at all.
double Entry(int32_t kind, int32_t i, int32_t j) {
  const float x = OffspringDyadLogL(kind, i, j);
  return x <= -1e37f ? -HUGE_VAL : static_cast<double>(x);
}

// Log likelihood of offspring i and j as one individual typed twice: both
// genes shared (one gene for two haploids).
double CloneLogL(int32_t i, int32_t j) {
  const bool hi = HaploidOffspring(i), hj = HaploidOffspring(j);
  if (hi != hj) return -HUGE_VAL;
  DyadDelta same;
  same(hi ? 8 : 7) = 1.0;
  double sum = 0.0;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    if (likelihoodvar.obsnumallele(l) < 2) continue;
    auto obs = [&](int32_t k) {
      const auto g = ObservedGenotype(0, k, l);
      DyadObs o{g.first, hi ? 0 : g.second, hi};
      if (o.a1 <= 0 || (!hi && variables.dominantmarker(l) == 0 && o.a2 <= 0)) o = DyadObs{0, 0, hi};
      return o;
    };
    double r = 0.0;
    Compute_Dyad_Locus_LogL(l, obs(i), obs(j), same, r);
    if (r <= -1e38) return -HUGE_VAL;
    sum += r;
  }
  return sum;
}

// This process's share of n items counted in 64 bits: first..last,
// 0-based, the first processes taking one more.
void Share64(int64_t n, int64_t& first, int64_t& last) {
  const int64_t np = std::max(variables.numthreads, 1), me = variables.threadid;
  const int64_t q = n / np, r = n % np;
  first = me * q + std::min(me, r);
  last = first + q + (me < r ? 1 : 0) - 1;
}

// One of the merged result files as this process writes it: under its
// final name with one process, otherwise under the name followed by the
// rank. Process 0 writes its part with the header always; another process
// writes a part only when it has rows.
class PairwiseFile {
 public:
  PairwiseFile(int k, std::string header) : k_(k), header_(std::move(header)) {
    if (variables.threadid == 0) Open();
  }
  void Row(const std::string& row) {
    if (!file_) Open();
    *file_ << row << '\n';
  }
  void Finish() {
    if (file_) file_->Commit();
    file_.reset();
  }

 private:
  void Open() {
    std::string name = variables.fname + MergeSuffix(k_);
    if (variables.numthreads > 1) name += std::to_string(variables.threadid);
    file_ = std::make_unique<AtomicTextFile>(name);
    if (variables.threadid == 0) *file_ << header_ << '\n';
  }
  int k_;
  std::string header_;
  std::unique_ptr<AtomicTextFile> file_;
};

// Union-find over the offspring (0-based), the smaller index the root.
struct Components {
  std::vector<int32_t> up;
  explicit Components(int32_t n) : up(static_cast<std::size_t>(std::max(n, 0))) {
    std::iota(up.begin(), up.end(), 0);
  }
  int32_t Find(int32_t x) {
    while (up[static_cast<std::size_t>(x)] != x) {
      up[static_cast<std::size_t>(x)] = up[static_cast<std::size_t>(up[static_cast<std::size_t>(x)])];
      x = up[static_cast<std::size_t>(x)];
    }
    return x;
  }
  void Join(int32_t a, int32_t b) {
    a = Find(a);
    b = Find(b);
    if (a == b) return;
    if (a > b) std::swap(a, b);
    up[static_cast<std::size_t>(b)] = a;
  }
};

// The parentage of one sex: rows of the file (process 0 only), and the
// sum of the confidences of the offspring that can have a parent of that
// sex, with their number, for the prior's chance of a sampled parent.
void Parentage(int32_t s, PairwiseFile* file, double& confidence, int32_t& eligible) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  confidence = 0.0;
  eligible = 0;
  const int32_t nc = v.numchild(s);
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (s == 1 && HaploidOffspring(i)) continue;  // a haploid son has no father
    ++eligible;
    const int32_t known = v.indivparent.rows() >= static_cast<std::size_t>(i) ? v.indivparent(i, s) : 0;
    std::string parent;
    int32_t percent = 0;
    if (known > 0) {
      parent = v.cndparentid(s)(known);
      percent = 100;
    } else {
      const std::vector<int32_t>* excluded =
          v.excludedparent(s).size() >= static_cast<std::size_t>(i) ? &v.excludedparent(s)(i) : nullptr;
      double best = -HUGE_VAL, second = -HUGE_VAL;
      int32_t bestc = 0, considered = 0;
      for (int32_t c = 1; c <= nc; ++c) {
        if (excluded != nullptr && std::find(excluded->begin(), excluded->end(), c) != excluded->end()) continue;
        ++considered;
        const float po = ParentDyadLogL(s, i, c);
        const double x = po <= -1e37f ? -1e38 : po - lv.candidatelogl(s)(c) - lv.indivlogl(i);
        if (x > best) {
          second = best;
          best = x;
          bestc = c;
        } else if (x > second) {
          second = x;
        }
      }
      if (!(best > 0.0)) continue;
      const double delta = considered >= 2 ? best - second : best;
      const Mat1<double>& table = HaploidOffspring(i) ? simuvariables.ThresholdH : simuvariables.Threshold;
      percent = 100 - 5 * ConfidenceLevel(delta, s, table);
      parent = v.cndparentid(s)(bestc);
    }
    confidence += percent / 100.0;
    if (file != nullptr) file->Row(Trimmed(v.offspringid(i)) + "," + Trimmed(parent) + "," + std::to_string(percent) + "%");
  }
}

void Show(const std::string& text) {
  if (variables.displayq != 0) std::cout << text << std::endl;
}

}  // namespace

int32_t ClassifyPair(int32_t i, int32_t j) {
  const Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const double unrelated = lv.indivlogl(i) + lv.indivlogl(j);
  const int32_t haploids = (HaploidOffspring(i) ? 1 : 0) + (HaploidOffspring(j) ? 1 : 0);
  // Hypotheses in order of preference on equal likelihoods. Sons of one
  // mother are her one family; a son and a daughter share only the mother;
  // a monogamous sex has no half sibs through it.
  double related[3] = {Entry(kFullSibDyad, i, j), -HUGE_VAL, -HUGE_VAL};
  if (haploids == 0) {
    if (v.monogamy(1) == 0) related[1] = Entry(kPaternalHalfSibDyad, i, j);
    if (v.monogamy(2) == 0) related[2] = Entry(kMaternalHalfSibDyad, i, j);
  } else if (haploids == 1) {
    related[0] = -HUGE_VAL;
    related[2] = Entry(kMaternalHalfSibDyad, i, j);
  }
  int32_t kind = kUnrelated;
  double best = -HUGE_VAL;
  for (int32_t k = 0; k < 3; ++k) {
    if (related[k] > best) {
      best = related[k];
      kind = k + 1;
    }
  }
  double u = unrelated;
  if (best - u < 0.0001) u += 0.0005;
  if (!(best > u)) return kUnrelated;
  if (kind == kFullSibs && v.allowclone == 1 && CloneLogL(i, j) > best) return kClones;
  return kind;
}

void WriteMidResult6(double temperature) {
  const Mat1<double>& p = variables.LogPrior;
  AtomicTextFile out(variables.midfilename(5));
  char line[128];
  std::snprintf(line, sizeof line, "%18.8E%18.8E%18.8E%18.8E%18.8E", temperature, p(1, 1), p(2, 1), p(1, 2), p(2, 2));
  out << line << '\n';
  out.Commit();
}

bool ReadMidResult6(double& temperature) {
  std::ifstream in(variables.midfilename(5));
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  std::istringstream items(line);
  double x[5];
  for (double& value : x) {
    if (!(items >> value) || !std::isfinite(value)) return false;
  }
  std::string rest;
  if (items >> rest) return false;
  if (!(x[0] > 0.0)) return false;
  for (int k = 0; k < 2; ++k) {
    const double lq = x[1 + 2 * k], l1q = x[2 + 2 * k];
    // ln q and ln(1 - q) of one q strictly between 0 and 1, as written.
    if (!(lq < 0.0 && l1q < 0.0) || std::fabs(std::exp(lq) + std::exp(l1q) - 1.0) > 1e-6) return false;
  }
  temperature = x[0];
  Mat1<double>& p = variables.LogPrior;
  if (p.rows() != 2 || p.cols() != 2) p.assign(2, 2, 0.0);
  p(1, 1) = x[1];
  p(2, 1) = x[2];
  p(1, 2) = x[3];
  p(2, 2) = x[4];
  return true;
}

void PairwiseInference() {
  Variables& v = variables;
  const LikelihoodVar& lv = likelihoodvar;
  const int32_t n = std::max(v.smplsize, 0);
  // The pair tables, when the likelihood set-up has not made them.
  if (n >= 2 && !OffspringDyadReady()) CalculatePairProb(true);
  if ((v.numchild(1) > 0 && !ParentDyadReady(1)) || (v.numchild(2) > 0 && !ParentDyadReady(2))) {
    SingleParentLikelihood(0.0);
    CalculateParentPairProb(true);
  }

  // Nothing of an earlier execution may survive beside this one's files,
  // and no checkpoint may claim the stage done before it is.
  if (v.threadid == 0) {
    for (int k = kFullSibFile; k < kNumMergeSuffixes; ++k) DeleteFile(v.fname + MergeSuffix(k));
    DeleteFile(v.fname + ".PairCluster");
    DeleteFile(v.midfilename(5));
  }
  for (int k = kFullSibFile; k < kNumMergeSuffixes; ++k) {
    DeleteFile(v.fname + MergeSuffix(k) + std::to_string(v.threadid));
  }

  Show("Estimating sibship with pairwise approach...");
  const bool halfsibs = v.allmonogamy == 0;
  PairwiseFile fs(kFullSibFile, "OffspringID1,OffspringID2");
  std::unique_ptr<PairwiseFile> hs, clones;
  if (halfsibs) {
    hs = std::make_unique<PairwiseFile>(
        kHalfSibFile, std::string("OffspringID1,OffspringID2") + (v.haplodiploid == 1 ? ",Paternal(P)/Maternal(M)" : ""));
  }
  if (v.allowclone == 1) clones = std::make_unique<PairwiseFile>(kCloneFile, "OffspringID1,OffspringID2");

  // This process's block of the pairs (i, j), i < j, in row order.
  Components components(n);
  std::vector<double> top(static_cast<std::size_t>(n), 0.0);
  const int64_t pairs = static_cast<int64_t>(n) * (n - 1) / 2;
  int64_t first = 0, last = -1;
  Share64(pairs, first, last);
  int32_t i = 1;
  int64_t rowstart = 0;
  while (i < n && rowstart + (n - i) <= first) rowstart += n - i++;
  int32_t j = i + 1 + static_cast<int32_t>(first - rowstart);
  int32_t counter = 0;
  for (int64_t p = first; p <= last; ++p) {
    if (j > n) {
      ++i;
      j = i + 1;
    }
    char text[32];
    std::snprintf(text, sizeof text, " Dyad:%12lld", static_cast<long long>(p + 1));
    WriteProgress(counter, 100000, text);
    // The typical score of an offspring's closest kin sets the search's
    // starting temperature, as the search itself would take it.
    for (int32_t kind : {kFullSibDyad, kPaternalHalfSibDyad, kMaternalHalfSibDyad}) {
      const float r = OffspringDyadLogL(kind, i, j);
      if (!(r > -1e37f)) continue;
      const double score = r - lv.indivlogl(i) - lv.indivlogl(j);
      top[static_cast<std::size_t>(i - 1)] = std::max(top[static_cast<std::size_t>(i - 1)], score);
      top[static_cast<std::size_t>(j - 1)] = std::max(top[static_cast<std::size_t>(j - 1)], score);
    }
    const int32_t kind = ClassifyPair(i, j);
    if (kind != kUnrelated) {
      components.Join(i - 1, j - 1);
      const std::string row = Trimmed(v.offspringid(i)) + "," + Trimmed(v.offspringid(j));
      if (kind == kFullSibs) {
        fs.Row(row);
      } else if (kind == kClones) {
        clones->Row(row);
      } else if (hs) {
        hs->Row(v.haplodiploid == 1 ? row + (kind == kPaternalHalfSibs ? ",P" : ",M") : row);
      }
    }
    ++j;
  }
  // The counter line, when one was shown, is ended.
  if (v.displayq != 0 && counter >= 100000 && v.lineform == Variables::LineForm::NoAdvance) std::cout << '\n';
  fs.Finish();
  if (hs) hs->Finish();
  if (clones) clones->Finish();

  // Every process's links and closest-kin scores, combined.
  std::vector<int32_t> roots(static_cast<std::size_t>(n));
  for (int32_t k = 0; k < n; ++k) roots[static_cast<std::size_t>(k)] = components.Find(k);
  if (Distributed() && n > 0) {
    std::vector<int32_t> all(static_cast<std::size_t>(n) * static_cast<std::size_t>(v.numthreads));
    MPI_Allgather(roots.data(), n, MPI_INT32_T, all.data(), n, MPI_INT32_T, MPI_COMM_WORLD);
    for (int32_t q = 0; q < v.numthreads; ++q) {
      for (int32_t k = 0; k < n; ++k) components.Join(k, all[static_cast<std::size_t>(q) * n + k]);
    }
    MPI_Allreduce(MPI_IN_PLACE, top.data(), n, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  }

  // Parentage, computed by every process (the prior needs it everywhere)
  // and written by process 0.
  for (int32_t s = 1; s <= 2; ++s) {
    double q = std::clamp(v.propprntsampled(s), 0.001, 0.999);
    if (v.numchild(s) > 0) {
      std::unique_ptr<PairwiseFile> file;
      if (v.threadid == 0) {
        file = std::make_unique<PairwiseFile>(kPaternityFile + s - 1, "OffspringID,CandidateID,Confidence");
      }
      double confidence = 0.0;
      int32_t eligible = 0;
      Parentage(s, file.get(), confidence, eligible);
      if (file) file->Finish();
      if (eligible > 0) q = std::clamp(confidence / eligible, 0.001, 0.999);
    }
    if (v.LogPrior.rows() != 2 || v.LogPrior.cols() != 2) v.LogPrior.assign(2, 2, 0.0);
    v.LogPrior(1, s) = std::log(q);
    v.LogPrior(2, s) = std::log(1.0 - q);
  }
  if (v.numthreads > 1) MergeFile(kFullSibFile, kNumMergeSuffixes - 1);

  if (v.threadid == 0) {
    // Clusters of two or more, in the order of their first members.
    std::vector<std::vector<int32_t>> members(static_cast<std::size_t>(n));
    for (int32_t k = 0; k < n; ++k) members[static_cast<std::size_t>(components.Find(k))].push_back(k + 1);
    AtomicTextFile out(v.fname + ".PairCluster");
    for (const auto& list : members) {
      if (list.size() < 2) continue;
      out << list.size();
      for (int32_t m : list) out << ',' << m;
      out << '\n';
    }
    out.Commit();
    double typical = 0.0;
    if (n > 0) {
      std::nth_element(top.begin(), top.begin() + n / 2, top.end());
      typical = top[static_cast<std::size_t>(n / 2)];
    }
    WriteMidResult6(StartTemperature(typical));
  }
  Barrier();
}
