// Log likelihood of the families of a cluster at one locus.
//
// Genotypes are enumerated over the alleles that matter: a family's table
// over the alleles its offspring show, a parent's weights over the alleles
// of its families and of its own observation, each set completed by one
// pooled allele standing for all the alleles of the locus it does not hold.
// Under the error model an allele that a family does not show behaves the
// same whichever it is, and the population frequencies of the genotypes
// carrying such alleles add up exactly to those of the pooled genotypes,
// so the pooling is exact while the tables stay small: a full-sib family
// shows at most four alleles without error, however many the locus has.
#include "likelihood/peeling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

#include "genotype/error_model.h"
#include "genotype/frequencies.h"
#include "genotype/genotype_codes.h"
#include "likelihood/cluster_sum.h"
#include "likelihood/family_tables.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"

namespace {

// Largest number of distinct alleles one family may show at one locus.
constexpr int32_t kMaxFamilyAlleles = 80;

// An allele set: global alleles in order of first appearance, the inverse
// map, and whether a pooled allele completes it (it is then number
// size() + 1).
struct AlleleSet {
  std::vector<int32_t> global;
  std::array<int16_t, 128> local{};
  bool pooled = false;

  void Reset() {
    for (int32_t a : global) local[static_cast<std::size_t>(a)] = 0;
    global.clear();
    pooled = false;
  }
  int32_t Add(int32_t a) {
    int16_t& k = local[static_cast<std::size_t>(a)];
    if (k == 0) {
      global.push_back(a);
      k = static_cast<int16_t>(global.size());
    }
    return k;
  }
  int32_t Size() const { return static_cast<int32_t>(global.size()) + (pooled ? 1 : 0); }
  // Local number of a global allele; alleles outside the set are pooled.
  int32_t Of(int32_t a) const {
    const int16_t k = local[static_cast<std::size_t>(a)];
    return k != 0 ? k : static_cast<int32_t>(global.size()) + 1;
  }
};

struct FamilyEntry;

// Reused between calls, so that scoring a move allocates nothing once the
// buffers have grown to the sizes the data need.
struct LocusWork {
  std::vector<AlleleSet> familysets, nodesets;
  FamilyData data;
  std::vector<double> pfre;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  std::vector<int32_t> mapm;
  AlleleSet entryset;
  std::vector<const FamilyEntry*> entries;  // by family; nullptr without a father
  ClusterGraph graph;
};
LocusWork work;

bool Missing(const std::pair<int32_t, int32_t>& g) { return g.first <= 0; }

// What a full-sib family brings to one locus, kept between evaluations:
// its allele set and its table. Both depend only on the locus, its error
// rates and the family's members (in their order), so an entry stays valid
// until the error rates change (ClearFamilyTableCache). A move of the
// search changes one or two families; the entries of all the others were
// made for earlier proposals and are read in place, without reading their
// offspring's genotypes again or copying their tables.
struct FamilyEntry {
  enum Status : int8_t { kNoData, kTable, kImpossible };
  uint64_t key = 0;
  int32_t locus = 0;  // 0: an empty slot
  bool selfed = false;
  uint64_t pinned = 0;  // the evaluation that last read the entry
  std::vector<int32_t> members;
  Status status = kNoData;
  std::vector<int32_t> alleles;  // the family's alleles in order of appearance
  // The table, scaled to its largest entry (logarithm logtable) and, for
  // two distinct parents, scaled again exactly as the cluster sum scales a
  // table it is given (logarithm lognorm), so that the sum reads it as is.
  std::vector<double> table;
  double logtable = 0.0, lognorm = 0.0;
};

// Entries by key, in sets of kWays slots; a new entry takes the place of
// the one of its set read least recently, so that the families of the
// current configuration, read at every evaluation, stay while the
// proposals' families pass through. An entry read by the current
// evaluation is never overwritten while the evaluation runs: a family
// whose set is all in use takes a spare entry for that evaluation only.
struct FamilyCache {
  static constexpr int32_t kBits = 11;  // 2^kBits sets
  static constexpr int32_t kWays = 4;
  // Bound on the stored tables; past it every entry not in use is dropped.
  static constexpr std::size_t kDoubles = std::size_t{1} << 22;  // 32 MB
  std::vector<FamilyEntry> slots;
  std::deque<FamilyEntry> spare;  // grows without moving the entries in use
  std::size_t nspare = 0;
  std::size_t doubles = 0;  // capacity of the stored tables
  uint64_t evaluation = 0;
};
FamilyCache familycache;

// Per-locus probabilities of a two-allele locus, made once after each
// change of the error rates.
struct SnpTables {
  bool ready = false;
  bool hd = false;
  double obs[3][3];
  double trans[3][3][3];
  // A family's table depends only on how many of its offspring show each
  // observation, and most families of a search keep their counts from one
  // proposal to the next: tables by counts, in a small direct-mapped cache.
  struct Entry {
    uint32_t key = 0;  // the counts packed, plus one; 0 = empty
    double table[9];
    double loglargest;
  };
  std::array<Entry, 64> bycounts{};
};
std::vector<SnpTables> snptables;

uint64_t TableKey(int32_t l, bool selfed, const std::vector<int32_t>& members) {
  uint64_t h = 1469598103934665603ull ^ (static_cast<uint64_t>(l) << 1) ^ (selfed ? 1u : 0u);
  for (int32_t i : members) h = (h ^ static_cast<uint64_t>(i)) * 1099511628211ull;
  return h;
}

double Exponent(int32_t c) {
  if (variables.fsscaleq == 1) {
    SetScale2(c);
    return likelihoodvar.scale2[static_cast<std::size_t>(c)];
  }
  return c;
}

void Count(std::vector<FamilyRecord>& list, int32_t a1, int32_t a2) {
  for (FamilyRecord& r : list) {
    if (r.a1 == a1 && r.a2 == a2) {
      r.exponent += 1;
      return;
    }
  }
  list.push_back(FamilyRecord{a1, a2, 1});
}

// Unordered genotypes over m alleles in index order.
void ListPairs(int32_t m, std::vector<std::pair<int32_t, int32_t>>& pairs) {
  pairs.assign(static_cast<std::size_t>(m * (m + 1) / 2) + 1, {0, 0});
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = i; j <= m; ++j) pairs[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m))] = {i, j};
  }
}

// FamilyGenotypeIndex(i, j, m) - 1 for i, j = 0..m at [i * (m + 1) + j],
// kept for every m met.
const int32_t* GenotypeIndexTable(int32_t m) {
  thread_local std::vector<std::vector<int32_t>> tables;
  if (tables.size() <= static_cast<std::size_t>(m)) tables.resize(static_cast<std::size_t>(m) + 1);
  std::vector<int32_t>& t = tables[static_cast<std::size_t>(m)];
  if (t.empty()) {
    t.assign(static_cast<std::size_t>((m + 1) * (m + 1)), -1);
    for (int32_t i = 1; i <= m; ++i) {
      for (int32_t j = 1; j <= m; ++j) t[static_cast<std::size_t>(i * (m + 1) + j)] = FamilyGenotypeIndex(i, j, m) - 1;
    }
  }
  return t.data();
}

// Map from the genotypes of a parent (over `from`) to the rows of a
// family table (over `to`); haploid: alleles only.
void ProjectionMap(const AlleleSet& from, const AlleleSet& to, bool haploid, std::vector<int32_t>& map) {
  // The same alleles in the same order (a parent of one family, the usual
  // mother of a half-sib cluster): the identity, which needs no map.
  if (from.global == to.global) {
    map.clear();
    return;
  }
  const int32_t mf = from.Size(), mt = to.Size();
  auto toLocal = [&](int32_t k) {
    return k <= static_cast<int32_t>(from.global.size()) ? to.Of(from.global[static_cast<std::size_t>(k - 1)])
                                                          : static_cast<int32_t>(to.global.size()) + 1;
  };
  if (haploid) {
    map.resize(static_cast<std::size_t>(mf));
    for (int32_t k = 1; k <= mf; ++k) map[static_cast<std::size_t>(k - 1)] = toLocal(k) - 1;
    return;
  }
  map.resize(static_cast<std::size_t>(mf * (mf + 1) / 2));
  // Each allele is looked up once; the genotypes then pair the results,
  // whose indexes over the target's alleles are read from a table.
  thread_local std::vector<int32_t> local;
  local.resize(static_cast<std::size_t>(mf) + 1);
  for (int32_t k = 1; k <= mf; ++k) local[static_cast<std::size_t>(k)] = toLocal(k);
  const int32_t* index = GenotypeIndexTable(mt);
  const std::size_t stride = static_cast<std::size_t>(mt) + 1;
  int32_t* out = map.data();
  int32_t het = mf;  // heterozygotes follow the homozygotes, i major
  for (int32_t i = 1; i <= mf; ++i) {
    const int32_t* row = index + static_cast<std::size_t>(local[static_cast<std::size_t>(i)]) * stride;
    out[i - 1] = row[local[static_cast<std::size_t>(i)]];
    for (int32_t j = i + 1; j <= mf; ++j) out[het++] = row[local[static_cast<std::size_t>(j)]];
  }
}

// The allele set and the distinct observations of family fam at locus l
// (n alleles), read from its offspring; false when the family shows more
// alleles than maxShown.
bool ReadFamily(int32_t l, int32_t n, bool dominant, int32_t maxShown, const FamilyLoglVar::Family& fam, AlleleSet& s,
                FamilyData& data) {
  const bool hd = variables.haplodiploid == 1;
  s.Reset();
  data.records.clear();
  data.haploid.clear();
  // At dominant loci the set is simply every allele.
  if (dominant) {
    for (int32_t a = 1; a <= n; ++a) s.Add(a);
  }
  for (int32_t i : fam.members) {
    const auto g = ObservedGenotype(0, i, l);
    if (Missing(g)) continue;
    int32_t a1 = g.first, a2 = 0;
    if (!dominant) {
      a1 = s.Add(g.first);
      a2 = s.Add(g.second);
      if (static_cast<int32_t>(s.global.size()) > maxShown) return false;  // more than two parents can pass on
    }
    Count(hd && variables.offploid(i) == 1 ? data.haploid : data.records, a1, a2);
  }
  s.pooled = static_cast<int32_t>(s.global.size()) < n;
  for (FamilyRecord& r : data.records) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
  for (FamilyRecord& r : data.haploid) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
  return true;
}

// The entry of family fam (with both parents) at locus l: found, or made
// from its offspring's observations, with its table.
const FamilyEntry& FamilyEntryOf(int32_t l, int32_t n, bool dominant, int32_t maxShown,
                                 const FamilyLoglVar::Family& fam) {
  FamilyCache& c = familycache;
  if (c.slots.empty()) c.slots.resize(std::size_t{FamilyCache::kWays} << FamilyCache::kBits);
  const bool selfed = fam.father == fam.mother;
  const uint64_t key = TableKey(l, selfed, fam.members);
  FamilyEntry* set =
      &c.slots[static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - FamilyCache::kBits)) * FamilyCache::kWays];
  FamilyEntry* victim = nullptr;
  for (int32_t k = 0; k < FamilyCache::kWays; ++k) {
    FamilyEntry& x = set[k];
    if (x.key == key && x.locus == l && x.selfed == selfed && x.members == fam.members) {
      x.pinned = c.evaluation;
      return x;
    }
    if (x.locus == 0 || x.pinned != c.evaluation) {
      if (victim == nullptr || x.locus == 0 || (victim->locus != 0 && x.pinned < victim->pinned)) victim = &x;
    }
  }
  FamilyEntry* e = victim;
  if (e == nullptr) {
    if (c.nspare == c.spare.size()) c.spare.emplace_back();
    e = &c.spare[c.nspare++];
  }
  const bool stored = e == victim;
  if (stored) c.doubles -= std::min(c.doubles, e->table.capacity());
  e->key = key;
  e->locus = l;
  e->selfed = selfed;
  e->pinned = c.evaluation;
  e->members.assign(fam.members.begin(), fam.members.end());
  e->alleles.clear();
  e->logtable = e->lognorm = 0.0;
  AlleleSet& s = work.entryset;
  FamilyData& data = work.data;
  if (!ReadFamily(l, n, dominant, maxShown, fam, s, data)) {
    e->status = FamilyEntry::kImpossible;
  } else if (data.records.empty() && data.haploid.empty()) {
    e->status = FamilyEntry::kNoData;
    e->alleles.assign(s.global.begin(), s.global.end());
  } else {
    e->alleles.assign(s.global.begin(), s.global.end());
    const double largest = FsProbCompute(l, data, s.Size(), selfed, e->table);
    if (!(largest > 1e-300)) {
      e->status = FamilyEntry::kImpossible;
    } else {
      e->status = FamilyEntry::kTable;
      const double inv = 1.0 / largest;
      for (double& x : e->table) x *= inv;
      e->logtable = std::log(largest);
      if (!selfed) {
        // The scaling the cluster sum applies to every table of two
        // parents, done once here.
        double mx = 0.0;
        for (double x : e->table) mx = std::max(mx, x);
        if (mx != 1.0) {
          const double inv2 = 1.0 / mx;
          for (double& x : e->table) x *= inv2;
        }
        e->lognorm = std::log(mx);
      }
    }
  }
  if (stored) {
    c.doubles += e->table.capacity();
    if (c.doubles > FamilyCache::kDoubles) {
      // Past the bound: every entry not in use is dropped.
      c.doubles = 0;
      for (FamilyEntry& x : c.slots) {
        if (x.locus != 0 && x.pinned == c.evaluation) {
          c.doubles += x.table.capacity();
          continue;
        }
        x.locus = 0;
        std::vector<double>().swap(x.table);
      }
    }
  }
  return *e;
}

}  // namespace

void ClearFamilyTableCache() {
  familycache.slots.clear();
  familycache.slots.shrink_to_fit();
  familycache.spare.clear();
  familycache.nspare = 0;
  familycache.doubles = 0;
  snptables.clear();
}

void ClearLocusTableCache(int32_t l) {
  // An entry of locus 0 is an empty slot; its table's capacity stays
  // counted until the slot is taken again, as for any entry replaced.
  for (FamilyEntry& x : familycache.slots) {
    if (x.locus == l) x.locus = 0;
  }
  for (FamilyEntry& x : familycache.spare) {
    if (x.locus == l) x.locus = 0;
  }
  if (l >= 1 && snptables.size() >= static_cast<std::size_t>(l)) snptables[static_cast<std::size_t>(l - 1)].ready = false;
}

namespace {

// Two-allele codominant loci (SNPs) have three genotypes per parent and
// three possible observations, so every table is 3 x 3 and is computed
// directly, without allele sets, projections or the table cache, whose
// upkeep would cost more than the tables themselves. Genotype indexes
// follow FamilyGenotypeIndex: 0 = (1,1), 1 = (2,2), 2 = (1,2).
bool SnpLocusGraph(int32_t l, double& logconst) {
  const FamilyLoglVar& fv = familyloglvar;
  const bool hd = variables.haplodiploid == 1;
  const double F = variables.inbreeding;
  static const int32_t alleles[3][2] = {{1, 1}, {2, 2}, {1, 2}};
  auto index = [](int32_t a, int32_t b) { return a == b ? a - 1 : 2; };
  // obs[t][o]: probability of observation o given the true genotype t;
  // trans[f][m][o]: an offspring's observation o given its parents'
  // genotypes (a haploid father: f is his allele 1 or 2, as index 0 or 1).
  // Both depend on the locus only, so they are kept per locus.
  if (snptables.size() < static_cast<std::size_t>(l)) snptables.resize(static_cast<std::size_t>(variables.numloci));
  SnpTables& st = snptables[static_cast<std::size_t>(l - 1)];
  if (!st.ready || st.hd != hd) {
    for (int32_t t = 0; t < 3; ++t) {
      for (int32_t o = 0; o < 3; ++o) st.obs[t][o] = PrbGtoP(alleles[t][0], alleles[t][1], alleles[o][0], alleles[o][1], l);
    }
    for (int32_t f = 0; f < 3; ++f) {
      for (int32_t m = 0; m < 3; ++m) {
        for (int32_t o = 0; o < 3; ++o) {
          double sum = 0.0;
          if (hd) {
            if (f < 2) {
              for (int32_t y : alleles[m]) sum += 0.5 * st.obs[index(std::min(f + 1, y), std::max(f + 1, y))][o];
            }
          } else {
            for (int32_t x : alleles[f]) {
              for (int32_t y : alleles[m]) sum += 0.25 * st.obs[index(std::min(x, y), std::max(x, y))][o];
            }
          }
          st.trans[f][m][o] = sum;
        }
      }
    }
    st.bycounts = {};
    st.ready = true;
    st.hd = hd;
  }
  const auto& obs = st.obs;
  const auto& trans = st.trans;
  const std::vector<double>& p = likelihoodvar.obsallelefre(l);
  const double fr[3] = {std::max(0.0, p[0] * (F + (1 - F) * p[0])), std::max(0.0, p[1] * (F + (1 - F) * p[1])),
                        2 * (1 - F) * p[0] * p[1]};
  ClusterGraph& graph = work.graph;
  graph.Clear();
  for (const auto& par : fv.parents) {
    const bool haploid = hd && par.sex == 1;
    std::pair<int32_t, int32_t> o{0, 0};
    if (par.candidate > 0) o = ObservedGenotype(par.sex, par.candidate, l);
    ClusterGraph::Node& node = graph.NewNode(haploid ? 2 : 3);
    if (haploid) {
      for (int32_t k = 0; k < 2; ++k) node.w[static_cast<std::size_t>(k)] = p[static_cast<std::size_t>(k)] * (o.first > 0 ? PrbGtoPHaploid(k + 1, o.first, l) : 1.0);
    } else {
      for (int32_t g = 0; g < 3; ++g) node.w[static_cast<std::size_t>(g)] = fr[g] * (o.first > 0 ? obs[g][index(o.first, o.second)] : 1.0);
    }
  }
  logconst = 0.0;
  for (const auto& fam : fv.families) {
    int32_t count[3] = {0, 0, 0};
    FamilyData& sons = work.data;
    sons.records.clear();
    sons.haploid.clear();
    for (int32_t i : fam.members) {
      const auto g = ObservedGenotype(0, i, l);
      if (g.first <= 0) continue;
      if (hd && variables.offploid(i) == 1) {
        Count(sons.haploid, g.first, 0);
      } else {
        ++count[index(g.first, g.second)];
      }
    }
    for (FamilyRecord& r : sons.haploid) r.exponent = Exponent(static_cast<int32_t>(r.exponent));
    const double e[3] = {count[0] ? Exponent(count[0]) : 0.0, count[1] ? Exponent(count[1]) : 0.0,
                         count[2] ? Exponent(count[2]) : 0.0};
    if (count[0] + count[1] + count[2] == 0 && sons.haploid.empty()) continue;
    auto sonsprob = [&](int32_t m) {
      return sons.haploid.empty() ? 1.0 : SonsProbability(l, sons, alleles[m][0], alleles[m][1]);
    };
    if (fam.father < 0) {
      ClusterGraph::Node& node = graph.nodes[static_cast<std::size_t>(fam.mother)];
      for (int32_t m = 0; m < 3; ++m) node.w[static_cast<std::size_t>(m)] *= sonsprob(m);
      continue;
    }
    const int32_t Rf = hd ? 2 : 3;
    ClusterGraph::Edge& edge = graph.NewEdge(fam.father, fam.mother, Rf, 3);
    const bool plain = sons.haploid.empty() && fam.father != fam.mother && count[0] < 1024 && count[1] < 1024 &&
                       count[2] < 1024;
    const uint32_t key = plain ? 1u + static_cast<uint32_t>(count[0] | (count[1] << 10) | (count[2] << 20)) : 0u;
    SnpTables::Entry& cached = st.bycounts[(key * 2654435761u) >> 26];
    if (plain && cached.key == key) {
      std::copy(cached.table, cached.table + Rf * 3, edge.table.begin());
      logconst += cached.loglargest;
      continue;
    }
    double largest = 0.0;
    for (int32_t f = 0; f < Rf; ++f) {
      for (int32_t m = 0; m < 3; ++m) {
        if (fam.father == fam.mother && f != m) continue;  // selfed: one genotype in both roles
        double v = sonsprob(m);
        for (int32_t o = 0; o < 3 && v > 0.0; ++o) {
          if (count[o] > 0) v *= Power(trans[f][m][o], e[o]);
        }
        edge.table[static_cast<std::size_t>(f * 3 + m)] = v;
        largest = std::max(largest, v);
      }
    }
    if (!(largest > 1e-300)) return false;
    for (double& x : edge.table) x /= largest;
    logconst += std::log(largest);
    if (plain) {
      cached.key = key;
      std::copy(edge.table.begin(), edge.table.begin() + Rf * 3, cached.table);
      cached.loglargest = std::log(largest);
    }
  }
  return true;
}

// The graph of the families at a locus of more than two alleles, or of a
// dominant locus, over the parents' own allele sets; false when the
// families are impossible there.
bool GeneralLocusGraph(int32_t l, double& logconst) {
  const FamilyLoglVar& fv = familyloglvar;
  const int32_t n = likelihoodvar.obsnumallele(l);
  const bool dominant = variables.dominantmarker(l) != 0;
  const bool hd = variables.haplodiploid == 1;
  const double F = variables.inbreeding;
  const std::vector<double>& fre = likelihoodvar.obsallelefre(l);
  const std::size_t nfam = fv.families.size(), npar = fv.parents.size();
  if (work.familysets.size() < nfam) work.familysets.resize(nfam);
  if (work.nodesets.size() < npar) work.nodesets.resize(npar);
  work.entries.resize(nfam);
  ++familycache.evaluation;
  familycache.nspare = 0;

  // ---- Allele sets of families and parents ----
  // At dominant loci the sets are simply every allele.
  const bool whole = dominant;
  const int32_t maxShown = variables.othererrorrate(l) < 1e-8 ? (hd ? 3 : 4) : kMaxFamilyAlleles;
  for (std::size_t f = 0; f < nfam; ++f) {
    const auto& fam = fv.families[f];
    AlleleSet& s = work.familysets[f];
    if (fam.father < 0) {
      // Haploid sons of a mother: no table, read again below.
      work.entries[f] = nullptr;
      if (!ReadFamily(l, n, dominant, maxShown, fam, s, work.data)) return false;
      continue;
    }
    const FamilyEntry& e = FamilyEntryOf(l, n, dominant, maxShown, fam);
    // More alleles than two parents can pass on, or no parents can.
    if (e.status == FamilyEntry::kImpossible) return false;
    work.entries[f] = &e;
    s.Reset();
    for (int32_t a : e.alleles) s.Add(a);
    s.pooled = static_cast<int32_t>(s.global.size()) < n;
  }
  for (std::size_t p = 0; p < npar; ++p) {
    AlleleSet& s = work.nodesets[p];
    s.Reset();
    if (whole) {
      for (int32_t a = 1; a <= n; ++a) s.Add(a);
      continue;
    }
    const auto& par = fv.parents[p];
    if (par.candidate > 0) {
      const auto g = ObservedGenotype(par.sex, par.candidate, l);
      if (!Missing(g)) {
        s.Add(g.first);
        s.Add(g.second);
      }
    }
  }
  if (!whole) {
    for (std::size_t f = 0; f < nfam; ++f) {
      const auto& fam = fv.families[f];
      for (int32_t p : {fam.father, fam.mother}) {
        if (p < 0) continue;
        for (int32_t a : work.familysets[f].global) work.nodesets[static_cast<std::size_t>(p)].Add(a);
      }
    }
    for (std::size_t p = 0; p < npar; ++p) {
      AlleleSet& s = work.nodesets[p];
      s.pooled = static_cast<int32_t>(s.global.size()) < n;
    }
  }

  // ---- Parents: genotype weights over their own allele sets ----
  ClusterGraph& graph = work.graph;
  graph.Clear();
  for (std::size_t p = 0; p < npar; ++p) {
    const auto& par = fv.parents[p];
    const AlleleSet& s = work.nodesets[p];
    const int32_t m = s.Size();
    const bool haploid = hd && par.sex == 1;
    work.pfre.resize(static_cast<std::size_t>(m));
    double shown = 0.0;
    for (std::size_t k = 0; k < s.global.size(); ++k) {
      work.pfre[k] = fre[static_cast<std::size_t>(s.global[k] - 1)];
      shown += work.pfre[k];
    }
    if (s.pooled) work.pfre[static_cast<std::size_t>(m - 1)] = std::max(0.0, 1.0 - shown);
    std::pair<int32_t, int32_t> obs{0, 0};
    if (par.candidate > 0) obs = ObservedGenotype(par.sex, par.candidate, l);
    const bool typed = !Missing(obs);
    if (typed && !dominant) obs = {s.Of(obs.first), s.Of(obs.second)};
    ClusterGraph::Node& node = graph.NewNode(haploid ? m : m * (m + 1) / 2);
    if (haploid) {
      for (int32_t k = 1; k <= m; ++k) {
        double x = work.pfre[static_cast<std::size_t>(k - 1)];
        if (typed) x *= PrbGtoPHaploid(k, obs.first, l);
        node.w[static_cast<std::size_t>(k - 1)] = x;
      }
      continue;
    }
    for (int32_t i = 1; i <= m; ++i) {
      const double pi = work.pfre[static_cast<std::size_t>(i - 1)];
      for (int32_t j = i; j <= m; ++j) {
        double x = i == j ? pi * (F + (1 - F) * pi) : 2 * (1 - F) * pi * work.pfre[static_cast<std::size_t>(j - 1)];
        if (x < 0) x = 0;
        if (typed) x *= PrbGtoP(i, j, obs.first, obs.second, l);
        node.w[static_cast<std::size_t>(FamilyGenotypeIndex(i, j, m) - 1)] = x;
      }
    }
  }

  // ---- Families: tables over their own alleles ----
  logconst = 0.0;
  for (std::size_t f = 0; f < nfam; ++f) {
    const auto& fam = fv.families[f];
    const AlleleSet& s = work.familysets[f];
    const int32_t m = s.Size();
    const int32_t G = m * (m + 1) / 2;
    if (fam.father < 0) {
      // A mother's haploid sons only: a weight on her genotypes.
      FamilyData& data = work.data;
      ReadFamily(l, n, dominant, maxShown, fam, work.entryset, data);
      if (data.records.empty() && data.haploid.empty()) continue;
      ListPairs(m, work.pairs);
      ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.mother)], s, false, work.mapm);
      ClusterGraph::Node& node = graph.nodes[static_cast<std::size_t>(fam.mother)];
      for (int32_t gm = 0; gm < node.G; ++gm) {
        const int32_t row = work.mapm.empty() ? gm : work.mapm[static_cast<std::size_t>(gm)];
        const auto [i, j] = work.pairs[static_cast<std::size_t>(row + 1)];
        node.w[static_cast<std::size_t>(gm)] *= SonsProbability(l, data, i, j);
      }
      continue;
    }
    const FamilyEntry& e = *work.entries[f];
    if (e.status != FamilyEntry::kTable) continue;  // no offspring typed here
    const bool selfed = fam.father == fam.mother;
    ClusterGraph::Edge& edge =
        graph.NewExternalEdge(fam.father, fam.mother, hd ? m : G, G, e.table.data(), selfed ? 0.0 : e.lognorm);
    logconst += e.logtable;
    ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.father)], s, hd, edge.pa);
    ProjectionMap(work.nodesets[static_cast<std::size_t>(fam.mother)], s, false, edge.pb);
  }

  return true;
}

// Builds the graph of the families in familyloglvar at locus l (n >= 2
// alleles); false when they are impossible there.
bool LocusGraph(int32_t l, double& logconst) {
  const int32_t n = likelihoodvar.obsnumallele(l);
  if (n == 2 && variables.dominantmarker(l) == 0) return SnpLocusGraph(l, logconst);
  return GeneralLocusGraph(l, logconst);
}

}  // namespace

void FamilyLocusLogL(int32_t l, double& logl) {
  logl = 0.0;
  if (likelihoodvar.obsnumallele(l) < 2) return;
  double logconst = 0.0;
  if (!LocusGraph(l, logconst)) {
    logl = -1e300;
    return;
  }
  const double prune = variables.likelihoodprecision >= 3 ? 0.0 : likelihoodvar.prec3;
  const double sum = ClusterLogSum(work.graph, prune);
  logl = sum <= -1e300 ? -1e300 : sum + logconst;
}

bool FamilyLocusGraph(int32_t l, LocusGraphView& view) {
  view.graph = nullptr;
  view.logconst = 0.0;
  const std::size_t npar = familyloglvar.parents.size();
  view.alleles.assign(npar, {});
  view.pooled.assign(npar, 0);
  const int32_t n = likelihoodvar.obsnumallele(l);
  if (n < 2 || !LocusGraph(l, view.logconst)) return false;
  view.graph = &work.graph;
  const bool snp = n == 2 && variables.dominantmarker(l) == 0;
  for (std::size_t p = 0; p < npar; ++p) {
    if (snp) {
      view.alleles[p] = {1, 2};
    } else {
      view.alleles[p] = work.nodesets[p].global;
      view.pooled[p] = work.nodesets[p].pooled ? 1 : 0;
    }
  }
  return true;
}
