// The files that summarise the whole archive of good configurations rather
// than the best configuration alone. One pass over the archive gathers the
// weighted tallies (parent pairs, selfing, family-size distributions, sib
// pairs) and writes the archive in full; the sib pairs are then weighed
// again by the likelihood of the pair alone, and the candidate parents of
// every family of the best configuration by the likelihood of the family
// with each candidate put in.
//
// Every process computes everything (the likelihoods are sums over the
// loci of all processes, so all must make the same calls); process 0
// writes. Each file is written whole under a temporary name and renamed.
#include "results/archive_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "likelihood/family_likelihood.h"
#include "results/best_config_files.h"
#include "results/family_probabilities.h"
#include "results/fixed_fields.h"
#include "results/output.h"
#include "runctl/file_io.h"
#include "search/archive.h"
#include "search/clusters.h"
#include "search/configuration.h"
#include "state/familyloglvar.h"
#include "state/variables.h"
#include "state/writevar.h"

using fixed_fields::Fixed;
using fixed_fields::Int;
using fixed_fields::TrimRight;

namespace {

// Probabilities are sums of weight shares, so a value meant to sit exactly
// on a threshold may fall a rounding error short of it.
constexpr double kRounding = 1e-9;
bool AtLeast(double p, double threshold) { return p >= threshold - kRounding; }

bool Haploid(int32_t i) { return HaploidOffspring(i); }

std::string Trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : TrimRight(text.substr(start));
}

std::string OffspringName(int32_t i) { return Trimmed(variables.offspringid(i)); }

char SexMark(int32_t k) {
  const std::string& marks = variables.sexid;
  if (marks.size() >= static_cast<std::size_t>(k)) return marks[static_cast<std::size_t>(k - 1)];
  return k == 1 && variables.numsex == 2 ? '*' : '#';
}

// The candidate's identifier, or the bare sex mark for an unsampled parent.
std::string ParentName(int32_t k, int32_t c) {
  const Vec1<std::string>& names = variables.cndparentid(k);
  if (c >= 1 && static_cast<std::size_t>(c) <= names.size()) return Trimmed(names(c));
  return std::string(1, SexMark(k));
}

// A fixed-notation number without its padding.
std::string Number(double x, int width, int decimals) { return Trimmed(Fixed(x, width, decimals)); }

uint64_t PairKey(int32_t i, int32_t j) { return (static_cast<uint64_t>(i) << 32) | static_cast<uint32_t>(j); }

// Members of each label of a column, in sample order; offspring for whom
// keep() is false are left out.
template <class Keep>
std::vector<std::vector<int32_t>> Groups(const Mat1<int32_t>& loc, int32_t col, Keep keep) {
  std::unordered_map<int32_t, std::size_t> index;
  std::vector<std::vector<int32_t>> groups;
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    if (!keep(i)) continue;
    const auto [at, added] = index.emplace(loc(i, col), groups.size());
    if (added) groups.emplace_back();
    groups[at->second].push_back(i);
  }
  return groups;
}

// Weighted frequencies of a pair of offspring: full sibs, sharing the
// father, sharing the mother (the last two include the full sibs; in a
// monoecious sample "father" counts any shared parent).
struct PairFreq {
  double fs = 0.0, pat = 0.0, mat = 0.0;
};

// Archive frequencies of a pair: unrelated (unused), full sibs, paternal
// and maternal half sibs (in a monoecious sample every half sib counts as
// paternal).
std::array<double, 4> Frequencies(const PairFreq& f) {
  return {0.0, f.fs, f.pat - f.fs, variables.numsex == 1 ? 0.0 : f.mat - f.fs};
}

// The tallies of one pass over the archive.
struct Tallies {
  // Per offspring: (father, mother) candidate pairs with their weights.
  std::vector<std::vector<std::pair<std::pair<int32_t, int32_t>, double>>> parentpairs;
  std::vector<double> selfed;
  // Rows 1..N of the seven distribution columns (index 0 unused).
  std::vector<std::array<double, 7>> dist;
  std::unordered_map<uint64_t, PairFreq> pairs;
};

constexpr std::size_t kMaxParentPairs = 10;

void TallyParentPairs(const Mat1<int32_t>& parents, double w, Tallies& t) {
  for (int32_t i = 1; i <= variables.smplsize; ++i) {
    if (Haploid(i)) continue;
    auto& held = t.parentpairs[static_cast<std::size_t>(i)];
    const std::pair<int32_t, int32_t> pp{parents(i, 1), parents(i, 2)};
    auto at = std::find_if(held.begin(), held.end(), [&](const auto& e) { return e.first == pp; });
    // A pair already held always gains its weight; only pairs beyond the
    // tenth are dropped.
    if (at != held.end()) {
      at->second += w;
    } else if (held.size() < kMaxParentPairs) {
      held.emplace_back(pp, w);
    }
  }
}

// Adds w(c) x (share of the parents with n offspring, or with n mates) to
// the distribution columns of one configuration.
void TallyDistribution(const Mat1<int32_t>& loc, double w, Tallies& t) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  auto add = [&](std::size_t col, std::size_t row, double x) {
    if (row >= 1 && row < t.dist.size()) t.dist[row][col] += x;
  };
  const bool allmono = v.allmonogamy != 0 && v.numsex == 2;
  std::map<int32_t, int32_t> size[2];
  std::map<int32_t, std::vector<int32_t>> mates[2];
  for (int32_t i = 1; i <= n; ++i) {
    const bool hasFather = !Haploid(i);
    if (hasFather) ++size[0][loc(i, 1)];
    ++size[1][loc(i, 2)];
    if (hasFather) {
      mates[0][loc(i, 1)].push_back(loc(i, 2));
      mates[1][loc(i, 2)].push_back(loc(i, 1));
    }
  }
  Vec1<int32_t> fsid;
  const int32_t numfs = FindFSFamilyID(loc, fsid);
  add(0, size[0].size(), w);
  add(1, size[1].size(), w);
  add(2, static_cast<std::size_t>(numfs), w);
  for (int32_t k = 0; k < 2; ++k) {
    const double parents = static_cast<double>(size[k].size());
    for (const auto& [family, count] : size[k]) add(3 + k, static_cast<std::size_t>(count), w / parents);
    if (allmono) {
      add(5 + k, 1, w);
      continue;
    }
    // The mates of a parent: the distinct families of the other sex among
    // its offspring (a parent of haploid sons alone has none counted).
    const double withMates = static_cast<double>(mates[k].size());
    for (auto& [family, other] : mates[k]) {
      std::sort(other.begin(), other.end());
      const auto distinct = std::unique(other.begin(), other.end()) - other.begin();
      add(5 + k, static_cast<std::size_t>(distinct), w / withMates);
    }
  }
}

// Adds w to every pair of offspring for each relationship they hold in the
// configuration loc.
void TallyPairs(const Mat1<int32_t>& loc, double w, Tallies& t) {
  const Variables& v = variables;
  auto each = [&](const std::vector<int32_t>& g, auto field) {
    for (std::size_t a = 0; a < g.size(); ++a) {
      for (std::size_t b = a + 1; b < g.size(); ++b) t.pairs[PairKey(g[a], g[b])].*field += w;
    }
  };
  // Full sibs: diploid offspring of one (father, mother) family.
  Vec1<int32_t> fsid;
  FindFSFamilyID(loc, fsid);
  Mat1<int32_t> fsloc(static_cast<std::size_t>(v.smplsize), 1, 0);
  for (int32_t i = 1; i <= v.smplsize; ++i) fsloc(i, 1) = fsid(i);
  for (const auto& g : Groups(fsloc, 1, [](int32_t i) { return !Haploid(i); })) each(g, &PairFreq::fs);
  if (v.numsex == 1) {
    // One pool of parents: pairs sharing any parent, each pair once.
    std::map<int32_t, std::vector<int32_t>> children;
    for (int32_t i = 1; i <= v.smplsize; ++i) {
      children[loc(i, 1)].push_back(i);
      if (loc(i, 2) != loc(i, 1)) children[loc(i, 2)].push_back(i);
    }
    std::vector<uint64_t> sharing;
    for (const auto& [parent, g] : children) {
      for (std::size_t a = 0; a < g.size(); ++a) {
        for (std::size_t b = a + 1; b < g.size(); ++b) sharing.push_back(PairKey(g[a], g[b]));
      }
    }
    std::sort(sharing.begin(), sharing.end());
    sharing.erase(std::unique(sharing.begin(), sharing.end()), sharing.end());
    for (const uint64_t key : sharing) t.pairs[key].pat += w;
    return;
  }
  for (const auto& g : Groups(loc, 1, [](int32_t i) { return !Haploid(i); })) each(g, &PairFreq::pat);
  for (const auto& g : Groups(loc, 2, [](int32_t) { return true; })) each(g, &PairFreq::mat);
}

// Writes one configuration of ".ConfigArchive".
void WriteArchivedConfig(AtomicTextFile& out, int32_t number, const Mat1<int32_t>& loc,
                         const Mat1<int32_t>& parents, double logl) {
  const int32_t n = variables.smplsize;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%-20.10E", logl);
  out << "Config#," << number << ",LogLikelihood," << TrimRight(buf) << '\n';
  out << "OffspringID,FatherID,MotherID,ClusterIndex\n";
  Mat1<std::string> ids;
  BuildBestParentID(loc, parents, ids);
  std::unordered_map<int32_t, int32_t> cluster;
  for (int32_t i = 1; i <= n; ++i) {
    const auto [at, added] = cluster.emplace(loc(i, 3), static_cast<int32_t>(cluster.size()) + 1);
    out << OffspringName(i) << ',' << Trimmed(ids(i, 1)) << ',' << Trimmed(ids(i, 2)) << ',' << at->second << '\n';
  }
}

void WriteParentPair(const Tallies& t) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".ParentPair");
  out << "OffspringID,InferredDad,InferredMum,Probability\n";
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    if (Haploid(i)) continue;
    auto held = t.parentpairs[static_cast<std::size_t>(i)];
    std::stable_sort(held.begin(), held.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    for (const auto& [pp, p] : held) {
      if (!AtLeast(p, 0.01)) break;
      out << OffspringName(i) << ',' << ParentName(1, pp.first) << ',' << ParentName(2, pp.second) << ','
          << Fixed(p, 7, 4) << '\n';
    }
  }
  out.Commit();
}

void WriteDistribution(const Tallies& t) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".Distribution");
  out << std::string("Number Fre(#PaternalFamily) Fre(#MaternalFamily)") +
             " Fre(#FullSib-Family)   Fre(#Child/Father)   Fre(#Child/Mather)" +
             "    Fre(#Mating/Male)  Fre(#Mating/Female)"
      << '\n';
  std::size_t last = 0;
  for (std::size_t r = 1; r < t.dist.size(); ++r) {
    if (std::any_of(t.dist[r].begin(), t.dist[r].end(), [](double x) { return x > 0.0; })) last = r;
  }
  for (std::size_t r = 1; r <= last; ++r) {
    out << Int(static_cast<int64_t>(r), 6);
    // Held in single precision, as the table is.
    for (const double x : t.dist[r]) out << Fixed(static_cast<float>(x), 21, 4);
    out << '\n';
  }
  out.Commit();
}

void WriteSelfer(const Tallies& t) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".Selfer");
  out << "OffspringID,Probability\n";
  for (int32_t i = 1; i <= v.smplsize; ++i) {
    out << OffspringName(i) << ',' << Fixed(t.selfed[static_cast<std::size_t>(i)], 6, 3) << '\n';
  }
  out.Commit();
}

// Log likelihoods of the pair (i, j) alone as unrelated, full sibs,
// paternal and maternal half sibs, each parent unsampled, turned into the
// shares exp(L_r - max) / sum.
std::array<double, 4> PairFactors(int32_t i, int32_t j) {
  FamilyLoglVar& fv = familyloglvar;
  std::array<double, 4> logl{};
  for (int32_t r = 0; r < 4; ++r) {
    fv.parents.assign(4, FamilyLoglVar::Parent{});
    fv.parents[1].sex = fv.parents[3].sex = 2;
    fv.families.clear();
    fv.parts.clear();
    const int32_t fi = Haploid(i) ? -1 : 0;
    const int32_t fj = Haploid(j) ? -1 : (r == 0 || r == 3 ? 2 : 0);
    const int32_t mj = r == 0 || r == 2 ? 3 : 1;
    if (fi == fj && mj == 1) {
      fv.families.push_back({fi, 1, {i, j}});
    } else {
      fv.families.push_back({fi, 1, {i}});
      fv.families.push_back({fj, mj, {j}});
    }
    if (r == 0) fv.parts = {1, 1};  // two clusters, each with its own size term
    FamilyLikelihood(logl[static_cast<std::size_t>(r)], -1e300, 1, 0, 0);
  }
  const double top = *std::max_element(logl.begin(), logl.end());
  std::array<double, 4> share{};
  if (top <= -1e300) return {1.0, 1.0, 1.0, 1.0};
  double sum = 0.0;
  for (std::size_t r = 0; r < 4; ++r) {
    share[r] = logl[r] <= -1e300 ? 0.0 : std::exp(logl[r] - top);
    sum += share[r];
  }
  for (double& s : share) s /= sum;
  return share;
}

template <class T>
void Put(std::ofstream& out, const T& x) {
  out.write(reinterpret_cast<const char*>(&x), sizeof x);
}

void WriteSibDyads(const Tallies& t, bool writer) {
  const Variables& v = variables;
  const Mat1<int32_t>& best = v.BtIndivLoc;
  const Mat1<int32_t>& bestParents = v.BtInferParent;
  const bool halfsibs = v.allmonogamy == 0;
  const bool haplodiploid = v.haplodiploid == 1;
  std::vector<uint64_t> keys;
  keys.reserve(t.pairs.size());
  for (const auto& [key, f] : t.pairs) {
    const std::array<double, 4> a = Frequencies(f);
    if (AtLeast(a[1], 0.001) || (halfsibs && AtLeast(a[2] + a[3], 0.001))) keys.push_back(key);
  }
  // Sample order of i, then of j, whatever the hash order was.
  std::sort(keys.begin(), keys.end());
  if (v.displayq != 0 && !keys.empty()) std::cout << "Computing sib dyad probabilities..." << std::endl;

  std::unique_ptr<AtomicTextFile> fsText, fsRecords, hsText, hsRecords;
  if (writer) {
    fsText = std::make_unique<AtomicTextFile>(v.fname + ".FullSibDyad");
    fsRecords = std::make_unique<AtomicTextFile>(v.fname + ".FSDyadUF");
    *fsText << "OffspringID1,OffspringID2," << "Probability\n";
    if (halfsibs) {
      hsText = std::make_unique<AtomicTextFile>(v.fname + ".HalfSibDyad");
      hsRecords = std::make_unique<AtomicTextFile>(v.fname + ".HSDyadUF");
      *hsText << "OffspringID1,OffspringID2," << (haplodiploid ? "Paternal/Maternal,Probability\n" : "Probability\n");
    }
  }
  auto shareSampled = [&](int32_t i, int32_t j) {
    if (bestParents.rows() < static_cast<std::size_t>(v.smplsize) || bestParents.cols() < 2) return false;
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && (Haploid(i) || Haploid(j))) continue;
      if (best(i, k) == best(j, k) && bestParents(i, k) > 0) return true;
    }
    return false;
  };
  for (const uint64_t key : keys) {
    const int32_t i = static_cast<int32_t>(key >> 32);
    const int32_t j = static_cast<int32_t>(key & 0xFFFFFFFFu);
    const std::array<double, 4> a = Frequencies(t.pairs.at(key));
    std::array<double, 4> r{1.0, 1.0, 1.0, 1.0};
    const bool weighed = std::max({a[1], a[2], a[3]}) > 0.1 && !shareSampled(i, j);
    if (weighed) r = PairFactors(i, j);
    if (!writer) continue;
    const std::string names = OffspringName(i) + ',' + OffspringName(j) + ',';
    const double fs = a[1] * r[1];
    if (AtLeast(fs, 0.001)) {
      *fsText << names << Fixed(fs, 6, 3) << '\n';
      Put(fsRecords->out(), i);
      Put(fsRecords->out(), j);
      Put(fsRecords->out(), fs);
    }
    if (!halfsibs) continue;
    auto half = [&](int32_t side, double p, const char* label) {
      if (!AtLeast(p, 0.001)) return;
      *hsText << names;
      if (label != nullptr) *hsText << label << ',';
      *hsText << Fixed(p, 6, 3) << '\n';
      Put(hsRecords->out(), i);
      Put(hsRecords->out(), j);
      Put(hsRecords->out(), side);
      Put(hsRecords->out(), p);
    };
    if (haplodiploid) {
      half(1, a[2] * r[2], "PaternalSib");
      half(2, a[3] * r[3], "MaternalSib");
    } else {
      // Either side: the archive's half-sib share times the pair's.
      half(1, (a[2] + a[3]) * (weighed ? r[2] + r[3] : 1.0), nullptr);
    }
  }
  if (!writer) return;
  fsText->Commit();
  fsRecords->Commit();
  if (halfsibs) {
    hsText->Commit();
    hsRecords->Commit();
  }
}

// Candidates listed for one offspring and sex, best first.
using CandidateList = std::vector<std::pair<int32_t, double>>;

constexpr std::size_t kMaxListed = 9;

// The candidates of sex k for the family of the best configuration whose
// members are listed: each put in as the family's parent, weighed by the
// family's likelihood.
CandidateList RankCandidates(int32_t k, const std::vector<int16_t>& members, int32_t assigned) {
  const Variables& v = variables;
  FamilyBuildMembers(members.data(), static_cast<int32_t>(members.size()));
  FamilyLoglVar& fv = familyloglvar;
  int32_t node = -1;
  for (const auto& fam : fv.families) {
    if (std::find(fam.members.begin(), fam.members.end(), members.front()) != fam.members.end()) {
      node = k == 1 ? fam.father : fam.mother;
      break;
    }
  }
  if (node < 0) return {};
  const int32_t count = v.numchild(k);
  std::vector<double> logl(static_cast<std::size_t>(count) + 1, -1e300);
  auto excluded = [&](int32_t c) {
    const auto& table = v.excludedparent(k);
    for (const int16_t i : members) {
      if (static_cast<std::size_t>(i) > table.size()) continue;
      const auto& list = table(i);
      if (std::find(list.begin(), list.end(), c) != list.end()) return true;
    }
    return false;
  };
  // The assigned candidate first: anything 30 below it is dropped anyway,
  // so it serves as every other evaluation's floor.
  std::vector<int32_t> order{assigned};
  for (int32_t c = 1; c <= count; ++c) {
    if (c != assigned) order.push_back(c);
  }
  double floor = -1e300;
  for (const int32_t c : order) {
    if (excluded(c)) continue;
    fv.parents[static_cast<std::size_t>(node)].candidate = c;
    double value = -1e300;
    FamilyLikelihood(value, floor, 1, 0, 0);
    logl[static_cast<std::size_t>(c)] = value;
    if (c == assigned && value > -1e300) floor = value - 30.0;
  }
  double top = *std::max_element(logl.begin() + 1, logl.end());
  if (top <= -1e300) return {};
  // The assigned candidate ranks first.
  logl[static_cast<std::size_t>(assigned)] = top + 0.0001;
  top += 0.0001;
  CandidateList list;
  double sum = 0.0;
  for (int32_t c = 1; c <= count; ++c) {
    const double d = logl[static_cast<std::size_t>(c)] - top;
    if (d > -30.0) {
      list.emplace_back(c, std::exp(d));
      sum += list.back().second;
    }
  }
  for (auto& e : list) e.second /= sum;
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  CandidateList kept;
  for (const auto& e : list) {
    if (!AtLeast(e.second, 0.001) || kept.size() == kMaxListed) break;
    kept.push_back(e);
  }
  return kept;
}

void WriteParentage(bool writer) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  Mat1<double>& assignedProb = writevar.AssignedParentProb;
  assignedProb.assign(static_cast<std::size_t>(std::max(n, 0)), 2, -1.0);
  if (std::max(v.numchild(1), v.numchild(2)) < 1) return;
  if (v.displayq != 0) std::cout << "Computing parent-offspring dyad probabilities..." << std::endl;
  Variables& vw = variables;
  Mat1<int32_t>* const savedLoc = vw.IndivLocPrt;
  Mat1<int32_t>* const savedParents = vw.InferParentPrt;
  vw.IndivLocPrt = &vw.BtIndivLoc;
  vw.InferParentPrt = &vw.BtInferParent;
  const bool assigned = v.BtInferParent.rows() >= static_cast<std::size_t>(n) && v.BtInferParent.cols() >= 2;
  for (int32_t k = 1; k <= 2; ++k) {
    std::vector<CandidateList> lists(static_cast<std::size_t>(n) + 1);
    if (v.numchild(k) >= 1 && assigned) {
      // The families of this sex whose parent is a sampled candidate.
      std::map<int32_t, std::vector<int16_t>> families;
      for (int32_t i = 1; i <= n; ++i) {
        if (k == 1 && Haploid(i)) continue;
        if (v.BtInferParent(i, k) > 0) families[v.BtIndivLoc(i, k)].push_back(static_cast<int16_t>(i));
      }
      for (const auto& [family, members] : families) {
        const CandidateList list = RankCandidates(k, members, v.BtInferParent(members.front(), k));
        for (const int16_t i : members) {
          lists[static_cast<std::size_t>(i)] = list;
          for (const auto& [c, p] : list) {
            if (c == v.BtInferParent(i, k)) assignedProb(i, k) = p;
          }
        }
      }
    }
    if (!writer) continue;
    const std::string word = k == 1 ? "Dad" : "Mum";
    std::size_t most = 1;
    for (const auto& l : lists) most = std::max(most, l.size());
    AtomicTextFile out(v.fname + (k == 1 ? ".Paternity" : ".Maternity"));
    out << "OffspringID";
    for (std::size_t c = 1; c <= most; ++c) out << ",Inferred" << word << c << ",Prob" << word << c;
    out << '\n';
    for (int32_t i = 1; i <= n; ++i) {
      const CandidateList& l = lists[static_cast<std::size_t>(i)];
      if (l.empty()) continue;
      out << OffspringName(i);
      for (const auto& [c, p] : l) out << ',' << ParentName(k, c) << ',' << Number(p, 7, 4);
      out << '\n';
    }
    out.Commit();
  }
  vw.IndivLocPrt = savedLoc;
  vw.InferParentPrt = savedParents;
}

}  // namespace

std::vector<WeightedConfig> ArchiveWeights() {
  const Variables& v = variables;
  const std::size_t n = static_cast<std::size_t>(std::max(v.smplsize, 0));
  std::vector<WeightedConfig> configs;
  // exp(L - L_best) / W: any common reference gives the same shares, so
  // the top of the archive is taken; the total is then at least 1, and no
  // weight overflows or vanishes whatever the best log likelihood holds.
  double ref = -1e300;
  for (const ConfigRecord& r : v.ConfigArchive) {
    // A record of another size cannot describe this sample.
    if (r.paternal.size() != n || std::isnan(r.logl)) continue;
    configs.push_back({&r, 0.0});
    ref = std::max(ref, r.logl);
  }
  if (configs.empty()) return {WeightedConfig{}};
  double total = 0.0;
  for (WeightedConfig& c : configs) {
    c.share = std::exp(c.record->logl - ref);
    total += c.share;
  }
  for (WeightedConfig& c : configs) c.share /= total;
  return configs;
}

void LoadWeightedConfig(const WeightedConfig& c) {
  Variables& v = variables;
  if (c.record != nullptr) {
    double logl = 0.0;
    ConvertConfig(*c.record, logl);
    return;
  }
  // The best configuration, with its per-offspring assignment turned into
  // the candidate of each family.
  v.OffTgt = v.BtIndivLoc;
  const int32_t n = v.smplsize;
  int32_t rows = n;
  for (int32_t i = 1; i <= n; ++i) rows = std::max({rows, v.BtIndivLoc(i, 1), v.BtIndivLoc(i, 2)});
  v.PrntTgt.assign(static_cast<std::size_t>(rows), 2, 0);
  if (v.BtInferParent.rows() < static_cast<std::size_t>(n) || v.BtInferParent.cols() < 2) return;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && Haploid(i)) continue;
      const int32_t c = v.BtInferParent(i, k);
      if (c > 0) v.PrntTgt(v.BtIndivLoc(i, k), k) = c;
    }
  }
}

void ArchiveConfigWrite() {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  if (n < 1) return;
  const bool writer = v.threadid == 0;
  if (v.displayq != 0) std::cout << "Output archived configurations and summary statistics..." << std::endl;

  Tallies t;
  t.parentpairs.resize(static_cast<std::size_t>(n) + 1);
  t.selfed.assign(static_cast<std::size_t>(n) + 1, 0.0);
  t.dist.assign(static_cast<std::size_t>(n) + 1, std::array<double, 7>{});
  std::unique_ptr<AtomicTextFile> archive;
  if (writer) {
    archive = std::make_unique<AtomicTextFile>(v.fname + ".ConfigArchive");
    *archive << "Archived Configurations with corresponding log likelihood\n";
  }
  int32_t number = 0;
  Mat1<int32_t> parents;
  for (const WeightedConfig& c : ArchiveWeights()) {
    LoadWeightedConfig(c);
    const Mat1<int32_t>& loc = variables.OffTgt;
    MergeParentage(loc, variables.PrntTgt, parents);
    const double w = c.share;
    if (writer) {
      WriteArchivedConfig(*archive, ++number, loc, parents,
                          c.record != nullptr ? c.record->logl : v.btloglikelihood);
    }
    TallyParentPairs(parents, w, t);
    for (int32_t i = 1; v.numsex == 1 && i <= n; ++i) {
      if (loc(i, 1) == loc(i, 2)) t.selfed[static_cast<std::size_t>(i)] += w;
    }
    TallyDistribution(loc, w, t);
    TallyPairs(loc, w, t);
  }
  if (writer) {
    archive->Commit();
    WriteParentPair(t);
    WriteDistribution(t);
    if (v.numsex == 1 && v.allowinbreeding == 1) WriteSelfer(t);
  }
  WriteSibDyads(t, writer);
  WriteParentage(writer);
}
