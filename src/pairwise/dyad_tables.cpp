// Pair tables: offspring with offspring, and candidate parents with
// offspring; in a sample with selfing also selfed offspring with their sibs
// and with their candidate parents.
//
// A locus shows few distinct observations compared with the number of
// pairs, so the pair probability is computed once per combination of
// distinct observations at each locus and every pair then only adds table
// entries. Loci are taken in batches whose combination tables fit in a
// bounded amount of memory, and each pair adds a whole batch at once, so
// that a large triangle is swept once per batch rather than once per locus.
#include "pairwise/dyad_tables.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

#include "genotype/genotype_codes.h"
#include "pairwise/dyad_probability.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "runctl/parallel.h"
#include "search/configuration.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

constexpr double kImpossibleLogL = static_cast<double>(kImpossibleDyadLogL);
// Combination entries, and loci, held at once before the pairs take them
// up (the loci bound the per-individual class table of a batch).
constexpr std::size_t kBatchEntries = std::size_t{1} << 23;
constexpr std::size_t kBatchLoci = 256;
// File layout marks: "PDYD" and the layout version.
constexpr int32_t kFileMagic = 0x44594450;
constexpr int32_t kFileVersion = 1;

// Keys that name a table inside a file name, in table order.
constexpr std::array<const char*, 8> kKeys = {".FSDyad", ".HSDyad", ".MHSDya", ".SelfOu",
                                              ".SelfSe", ".DadDya", ".MumDya", ".PrtDya"};

// The loci that take part (more than one observed allele), in the one
// order in which every process adds them up: ascending.
std::vector<int32_t> TableLoci() {
  const LikelihoodVar& lv = likelihoodvar;
  std::vector<int32_t> loci;
  for (int32_t k = 1; k <= lv.locus3[0]; ++k) loci.push_back(lv.locus3[static_cast<std::size_t>(k)]);
  for (int32_t k = 1; k <= lv.locus2[0]; ++k) loci.push_back(lv.locus2[static_cast<std::size_t>(k)]);
  // The lists are ordered for the division of the search's work, which
  // depends on the number of processes; the sums are not.
  std::sort(loci.begin(), loci.end());
  return loci;
}

// A diploid codominant genotype with one allele only counts as missing.
DyadObs MakeObs(std::pair<int32_t, int32_t> g, bool haploid, int32_t l) {
  DyadObs o{g.first, haploid ? 0 : g.second, haploid};
  if (o.a1 <= 0 || (!haploid && variables.dominantmarker(l) == 0 && o.a2 <= 0)) o = DyadObs{0, 0, haploid};
  return o;
}

DyadObs OffspringObs(int32_t i, int32_t l) { return MakeObs(ObservedGenotype(0, i, l), HaploidOffspring(i), l); }

// Candidates of a haplodiploid sample's father side are haploid males; their
// one allele is stored twice.
bool HaploidCandidate(int32_t sex) { return variables.haplodiploid == 1 && variables.ploidy(sex) == 1; }

DyadObs CandidateObs(int32_t sex, int32_t c, int32_t l) {
  return MakeObs(ObservedGenotype(sex, c, l), HaploidCandidate(sex), l);
}

// Log-likelihood entry of two offspring observations at locus l.
float OffspringEntry(int32_t l, int32_t kind, const DyadObs& u, const DyadObs& v) {
  DyadDelta delta = SibDyadDelta(variables.haplodiploid, kind);
  const int32_t haploids = (u.haploid ? 1 : 0) + (v.haploid ? 1 : 0);
  if (haploids > 0) {
    // A haploid son has a mother only: no paternal sibs, and no full-sib
    // family with a daughter. With a daughter or another son of his mother
    // he shares the gene he got from her with chance 1/2.
    if (kind == kPaternalHalfSibDyad || (kind == kFullSibDyad && haploids == 1)) return kImpossibleDyadLogL;
    delta = SibDyadDelta(1, kMaternalHalfSibDyad);
  }
  double r = 0.0;
  Compute_Dyad_Locus_LogL(l, u, v, delta, r);
  return r <= kImpossibleLogL ? kImpossibleDyadLogL : static_cast<float>(r);
}

// Log-likelihood entry of a candidate parent's observation p and an
// offspring's observation o at locus l. Two haploid members are never
// parent and offspring: a haploid son has no father.
float ParentEntry(int32_t l, const DyadObs& p, const DyadObs& o) {
  if (p.haploid && o.haploid) return kImpossibleDyadLogL;
  double r = 0.0;
  Compute_Dyad_Locus_LogL(l, p, o, ParentOffspringDelta(), r);
  return r <= kImpossibleLogL ? kImpossibleDyadLogL : static_cast<float>(r);
}

// Log-likelihood entry of a pair with a selfed offspring (first and second
// member as the coefficients order them). Selfing is modelled for diploid
// monoecious samples only: a haploid member cannot be in such a pair.
float SelfingEntry(int32_t l, const DyadDelta& delta, const DyadObs& u, const DyadObs& v) {
  if (u.haploid || v.haploid) return kImpossibleDyadLogL;
  double r = 0.0;
  Compute_Dyad_Locus_LogL(l, u, v, delta, r);
  return r <= kImpossibleLogL ? kImpossibleDyadLogL : static_cast<float>(r);
}

// Entry of table k for a row member's observation r and a column
// member's observation c at locus l.
float TableEntry(int32_t k, int32_t l, const DyadObs& r, const DyadObs& c) {
  switch (k) {
    case 4: return SelfingEntry(l, SelfedOutbredSibDelta(), r, c);
    case 5: return SelfingEntry(l, SelfedSibsDelta(), r, c);
    case 6:
    case 7: return ParentEntry(l, r, c);
    case 8: return SelfingEntry(l, ParentSelfedOffspringDelta(), r, c);
    default: return OffspringEntry(l, k - 1, r, c);
  }
}

// Who the rows of table k are: 0 the offspring, otherwise the candidates of
// that sex (the one pool of a monoecious sample is sex 1). The columns are
// always the offspring.
int32_t RowGroup(int32_t k) { return k == 6 || k == 8 ? 1 : k == 7 ? 2 : 0; }

// Relations whose entry does not depend on the order of the two members.
bool SymmetricRelation(int32_t k) { return k <= 3 || k == 5; }

// The distinct observations of one group of individuals at one locus:
// cls[k - 1] is the class (0..size - 1) of individual k, a missing
// observation being a class of its own for each ploidy (it still leaves the
// partner's probability, and a ploidy that rules the relation out).
struct LocusClasses {
  std::vector<DyadObs> distinct;
  std::vector<uint16_t> cls;
};

template <class Obs>
void Classify(int32_t count, Obs&& obs, LocusClasses& lc) {
  // Observation keys: haploid flag, first and second allele (each < 128).
  static std::vector<int32_t> slot(2 * 128 * 128, -1);
  std::vector<int32_t> touched;
  lc.distinct.clear();
  lc.cls.assign(static_cast<std::size_t>(std::max(count, 0)), 0);
  for (int32_t k = 1; k <= count; ++k) {
    const DyadObs o = obs(k);
    const int32_t key = (o.haploid ? 16384 : 0) + o.a1 * 128 + o.a2;
    int32_t& s = slot[static_cast<std::size_t>(key)];
    if (s < 0) {
      s = static_cast<int32_t>(lc.distinct.size());
      lc.distinct.push_back(o);
      touched.push_back(key);
    }
    lc.cls[static_cast<std::size_t>(k - 1)] = static_cast<uint16_t>(s);
  }
  for (int32_t key : touched) slot[static_cast<std::size_t>(key)] = -1;
}

// The combination table of one locus: comb holds the entry of row class u
// and column class v at u * G + v, G being the number of column classes.
// The columns are the offspring; the rows are the offspring again for a
// triangle (rowcls empty) or for an ordered square of offspring (rowcls a
// copy of cls), or the candidates of a rectangle.
struct LocusCombinations {
  int32_t G = 0;
  std::vector<uint16_t> cls;
  std::vector<uint16_t> rowcls;
  std::vector<float> comb;
};

void BuildCombinations(int32_t l, int32_t k, bool triangle, int32_t nrow, int32_t n, LocusCombinations& lc) {
  LocusClasses off, cand;
  Classify(n, [l](int32_t i) { return OffspringObs(i, l); }, off);
  const int32_t group = RowGroup(k);
  if (group > 0) Classify(nrow, [l, group](int32_t c) { return CandidateObs(group, c, l); }, cand);
  const LocusClasses& rows = group > 0 ? cand : off;
  const std::size_t w = off.distinct.size(), h = rows.distinct.size();
  lc.G = static_cast<int32_t>(w);
  lc.comb.assign(h * w, 0.0f);
  const bool symmetric = group == 0 && SymmetricRelation(k);
  for (std::size_t u = 0; u < h; ++u) {
    for (std::size_t v = symmetric ? u : 0; v < w; ++v) {
      const float e = TableEntry(k, l, rows.distinct[u], off.distinct[v]);
      lc.comb[u * w + v] = e;
      if (symmetric) lc.comb[v * w + u] = e;
    }
  }
  if (group > 0) {
    lc.rowcls = std::move(cand.cls);
  } else if (!triangle) {
    lc.rowcls = off.cls;
  } else {
    lc.rowcls.clear();
  }
  lc.cls = std::move(off.cls);
}

// Position of the first entry of row i: rows of the triangle hold the
// pairs (i, j > i), rows of the rectangle n entries each.
std::size_t RowStart(bool triangle, int32_t n, int32_t i) {
  const std::size_t r = static_cast<std::size_t>(i - 1);
  if (!triangle) return r * static_cast<std::size_t>(n);
  return r * static_cast<std::size_t>(n) - r * (r + 1) / 2;
}

// The rows of this process: every process sums all loci for a share of
// the pairs (the shares about equal in pairs), so that each pair's sum
// is taken in the same order whatever the number of processes.
void OwnRows(bool triangle, int32_t nrow, int32_t n, int32_t& first, int32_t& last) {
  const int32_t rows = triangle ? n - 1 : nrow;
  first = 1;
  last = rows;
  if (!Distributed() || rows < 1) return;
  const std::size_t total = RowStart(triangle, n, rows + 1);
  const std::size_t np = static_cast<std::size_t>(variables.numthreads);
  const std::size_t p = static_cast<std::size_t>(variables.threadid);
  // Row i belongs to the process whose share holds its first entry.
  auto owner = [&](int32_t i) { return RowStart(triangle, n, i) * np / std::max<std::size_t>(total, 1); };
  first = rows + 1;
  last = rows;
  for (int32_t i = 1; i <= rows; ++i) {
    const std::size_t o = owner(i);
    if (o == p && first > rows) first = i;
    if (o == p) last = i;
  }
}

// Classes of a batch of loci, individual by individual: entry k * B + b
// is the class of individual k + 1 at the batch's locus b.
std::vector<uint16_t> BatchClasses(const std::vector<LocusCombinations>& batch, int32_t count, bool rows) {
  const std::size_t B = batch.size();
  std::vector<uint16_t> cls(static_cast<std::size_t>(std::max(count, 0)) * B);
  for (std::size_t b = 0; b < B; ++b) {
    const std::vector<uint16_t>& c = rows ? batch[b].rowcls : batch[b].cls;
    for (std::size_t k = 0; k < static_cast<std::size_t>(std::max(count, 0)); ++k) cls[k * B + b] = c[k];
  }
  return cls;
}

// Adds the entries of a batch of loci to the pairs of rows first .. last
// of a table, saturating at the impossible value: the triangle over n
// offspring, or the rectangle of nrow candidates by n offspring.
void AddBatch(const std::vector<LocusCombinations>& batch, bool triangle, int32_t nrow, int32_t n, int32_t first,
              int32_t last, std::vector<float>& table) {
  const std::size_t B = batch.size();
  if (B == 0 || n < 1 || nrow < 1 || (triangle && n < 2) || first > last) return;
  const std::vector<uint16_t> cls = BatchClasses(batch, n, false);
  const std::vector<uint16_t> rowcls = triangle ? std::vector<uint16_t>() : BatchClasses(batch, nrow, true);
  std::vector<const float*> rows(B);
  std::size_t pos = RowStart(triangle, n, first);
  for (int32_t i = first; i <= last; ++i) {
    const uint16_t* ci = &(triangle ? cls : rowcls)[static_cast<std::size_t>(i - 1) * B];
    for (std::size_t b = 0; b < B; ++b) {
      rows[b] = batch[b].comb.data() + static_cast<std::size_t>(ci[b]) * static_cast<std::size_t>(batch[b].G);
    }
    for (int32_t j = triangle ? i + 1 : 1; j <= n; ++j, ++pos) {
      const uint16_t* cj = &cls[static_cast<std::size_t>(j - 1) * B];
      double s = table[pos];
      for (std::size_t b = 0; b < B; ++b) s += rows[b][cj[b]];
      table[pos] = s <= kImpossibleLogL ? kImpossibleDyadLogL : static_cast<float>(s);
    }
  }
}

// Joins the rows that the processes computed: each entry is non-zero on one
// process only, so the sum is exact and the table the same as one process
// computes alone.
void SumOverProcesses(std::vector<float>& t) {
  if (!Distributed()) return;
  constexpr std::size_t kChunk = std::size_t{1} << 24;
  for (std::size_t off = 0; off < t.size(); off += kChunk) {
    const int count = static_cast<int>(std::min(kChunk, t.size() - off));
    MPI_Allreduce(MPI_IN_PLACE, t.data() + off, count, MPI_FLOAT, MPI_SUM, MPI_COMM_WORLD);
  }
  for (float& x : t) {
    if (!(x > kImpossibleDyadLogL)) x = kImpossibleDyadLogL;
  }
}

// Shape of table k for the current sample; false for a table that has no
// shape yet.
bool TableShape(int32_t k, bool& triangle, int32_t& nrow, int32_t& ncol) {
  const int32_t n = std::max(variables.smplsize, 0);
  if (k >= 1 && k <= 3) {
    triangle = true;
    nrow = ncol = n;
    return true;
  }
  if (k == 5) {  // two selfed sibs
    triangle = true;
    nrow = ncol = n;
    return true;
  }
  if (k == 4) {  // selfed (rows) with outbred sib (columns)
    triangle = false;
    nrow = ncol = n;
    return true;
  }
  if (k >= 6 && k <= 8) {  // candidates of one sex, or of the one pool (rows), with offspring
    triangle = false;
    nrow = std::max(variables.numchild(RowGroup(k)), 0);
    ncol = n;
    return true;
  }
  return false;
}

// ---- Data digest ----
// One 32-bit digest per locus of everything a table depends on (allele
// counts and frequencies, marker type, error rates, ploidies and every
// observation), so that a cache file made from other data, or from older
// frequencies, is never taken for this one.
void Mix(uint32_t& h, const void* data, std::size_t bytes) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (std::size_t k = 0; k < bytes; ++k) h = (h ^ p[k]) * 16777619u;
}
template <class T>
void MixValue(uint32_t& h, T x) {
  Mix(h, &x, sizeof x);
}

uint32_t LocusDigest(int32_t l) {
  const LikelihoodVar& lv = likelihoodvar;
  uint32_t h = 2166136261u;
  MixValue(h, l);
  MixValue(h, lv.obsnumallele(l));
  MixValue(h, static_cast<int32_t>(variables.dominantmarker(l)));
  MixValue(h, variables.droprate(l));
  MixValue(h, variables.othererrorrate(l));
  MixValue(h, variables.haplodiploid);
  // A monoecious species with selfing puts a floor under the error rate of
  // two-allele loci.
  MixValue(h, variables.numsex);
  MixValue(h, variables.allowinbreeding);
  const std::vector<double>& fre = lv.obsallelefre(l);
  Mix(h, fre.data(), fre.size() * sizeof(double));
  for (int32_t sex = 0; sex <= 2; ++sex) {
    int32_t count = sex == 0 ? variables.smplsize : variables.numchild(sex);
    if (sex > 0 && variables.cndgtype(sex).size() < static_cast<std::size_t>(l)) count = 0;
    MixValue(h, count);
    for (int32_t i = 1; i <= count; ++i) {
      const auto g = ObservedGenotype(sex, i, l);
      MixValue(h, (sex == 0 && HaploidOffspring(i) ? 1 << 16 : 0) + g.first * 256 + g.second);
    }
  }
  return h == 0 ? 1u : h;
}

// Fills dyadprbvariables.locusdigest: every process digests every locus
// that takes part, as it adds them all up.
void ComputeLocusDigest() {
  std::vector<uint32_t>& d = dyadprbvariables.locusdigest;
  d.assign(static_cast<std::size_t>(std::max(variables.numloci, 0)), 0u);
  for (int32_t l : TableLoci()) d[static_cast<std::size_t>(l - 1)] = LocusDigest(l);
}

// ---- Record files ----
// Each record is framed by its length in bytes, before and after, as a
// sequential unformatted file. Record 1: the table's identity (marks, key,
// shape, loci, sample size); record 2: the per-locus data digests; then
// one record per table row (a triangle's row i holds j = i+1..n).

std::array<int32_t, 8> Header(int32_t k, const DyadPrbVariables::Table& t) {
  return {kFileMagic, kFileVersion, k, t.triangle ? 1 : 0, t.nrow, t.ncol, variables.numloci, variables.smplsize};
}

// Rows of a table as (first entry, length).
template <class F>
void ForEachRow(const DyadPrbVariables::Table& t, F&& row) {
  std::size_t pos = 0;
  for (int32_t i = 1; i <= t.nrow; ++i) {
    const std::size_t len = static_cast<std::size_t>(t.triangle ? t.nrow - i : t.ncol);
    if (t.triangle && len == 0) break;
    if (!row(pos, len)) return;
    pos += len;
  }
}

std::size_t TableSize(bool triangle, int32_t nrow, int32_t ncol) {
  const std::size_t r = static_cast<std::size_t>(std::max(nrow, 0));
  return triangle ? r * (r > 0 ? r - 1 : 0) / 2 : r * static_cast<std::size_t>(std::max(ncol, 0));
}

// Reads table k from its file into *t; with t null the file is only
// checked, a row at a time, without holding the table. False (t
// untouched) unless the file is complete and made from the current data.
bool ReadTable(const std::string& name, int32_t k, DyadPrbVariables::Table* t) {
  DyadPrbVariables::Table want;
  if (!TableShape(k, want.triangle, want.nrow, want.ncol) || !FileExists(name)) return false;
  const std::vector<uint32_t>& digest = dyadprbvariables.locusdigest;
  if (digest.size() != static_cast<std::size_t>(std::max(variables.numloci, 0))) return false;
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  auto record = [&](void* data, std::size_t bytes) {
    int32_t before = -1, after = -1;
    in.read(reinterpret_cast<char*>(&before), sizeof before);
    if (!in || static_cast<std::size_t>(before) != bytes) return false;
    in.read(static_cast<char*>(data), static_cast<std::streamsize>(bytes));
    in.read(reinterpret_cast<char*>(&after), sizeof after);
    return static_cast<bool>(in) && after == before;
  };
  std::array<int32_t, 8> header{};
  if (!record(header.data(), sizeof header) || header != Header(k, want)) return false;
  std::vector<uint32_t> stored(digest.size());
  if (!record(stored.data(), stored.size() * sizeof(uint32_t)) || stored != digest) return false;
  std::vector<float> row;
  if (t != nullptr) {
    want.logl.assign(TableSize(want.triangle, want.nrow, want.ncol), 0.0f);
  } else {
    row.assign(static_cast<std::size_t>(std::max(want.triangle ? want.nrow - 1 : want.ncol, 0)), 0.0f);
  }
  bool ok = true;
  // Every entry a log likelihood: finite, not above 0 beyond rounding, and
  // not below the impossible value; nothing after the last row.
  ForEachRow(want, [&](std::size_t pos, std::size_t len) {
    float* dest = t != nullptr ? want.logl.data() + pos : row.data();
    ok = record(dest, len * sizeof(float));
    for (std::size_t p = 0; ok && p < len; ++p) {
      ok = std::isfinite(dest[p]) && dest[p] >= kImpossibleDyadLogL && dest[p] <= 1e-3f;
    }
    return ok;
  });
  ok = ok && in.peek() == std::char_traits<char>::eof();
  if (!ok) return false;
  if (t != nullptr) {
    want.ready = true;
    *t = std::move(want);
  }
  return true;
}

void WriteTable(const std::string& name, int32_t k, const DyadPrbVariables::Table& t) {
  const std::string temp = name + ".tmp";
  GuardWrite(name);
  GuardWrite(temp);
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  auto record = [&](const void* data, std::size_t bytes) {
    const int32_t len = static_cast<int32_t>(bytes);
    out.write(reinterpret_cast<const char*>(&len), sizeof len);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
    out.write(reinterpret_cast<const char*>(&len), sizeof len);
    return static_cast<bool>(out);
  };
  const std::array<int32_t, 8> header = Header(k, t);
  const std::vector<uint32_t>& digest = dyadprbvariables.locusdigest;
  bool ok = static_cast<bool>(out) && record(header.data(), sizeof header) &&
            record(digest.data(), digest.size() * sizeof(uint32_t));
  if (ok) {
    ForEachRow(t, [&](std::size_t pos, std::size_t len) {
      ok = record(t.logl.data() + pos, len * sizeof(float));
      return ok;
    });
  }
  out.flush();
  ok = ok && static_cast<bool>(out);
  out.close();
  if (!ok || out.fail() || std::rename(temp.c_str(), name.c_str()) != 0) {
    std::remove(temp.c_str());
    StopWithMessage("Failed to write file " + name, "ReadWriteDyadLogL");
  }
}

// Without haploid sons the paternal and maternal half-sib relations have the
// same coefficients, so the maternal table is the paternal one; it is then
// not held a second time: table 3 keeps its shape, marked ready, with no
// entries, and OffspringDyadLogL reads table 2 for it. Its cache file is
// still written (from table 2) and checked.
bool MaternalShared(int32_t k) { return k == 3 && variables.haplodiploid != 1; }

void MarkMaternalShared() {
  DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(3);
  TableShape(3, t.triangle, t.nrow, t.ncol);
  t.logl.clear();
  t.logl.shrink_to_fit();
  t.ready = true;
}

// ReadWriteDyadLogL with the data digest as it stands.
bool ReadWriteTable(int32_t mode, const std::string& fileName) {
  int32_t k = 0;
  for (std::size_t key = 0; key < kKeys.size() && k == 0; ++key) {
    if (fileName.find(kKeys[key]) != std::string::npos) k = static_cast<int32_t>(key) + 1;
  }
  if (k == 0) return false;
  DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
  if (MaternalShared(k)) {
    const DyadPrbVariables::Table& paternal = dyadprbvariables.dyadtable(2);
    if (mode == 1) {
      if (!ReadTable(fileName, k, nullptr)) return false;
      MarkMaternalShared();
      return true;
    }
    if (!paternal.ready || !t.ready) return false;
    WriteTable(fileName, k, paternal);
    return true;
  }
  if (mode == 1) return ReadTable(fileName, k, &t);
  if (!t.ready) return false;
  WriteTable(fileName, k, t);
  return true;
}

void ShowLineEnd(bool any) {
  if (any && variables.displayq != 0 && variables.igui != 1 &&
      variables.lineform == Variables::LineForm::NoAdvance) {
    std::cout << '\n';
  }
}

}  // namespace

void Compute_Dyad_Locus2_LogL(int32_t k) {
  if (k < 1 || k > 8) {
    StopWithMessage("No pair table of number " + std::to_string(k), "Compute_Dyad_Locus2_LogL");
  }
  DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
  const int32_t n = std::max(variables.smplsize, 0);
  t.ready = false;
  TableShape(k, t.triangle, t.nrow, t.ncol);
  t.logl.assign(TableSize(t.triangle, t.nrow, t.ncol), 0.0f);

  std::vector<LocusCombinations> batch;
  std::size_t entries = 0;
  int32_t counter = 0;
  const std::vector<int32_t> loci = t.logl.empty() ? std::vector<int32_t>() : TableLoci();
  int32_t first = 1, last = 0;
  OwnRows(t.triangle, t.nrow, n, first, last);
  for (int32_t l : loci) {
    char text[32];
    std::snprintf(text, sizeof text, " Locus:%6d", l);
    WriteProgress(counter, 1, text);
    batch.emplace_back();
    BuildCombinations(l, k, t.triangle, t.nrow, n, batch.back());
    entries += batch.back().comb.size() + batch.back().rowcls.size();
    if (entries >= kBatchEntries || batch.size() >= kBatchLoci) {
      AddBatch(batch, t.triangle, t.nrow, n, first, last, t.logl);
      batch.clear();
      entries = 0;
    }
  }
  AddBatch(batch, t.triangle, t.nrow, n, first, last, t.logl);
  ShowLineEnd(!loci.empty());
  // Every process takes part in the sum, also one without rows of its own.
  SumOverProcesses(t.logl);
  // An offspring is not its own sib: the diagonal of the ordered square.
  if (k == 4) {
    for (int32_t i = 1; i <= t.nrow; ++i) {
      t.logl[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(t.ncol) + static_cast<std::size_t>(i - 1)] =
          kImpossibleDyadLogL;
    }
  }
  t.ready = true;
}

bool ReadWriteDyadLogL(int32_t mode, const std::string& fileName) {
  // A single process digests the data as they are now; several share the
  // work of digesting in CalculatePairProb, which every process calls.
  if (!Distributed()) ComputeLocusDigest();
  return ReadWriteTable(mode, fileName);
}

void CalculatePairProb(bool readallowed) {
  static const std::array<const char*, 5> suffixes = {".FSDyadLogL", ".HSDyadLogL", ".MHSDyadLogL",
                                                      ".SelfOutLogL", ".SelfSelfLogL"};
  static const std::array<const char*, 5> messages = {
      "Calculating full-sib dyad likelihood...", "Calculating half-sib dyad likelihood...",
      "Calculating maternal half-sib dyad likelihood...", "Calculating self-outbred ordered sib dyad likelihood...",
      "Calculating self-self sib dyad likelihood..."};
  // One digest of the data for every file read or written below.
  ComputeLocusDigest();
  for (int32_t k = 1; k <= 5; ++k) {
    if (k >= 4 && !SelfingSample()) {
      // No selfed offspring in this sample: no table, no file.
      dyadprbvariables.dyadtable(k) = DyadPrbVariables::Table{};
      continue;
    }
    const std::string name = variables.fname + suffixes[static_cast<std::size_t>(k - 1)];
    if (AllProcesses(readallowed && ReadWriteTable(1, name))) continue;
    if (variables.displayq != 0) std::cout << messages[static_cast<std::size_t>(k - 1)] << std::endl;
    if (MaternalShared(k)) {
      MarkMaternalShared();
    } else {
      Compute_Dyad_Locus2_LogL(k);
    }
    if (variables.threadid == 0) ReadWriteTable(2, name);
  }
}

void CalculateParentPairProb(bool readallowed) {
  ComputeLocusDigest();
  // Tables 6 and 7, then the parent and selfed offspring (table 8), whose
  // rows are the candidates of the one pool of a monoecious sample.
  for (int32_t k = 6; k <= 8; ++k) {
    DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
    if (k == 8 && !SelfingSample()) {
      t = DyadPrbVariables::Table{};
      continue;
    }
    if (variables.numchild(RowGroup(k)) < 1 || variables.smplsize < 1) {
      // Nothing to pair: an empty table of the right shape, and no file.
      TableShape(k, t.triangle, t.nrow, t.ncol);
      t.logl.clear();
      t.ready = true;
      continue;
    }
    const std::string name =
        variables.fname + (k == 8 ? std::string(".PrtDyadLogL") : std::string(k == 6 ? ".Dad" : ".Mum") + "DyadLogL");
    if (AllProcesses(readallowed && ReadWriteTable(1, name))) continue;
    if (variables.displayq != 0) {
      if (k == 8) {
        std::cout << "Calculating Parent-Selfedoffspring dyad likelihood..." << std::endl;
      } else {
        std::cout << "Calculating " << (k == 6 ? "fa" : "mo") << "ther-offspring dyad likelihood..." << std::endl;
      }
    }
    Compute_Dyad_Locus2_LogL(k);
    if (variables.threadid == 0) ReadWriteTable(2, name);
  }
}

bool OffspringDyadReady() {
  for (int32_t k = 1; k <= 3; ++k) {
    const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(k);
    if (!t.ready || !t.triangle || t.nrow != variables.smplsize) return false;
  }
  return true;
}

bool SelfingSample() { return variables.numsex == 1 && variables.allowinbreeding == 1; }

bool SelfingDyadReady() {
  if (!SelfingSample()) return false;
  const DyadPrbVariables::Table &so = dyadprbvariables.dyadtable(4), &ss = dyadprbvariables.dyadtable(5);
  const int32_t n = std::max(variables.smplsize, 0);
  return so.ready && !so.triangle && so.nrow == n && so.ncol == n &&
         so.logl.size() == static_cast<std::size_t>(n) * static_cast<std::size_t>(n) && ss.ready && ss.triangle &&
         ss.nrow == n && ss.logl.size() == TableSize(true, n, n);
}

bool ParentSelfedDyadReady() {
  if (!SelfingSample()) return false;
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(8);
  return t.ready && !t.triangle && t.nrow == std::max(variables.numchild(1), 0) &&
         t.ncol == std::max(variables.smplsize, 0) &&
         t.logl.size() == static_cast<std::size_t>(t.nrow) * static_cast<std::size_t>(t.ncol);
}

bool ParentDyadReady(int32_t sex) {
  const DyadPrbVariables::Table& t = dyadprbvariables.dyadtable(sex + 5);
  return t.ready && !t.triangle && t.nrow == std::max(variables.numchild(sex), 0) &&
         t.ncol == std::max(variables.smplsize, 0) &&
         t.logl.size() == static_cast<std::size_t>(t.nrow) * static_cast<std::size_t>(t.ncol);
}

uint64_t DyadDataDigest() {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t d : dyadprbvariables.locusdigest) h = (h ^ d) * 1099511628211ull;
  return h;
}
