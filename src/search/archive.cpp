// The in-memory archive of good configurations met by the search: storing a
// configuration as a compact record, expanding a record back into the
// target tables, the duplicate tests, the bounded sorted insertion and the
// removals, and the rebuilding of the archive from a run archive.
//
// The archive is a std::list kept in decreasing order of log likelihood;
// erasing a record frees it and its arrays, so the removals free records
// themselves and no separate deallocation routine is needed.
#include "search/archive.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <optional>
#include <utility>

#include "search/configuration.h"
#include "state/variables.h"

namespace {

using Records = std::list<ConfigRecord>;

// Family indices and candidates are held as v - 32768 modulo 2^16, so that
// every value 0..65535 fits in the unsigned 16-bit code.
uint16_t Encode(int32_t v) { return static_cast<uint16_t>(static_cast<uint32_t>(v) - 32768u); }
int32_t Decode(uint16_t code) { return static_cast<int32_t>((static_cast<uint32_t>(code) + 32768u) & 0xFFFFu); }

bool DioeciousAllMonogamous() { return variables.allmonogamy != 0 && variables.numsex == 2; }

// Both sexes monogamous in a dioecious sample: every maternal family is a
// paternal family, so only the paternal column is kept.
bool StoresMaternal() { return !DioeciousAllMonogamous(); }

// With monogamy of a sex in a dioecious sample the clusters are families of
// the other sex (or the paternal ones), so the cluster column is redundant.
bool StoresCluster() { return variables.anymonogamy == 0 || variables.numsex == 1; }

// The column of a configuration that names its clusters: the cluster
// column, else the paternal families when females are monogamous (or both
// sexes are), else the maternal families (males monogamous).
int32_t ClusterCodeColumn() {
  if (StoresCluster()) return 3;
  if (!StoresMaternal() || variables.monogamy(2) == 1) return 1;
  return 2;
}

const std::vector<uint16_t>& StoredCodeColumn(const ConfigRecord& r) {
  switch (ClusterCodeColumn()) {
    case 3: return r.cluster;
    case 2: return r.maternal;
    default: return r.paternal;
  }
}

// The candidate of sex k assigned to each family of column col of loc
// (index 0 unused; 0 = unsampled); col is k except where the maternal
// column is not kept and the paternal families stand for the maternal ones.
// Offspring of one family carry the same candidate, except haploid
// offspring, which carry none on the father side, so a sampled candidate on
// any member names the family's parent. A sex without candidates has none
// assigned whatever the table holds.
std::vector<int32_t> FamilyParents(const Mat1<int32_t>& loc, const Mat1<int32_t>* parents, int32_t col, int32_t k,
                                   int32_t n) {
  int32_t nfam = 0;
  for (int32_t i = 1; i <= n; ++i) nfam = std::max(nfam, loc(i, col));
  std::vector<int32_t> fam(static_cast<std::size_t>(nfam) + 1, 0);
  if (variables.numchild(k) < 1 || parents == nullptr) return fam;
  const int32_t rows = static_cast<int32_t>(std::min<std::size_t>(parents->rows(), static_cast<std::size_t>(n)));
  if (parents->cols() < static_cast<std::size_t>(k)) return fam;
  for (int32_t i = 1; i <= rows; ++i) {
    const int32_t f = loc(i, col);
    const int32_t c = (*parents)(i, k);
    if (f >= 1 && c != 0) fam[static_cast<std::size_t>(f)] = c;
  }
  return fam;
}

// Per offspring, the candidate of its family of each sex, from the family
// assignments of both sexes.
void OffspringParents(const Mat1<int32_t>& loc, const std::vector<int32_t>& fathers,
                      const std::vector<int32_t>& mothers, int32_t n, Mat1<int32_t>& out) {
  out.assign(static_cast<std::size_t>(n), 2, 0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      const std::vector<int32_t>& fam = k == 1 ? fathers : mothers;
      const int32_t f = loc(i, k);
      if (f >= 1 && static_cast<std::size_t>(f) < fam.size()) out(i, k) = fam[static_cast<std::size_t>(f)];
    }
  }
}

// The same from an expanded record (family x sex table).
void OffspringParents(const Mat1<int32_t>& loc, const Mat1<int32_t>& prnt, int32_t n, Mat1<int32_t>& out) {
  out.assign(static_cast<std::size_t>(n), 2, 0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      const int32_t f = loc(i, k);
      if (f >= 1 && static_cast<std::size_t>(f) <= prnt.rows()) out(i, k) = prnt(f, k);
    }
  }
}

// Candidates of the families of one sex: densely (entry f = candidate of
// family f) when many families have one, otherwise as (family, candidate)
// pairs, whichever is shorter.
void StoreAssignments(const std::vector<int32_t>& fam, std::vector<uint16_t>& out, bool& dense) {
  out.clear();
  const std::size_t nfam = fam.size() - 1;
  std::size_t assigned = 0;
  for (std::size_t f = 1; f <= nfam; ++f) assigned += fam[f] != 0 ? 1 : 0;
  dense = !(2 * assigned < nfam);
  if (dense) {
    out.reserve(nfam);
    for (std::size_t f = 1; f <= nfam; ++f) out.push_back(Encode(fam[f]));
  } else {
    out.reserve(2 * assigned);
    for (std::size_t f = 1; f <= nfam; ++f) {
      if (fam[f] == 0) continue;
      out.push_back(Encode(static_cast<int32_t>(f)));
      out.push_back(Encode(fam[f]));
    }
  }
}

// Expands a record into a family table (offspring x 3) and a family x sex
// assignment table.
void ExpandRecord(const ConfigRecord& r, Mat1<int32_t>& loc, Mat1<int32_t>& prnt) {
  const std::size_t n = r.paternal.size();
  loc.assign(n, 3, 0);
  const bool clusterIsPaternal = r.maternal.empty() || variables.monogamy(2) == 1;
  int32_t maxfam = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const long i = static_cast<long>(j) + 1;
    const int32_t p = Decode(r.paternal[j]);
    const int32_t m = r.maternal.empty() ? p : Decode(r.maternal[j]);
    int32_t c = clusterIsPaternal ? p : m;
    if (!r.cluster.empty()) c = Decode(r.cluster[j]);
    loc(i, 1) = p;
    loc(i, 2) = m;
    loc(i, 3) = c;
    maxfam = std::max({maxfam, p, m});
  }
  const std::size_t rows = std::max(n, static_cast<std::size_t>(maxfam));
  prnt.assign(rows, 2, 0);
  for (int32_t k = 1; k <= 2; ++k) {
    const std::vector<uint16_t>& codes = k == 1 ? r.fathers : r.mothers;
    const bool dense = k == 1 ? r.fathersdense : r.mothersdense;
    if (dense) {
      for (std::size_t f = 1; f <= codes.size() && f <= rows; ++f) prnt(static_cast<long>(f), k) = Decode(codes[f - 1]);
    } else {
      for (std::size_t j = 0; j + 1 < codes.size(); j += 2) {
        const int32_t f = Decode(codes[j]);
        if (f >= 1 && static_cast<std::size_t>(f) <= rows) prnt(f, k) = Decode(codes[j + 1]);
      }
    }
  }
}

// True when the (x, y) pairs define a one-to-one correspondence between the
// x labels and the y labels.
bool OneToOne(std::vector<std::pair<int32_t, int32_t>>& pairs) {
  std::sort(pairs.begin(), pairs.end());
  for (std::size_t j = 1; j < pairs.size(); ++j) {
    if (pairs[j].first == pairs[j - 1].first && pairs[j].second != pairs[j - 1].second) return false;
  }
  std::sort(pairs.begin(), pairs.end(),
            [](const auto& u, const auto& v) { return std::pair(u.second, u.first) < std::pair(v.second, v.first); });
  for (std::size_t j = 1; j < pairs.size(); ++j) {
    if (pairs[j].second == pairs[j - 1].second && pairs[j].first != pairs[j - 1].first) return false;
  }
  return true;
}

template <class Index>
int32_t SamePartitions(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const Index> members) {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  if (variables.numsex == 1) {
    // One pool of parents: a single renaming must carry both columns.
    pairs.reserve(2 * members.size());
    for (const Index i : members) {
      pairs.emplace_back(a(i, 1), b(i, 1));
      pairs.emplace_back(a(i, 2), b(i, 2));
    }
    return OneToOne(pairs) ? 0 : 1;
  }
  pairs.reserve(members.size());
  for (int32_t k = 1; k <= 2; ++k) {
    pairs.clear();
    for (const Index i : members) pairs.emplace_back(a(i, k), b(i, k));
    if (!OneToOne(pairs)) return 1;
  }
  return 0;
}

std::vector<int32_t> AllOffspring(int32_t n) {
  std::vector<int32_t> all(static_cast<std::size_t>(std::max(n, 0)));
  for (int32_t i = 1; i <= n; ++i) all[static_cast<std::size_t>(i - 1)] = i;
  return all;
}

// What the duplicate test needs of the configuration on offer, computed
// once per offer and only when a record comes close enough to need it.
class Offer {
 public:
  explicit Offer(int32_t numCluster) : numcluster_(numCluster), n_(variables.smplsize), loc_(*variables.IndivLocPrt) {}

  bool SameAs(const ConfigRecord& r, bool quick) {
    if (static_cast<std::size_t>(n_) != r.paternal.size()) return false;
    // Equal configurations have equal fingerprints.
    if (r.fingerprint != 0) {
      if (fingerprint_ == 0) fingerprint_ = ConfigFingerprint();
      if (r.fingerprint != fingerprint_) return false;
    }
    if (quick && !PassesQuickTests(r)) return false;
    ExpandRecord(r, storedLoc_, storedPrnt_);
    if (all_.empty()) all_ = AllOffspring(n_);
    if (NoneQtCluster(loc_, storedLoc_, std::span<const int32_t>(all_)) != 0) return false;
    if (variables.numchild(1) < 1 && variables.numchild(2) < 1) return true;
    if (parents_.empty()) {
      OffspringParents(loc_, FamilyParents(loc_, variables.InferParentPrt, 1, 1, n_),
                       FamilyParents(loc_, variables.InferParentPrt, 2, 2, n_), n_, parents_);
    }
    OffspringParents(storedLoc_, storedPrnt_, n_, storedParents_);
    int32_t flag = 0;
    DiffInferPrnt(parents_, storedParents_, n_, flag);
    return flag == 0;
  }

 private:
  // Cheapest first: cluster count, signature, then whether every current
  // cluster lies within one cluster of the record.
  bool PassesQuickTests(const ConfigRecord& r) {
    if (r.numcluster != numcluster_) return false;
    if (numcluster_ > 1) {
      if (!signature_) signature_ = CharacterValue(numcluster_);
      if (r.signature != *signature_) return false;
    }
    const std::vector<uint16_t>& code = StoredCodeColumn(r);
    if (code.size() != static_cast<std::size_t>(n_)) return true;  // nothing to test against
    if (firstMember_.empty()) FindFirstMembers();
    for (int32_t i = 1; i <= n_; ++i) {
      const int32_t f = firstMember_[static_cast<std::size_t>(i)];
      if (code[static_cast<std::size_t>(i - 1)] != code[static_cast<std::size_t>(f - 1)]) return false;
    }
    return true;
  }

  // The first offspring of each offspring's current cluster (column 3).
  void FindFirstMembers() {
    firstMember_.assign(static_cast<std::size_t>(n_) + 1, 0);
    int32_t lo = 0, hi = -1;
    for (int32_t i = 1; i <= n_; ++i) {
      lo = i == 1 ? loc_(i, 3) : std::min(lo, loc_(i, 3));
      hi = i == 1 ? loc_(i, 3) : std::max(hi, loc_(i, 3));
    }
    std::vector<int32_t> first(static_cast<std::size_t>(std::max(hi - lo + 1, 0)), 0);
    for (int32_t i = 1; i <= n_; ++i) {
      int32_t& f = first[static_cast<std::size_t>(loc_(i, 3) - lo)];
      if (f == 0) f = i;
      firstMember_[static_cast<std::size_t>(i)] = f;
    }
  }

  int32_t numcluster_;
  int32_t n_;
  const Mat1<int32_t>& loc_;
  std::optional<uint32_t> signature_;
  uint64_t fingerprint_ = 0;
  std::vector<int32_t> firstMember_;
  std::vector<int32_t> all_;
  Mat1<int32_t> parents_;
  Mat1<int32_t> storedLoc_, storedPrnt_, storedParents_;
};

// Inserts a record after the records whose log likelihood is strictly
// greater, so it precedes older records of equal log likelihood.
void InsertSorted(ConfigRecord record) {
  Records& archive = variables.ConfigArchive;
  const double l = record.logl;
  auto at = std::find_if(archive.begin(), archive.end(), [l](const ConfigRecord& r) { return r.logl <= l; });
  archive.insert(at, std::move(record));
}

}  // namespace

uint32_t CharacterValue([[maybe_unused]] int32_t numCluster) {
  const Mat1<int32_t>& loc = *variables.IndivLocPrt;
  const int32_t n = variables.smplsize;
  if (n < 1) return 0;
  const int32_t c = DioeciousAllMonogamous() ? 1 : 3;
  int32_t lo = loc(1, c), hi = loc(1, c);
  for (int32_t i = 2; i <= n; ++i) {
    lo = std::min(lo, loc(i, c));
    hi = std::max(hi, loc(i, c));
  }
  // Labels in order of first appearance make the value independent of the
  // family numbering. Products and sums wrap modulo 2^32: the value only
  // has to be equal for equal partitions, and large samples exceed 31 bits.
  std::vector<uint32_t> label(static_cast<std::size_t>(static_cast<int64_t>(hi) - lo + 1), 0);
  uint32_t next = 0;
  uint32_t s = 0;
  uint32_t g = 0;
  const int32_t m = n - n % 2;
  for (int32_t i = 1; i <= n; ++i) {
    uint32_t& l = label[static_cast<std::size_t>(static_cast<int64_t>(loc(i, c)) - lo)];
    if (l == 0) l = ++next;
    g = l;
    if (i > m) break;
    const uint32_t term = static_cast<uint32_t>(i) * g;
    s = (i % 2 == 1) ? s + term : s - term;
  }
  return n % 2 == 0 ? s - g : s + static_cast<uint32_t>(n - 1) * g;
}

uint64_t ConfigFingerprint() {
  const Variables& v = variables;
  const Mat1<int32_t>& loc = *v.IndivLocPrt;
  const Mat1<int32_t>* parents = v.InferParentPrt;
  const int32_t n = v.smplsize;
  const bool pool = v.numsex == 1;
  const bool candidates = v.numchild(1) + v.numchild(2) > 0 && parents != nullptr && !parents->empty();
  // Families relabelled in order of first appearance, per side (one pool
  // of labels in a monoecious sample).
  static std::vector<int32_t> label[2];
  int32_t next[2] = {0, 0};
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](uint64_t x) { h = (h ^ x) * 1099511628211ull; };
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && HaploidOffspring(i)) {
        mix(0);
        continue;
      }
      const int32_t side = pool ? 0 : k - 1;
      std::vector<int32_t>& table = label[side];
      const std::size_t f = static_cast<std::size_t>(std::max(loc(i, k), 0));
      if (table.size() <= f) table.resize(f + 1, 0);
      if (table[f] == 0) table[f] = ++next[side];
      mix(static_cast<uint64_t>(table[f]));
      if (candidates) mix(static_cast<uint64_t>(static_cast<uint32_t>((*parents)(i, k))) + 0x100000000ull);
    }
  }
  // The labels are cleared for the next call.
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      std::vector<int32_t>& table = label[pool ? 0 : k - 1];
      const std::size_t f = static_cast<std::size_t>(std::max(loc(i, k), 0));
      if (f < table.size()) table[f] = 0;
    }
  }
  return h | 1u;
}

ConfigRecord NewConfig(int32_t numCluster) {
  const Mat1<int32_t>& loc = *variables.IndivLocPrt;
  const int32_t n = variables.smplsize;
  ConfigRecord r;
  r.paternal.resize(static_cast<std::size_t>(n));
  for (int32_t i = 1; i <= n; ++i) r.paternal[static_cast<std::size_t>(i - 1)] = Encode(loc(i, 1));
  if (StoresMaternal()) {
    r.maternal.resize(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) r.maternal[static_cast<std::size_t>(i - 1)] = Encode(loc(i, 2));
  }
  if (StoresCluster()) {
    r.cluster.resize(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) r.cluster[static_cast<std::size_t>(i - 1)] = Encode(loc(i, 3));
  }
  if (variables.numchild(1) >= 1) {
    StoreAssignments(FamilyParents(loc, variables.InferParentPrt, 1, 1, n), r.fathers, r.fathersdense);
  }
  if (variables.numchild(2) >= 1) {
    // Without a maternal column the record expands with maternal families
    // numbered as the paternal ones, so the mothers are keyed that way.
    const int32_t col = StoresMaternal() ? 2 : 1;
    StoreAssignments(FamilyParents(loc, variables.InferParentPrt, col, 2, n), r.mothers, r.mothersdense);
  }
  r.logl = *variables.LogLikelihoodPrt;
  r.numcluster = static_cast<int16_t>(numCluster);
  r.signature = CharacterValue(numCluster);
  r.fingerprint = ConfigFingerprint();
  return r;
}

void ArchiveConfigAdd(int32_t mode, int32_t numCluster) {
  Records& archive = variables.ConfigArchive;
  const double l = *variables.LogLikelihoodPrt;
  if (archive.empty()) {
    archive.push_back(NewConfig(numCluster));
    return;
  }
  if (mode != 3) {
    double tol = variables.fulllikelihoodmethodq != 0 ? std::min(10.0, -1e-5 * l) : std::min(0.1, -1e-5 * l);
    if (variables.numsex == 1) tol = std::max(tol, 5.0 * variables.priortype + 0.5);
    // A log likelihood at or above 0 would give no window at all; a record
    // of exactly the same log likelihood is always compared.
    tol = std::max(tol, 0.0);
    Offer offer(numCluster);
    for (const ConfigRecord& r : archive) {
      if (r.logl < l - tol) break;  // sorted: nothing further can match
      const bool inWindow = (r.logl > l - tol && r.logl < l + tol) || r.logl == l;
      if (inWindow && offer.SameAs(r, mode == 2)) return;
    }
  }
  InsertSorted(NewConfig(numCluster));
  if (mode != 3 && archive.size() > kArchiveCapacity) archive.pop_back();
}

int32_t NoneQtCluster(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int16_t> members) {
  return SamePartitions(a, b, members);
}

int32_t NoneQtCluster(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int32_t> members) {
  return SamePartitions(a, b, members);
}

void NoneQtSelfing(const Mat1<int32_t>& a, const Mat1<int32_t>& b, int32_t n, int32_t& flag) {
  flag = 0;
  for (int32_t i = 1; i <= n; ++i) {
    if ((a(i, 1) == a(i, 2)) != (b(i, 1) == b(i, 2))) {
      flag = 1;
      return;
    }
  }
}

void NoneQtSelfing(const Mat1<int32_t>& a, const Mat1<int32_t>& b, std::span<const int16_t> members,
                   int32_t& flag) {
  flag = 0;
  for (const int16_t i : members) {
    if ((a(i, 1) == a(i, 2)) != (b(i, 1) == b(i, 2))) {
      flag = 1;
      return;
    }
  }
}

void DiffInferPrnt(const Mat1<int32_t>& a, const Mat1<int32_t>& b, int32_t n, int32_t& flag) {
  flag = 0;
  for (int32_t k = 1; k <= 2; ++k) {
    for (int32_t i = 1; i <= n; ++i) {
      if (a(i, k) != b(i, k)) {
        flag = 1;
        return;
      }
    }
  }
}

bool EqualConfigTest(const Mat1<int32_t>& loc1, const Mat1<int32_t>& parents1, const Mat1<int32_t>& loc2,
                     const Mat1<int32_t>& parents2) {
  const int32_t n = variables.smplsize;
  const std::vector<int32_t> all = AllOffspring(n);
  if (NoneQtCluster(loc1, loc2, std::span<const int32_t>(all)) != 0) return false;
  Mat1<int32_t> p1, p2;
  OffspringParents(loc1, FamilyParents(loc1, &parents1, 1, 1, n), FamilyParents(loc1, &parents1, 2, 2, n), n, p1);
  OffspringParents(loc2, FamilyParents(loc2, &parents2, 1, 1, n), FamilyParents(loc2, &parents2, 2, 2, n), n, p2);
  int32_t flag = 0;
  DiffInferPrnt(p1, p2, n, flag);
  return flag == 0;
}

void ArchiveConfigRemove() {
  Records& archive = variables.ConfigArchive;
  const double floor = variables.MinLogLikelihood;
  if (archive.empty() || archive.back().logl >= floor) return;
  auto cut = std::find_if(archive.begin(), archive.end(), [floor](const ConfigRecord& r) { return r.logl < floor; });
  archive.erase(cut, archive.end());
}

void ArchiveConfigRemoveAll() { variables.ConfigArchive.clear(); }

void ConvertConfig(const ConfigRecord& node, double& logl) {
  ExpandRecord(node, variables.OffTgt, variables.PrntTgt);
  logl = node.logl;
}

void ArchiveRestoreFromRun(const std::vector<RunArchiveConfig>& configs) {
  Variables& v = variables;
  ArchiveConfigRemoveAll();
  const int32_t n = v.smplsize;
  const std::size_t ncol = DioeciousAllMonogamous() ? 1 : 3;
  std::size_t nvec = ncol;
  for (int32_t k = 1; k <= 2; ++k) nvec += v.numchild(k) >= 1 ? 1 : 0;

  Mat1<int32_t>* const savedLoc = v.IndivLocPrt;
  Mat1<int32_t>* const savedParents = v.InferParentPrt;
  double* const savedLogl = v.LogLikelihoodPrt;
  Mat1<int32_t> loc, parents;
  double logl = -1e300;
  v.IndivLocPrt = &loc;
  v.InferParentPrt = &parents;
  v.LogLikelihoodPrt = &logl;

  bool first = true;
  for (const RunArchiveConfig& config : configs) {
    // A configuration of another shape cannot belong to this sample.
    if (config.vectors.size() != nvec) continue;
    if (std::any_of(config.vectors.begin(), config.vectors.end(),
                    [n](const auto& vec) { return vec.size() != static_cast<std::size_t>(n); })) {
      continue;
    }
    loc.assign(static_cast<std::size_t>(n), 3, 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t c = 1; c <= 3; ++c) {
        const std::size_t col = ncol == 1 ? 0 : static_cast<std::size_t>(c - 1);
        loc(i, c) = config.vectors[col][static_cast<std::size_t>(i - 1)];
      }
    }
    // Entry f of a sex's vector is the candidate of family f of that sex.
    parents.assign(static_cast<std::size_t>(n), 2, 0);
    std::size_t next = ncol;
    for (int32_t k = 1; k <= 2; ++k) {
      if (v.numchild(k) < 1) continue;
      const std::vector<int32_t>& fam = config.vectors[next++];
      for (int32_t i = 1; i <= n; ++i) {
        if (k == 1 && HaploidOffspring(i)) continue;  // a haploid offspring has no father
        const int32_t f = loc(i, k);
        if (f >= 1 && f <= n) parents(i, k) = fam[static_cast<std::size_t>(f - 1)];
      }
    }
    logl = config.logl;
    std::vector<int32_t> labels(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) labels[static_cast<std::size_t>(i - 1)] = loc(i, 3);
    std::sort(labels.begin(), labels.end());
    const auto numCluster = static_cast<int32_t>(std::distance(labels.begin(), std::unique(labels.begin(), labels.end())));

    // Kept in the order of the run archive, which lists the best first.
    ConfigRecord record = NewConfig(numCluster);
    auto at = std::find_if(v.ConfigArchive.begin(), v.ConfigArchive.end(),
                           [&record](const ConfigRecord& r) { return r.logl < record.logl; });
    v.ConfigArchive.insert(at, std::move(record));

    if (first) {
      first = false;
      v.BtIndivLoc = loc;
      v.BtInferParent = parents;
      v.btloglikelihood = logl;
      for (int32_t c = 1; c <= 3; ++c) {
        int32_t largest = 0;
        for (int32_t i = 1; i <= n; ++i) largest = std::max(largest, loc(i, c));
        v.BtNumFamily(c) = largest;
      }
    }
  }

  v.IndivLocPrt = &v.BtIndivLoc;
  v.InferParentPrt = &v.BtInferParent;
  if (!first) FindAssignment(v.BtNumAssign);
  v.IndivLocPrt = savedLoc;
  v.InferParentPrt = savedParents;
  v.LogLikelihoodPrt = savedLogl;
}
