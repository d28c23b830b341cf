// The files that describe the best configuration: ".BestCluster",
// ".BestFSFamily", ".BestConfig" and its copy ordered by family, and the
// parent identifiers they show. Every file is written whole under a
// temporary name and renamed into place; a failed write stops the program
// naming the file.
#include "results/best_config_files.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "numeric/sorting.h"
#include "results/fixed_fields.h"
#include "runctl/file_io.h"
#include "search/configuration.h"
#include "state/variables.h"

using fixed_fields::Fixed;
using fixed_fields::Int;
using fixed_fields::Right;
using fixed_fields::TrimRight;

namespace {

char SexMark(int32_t k) {
  const std::string& marks = variables.sexid;
  if (marks.size() >= static_cast<std::size_t>(k)) return marks[static_cast<std::size_t>(k - 1)];
  return k == 1 && variables.numsex == 2 ? '*' : '#';
}

// Offspring in rows grouped by cluster: clusters in the order of their
// first member, members in sample order.
std::vector<int32_t> ClusterRows(const Mat1<int32_t>& loc) {
  const int32_t n = variables.smplsize;
  std::unordered_map<int32_t, int32_t> rank;
  std::vector<std::pair<int32_t, int32_t>> rows;  // (cluster rank, offspring)
  rows.reserve(static_cast<std::size_t>(std::max(n, 0)));
  for (int32_t i = 1; i <= n; ++i) {
    const auto [at, added] = rank.emplace(loc(i, 3), static_cast<int32_t>(rank.size()) + 1);
    rows.emplace_back(at->second, i);
  }
  std::sort(rows.begin(), rows.end());
  std::vector<int32_t> order;
  order.reserve(rows.size());
  for (const auto& row : rows) order.push_back(row.second);
  return order;
}

void WriteConfigRows(const std::string& name, const std::vector<int32_t>& order, const Mat1<int32_t>& loc,
                     const Mat1<std::string>& ids, const Vec1<int32_t>& clone) {
  const Variables& v = variables;
  const bool clones = v.allowclone == 1;
  AtomicTextFile out(name);
  out << Right("OffspringID", 20) << Right("FatherID", 21) << Right("MotherID", 21);
  if (clones) out << Right("CloneIndex", 14);
  out << Right("ClusterIndex", 14) << '\n';
  for (const int32_t i : order) {
    out << Right(TrimRight(v.offspringid(i)), 20) << Right(ids(i, 1), 21) << Right(ids(i, 2), 21);
    if (clones) out << Int(static_cast<std::size_t>(i) <= clone.size() ? clone(i) : i, 14);
    out << Int(loc(i, 3), 14) << '\n';
  }
  out.Commit();
}

}  // namespace

void BuildBestParentID(const Mat1<int32_t>& loc, const Mat1<int32_t>& parents, Mat1<std::string>& ids) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  ids.assign(static_cast<std::size_t>(std::max(n, 0)), 2, std::string());
  const bool assigned = parents.rows() >= static_cast<std::size_t>(std::max(n, 0)) && parents.cols() >= 2;
  const bool monoecious = v.numsex == 1;
  // Numbers of the unsampled families met so far, per side; in a monoecious
  // sample the two columns index one pool of parents, so they share one.
  std::unordered_map<int32_t, int32_t> number[2];
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= 2; ++k) {
      if (k == 1 && HaploidOffspring(i)) {
        ids(i, k) = Right("*-", 20);  // a haploid offspring has no father
        continue;
      }
      const int32_t c = assigned ? parents(i, k) : 0;
      const Vec1<std::string>& names = v.cndparentid(k);
      if (c >= 1 && static_cast<std::size_t>(c) <= names.size()) {
        ids(i, k) = Right(TrimRight(names(c)), 20);
        continue;
      }
      auto& seen = number[monoecious ? 0 : k - 1];
      const auto [at, added] = seen.emplace(loc(i, k), static_cast<int32_t>(seen.size()) + 1);
      ids(i, k) = Right(std::string(1, SexMark(k)) + std::to_string(at->second), 20);
    }
  }
}

void OrderedOffspring(const Mat1<int32_t>& loc, Vec1<int32_t>& order) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  order.assign(static_cast<std::size_t>(std::max(n, 0)), 0);
  if (n < 1) return;
  int32_t m = 0;
  for (int32_t i = 1; i <= n; ++i) m = std::max(m, loc(i, 1));
  Vec1<double> key(static_cast<std::size_t>(n), 0.0);
  for (int32_t i = 1; i <= n; ++i) {
    // Without a visiting order, or where it holds no entry, the sample
    // position stands in, so the key never divides by zero.
    int32_t o = static_cast<std::size_t>(i) <= v.IndivOrder.size() ? v.IndivOrder(i) : i;
    if (o == 0) o = i;
    const double paternal = loc(i, 1);
    const double maternal = loc(i, 2);
    const double cluster = loc(i, 3);
    key(i) = 0.99 / maternal + cluster * (m + 1.0) - (0.98 / n) / o + m / paternal;
  }
  Indexx(n, key, order);
}

void WriteBestCluster(const Mat1<int32_t>& loc, const Vec1<double>& prob, const Mat1<std::string>& ids) {
  const Variables& v = variables;
  AtomicTextFile out(v.fname + ".BestCluster");
  out << Right("ClusterIndex", 12) << Right("Probability", 12) << Right("OffspringID", 21) << Right("FatherID", 21)
      << Right("MotherID", 21) << '\n';
  for (const int32_t i : ClusterRows(loc)) {
    const int32_t k = loc(i, 3);
    const double p = k >= 1 && static_cast<std::size_t>(k) <= prob.size() ? prob(k) : 0.0;
    out << Int(k, 12) << Fixed(p, 12, 4) << Right(TrimRight(v.offspringid(i)), 21) << Right(ids(i, 1), 21)
        << Right(ids(i, 2), 21) << '\n';
  }
  out.Commit();
}

void WriteBestFSFamily(const Vec1<int32_t>& fsid, int32_t n, const Vec1<double>& probInc,
                       const Vec1<double>& probExc) {
  const Variables& v = variables;
  std::vector<std::vector<int32_t>> members(static_cast<std::size_t>(std::max(n, 0)) + 1);
  for (int32_t i = 1; i <= static_cast<int32_t>(fsid.size()); ++i) {
    if (fsid(i) >= 1 && fsid(i) <= n) members[static_cast<std::size_t>(fsid(i))].push_back(i);
  }
  std::size_t largest = 1;
  for (const auto& family : members) largest = std::max(largest, family.size());

  AtomicTextFile out(v.fname + ".BestFSFamily");
  out << "FullSibshipIndex Prob(Inc.) Prob(Exc.)    Member1";
  for (std::size_t k = 2; k <= largest; ++k) out << ",Member" << k;
  out << '\n';
  for (int32_t f = 1; f <= n; ++f) {
    std::string row = Int(f, 16) + Fixed(probInc(f), 11, 4) + Fixed(probExc(f), 11, 4) + "    ";
    const auto& family = members[static_cast<std::size_t>(f)];
    for (std::size_t j = 0; j < family.size(); ++j) {
      if (j > 0) row += ',';
      row += TrimRight(v.offspringid(family[j]));
    }
    out << row << '\n';
  }
  out.Commit();
}

void WriteBestConfig(const Mat1<int32_t>& loc, const Mat1<std::string>& ids, const Vec1<int32_t>& clone) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  std::vector<int32_t> order(static_cast<std::size_t>(std::max(n, 0)));
  for (int32_t i = 1; i <= n; ++i) order[static_cast<std::size_t>(i - 1)] = i;
  WriteConfigRows(v.fname + ".BestConfig", order, loc, ids, clone);

  Vec1<int32_t> sorted;
  OrderedOffspring(loc, sorted);
  WriteConfigRows(v.fname + ".BestConfig" + "_Ordered", sorted.raw(), loc, ids, clone);
}
