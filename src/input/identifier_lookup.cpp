// Identifiers of offspring and candidates: stored form, sorted indexes,
// look-ups by halving and repeated identifiers.
#include "input/identifier_lookup.h"

#include <algorithm>

#include "input/project_reader.h"
#include "numeric/sorting.h"
#include "runctl/error_stop.h"
#include "state/variables.h"

std::string StoredId(std::string_view text) {
  std::string_view id = text.substr(0, std::min(text.size(), kIdLength));
  const std::size_t end = id.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view() : id.substr(0, end + 1));
}

void BuildIdIndex(const Vec1<std::string>& ids, Vec1<int32_t>& index) {
  const int32_t n = static_cast<int32_t>(ids.size());
  IndexCh(n, ids, index);
  // The searches below compare bytes; should the sort order texts in some
  // other way, put the index in byte order so that halving stays exact.
  bool ordered = static_cast<int32_t>(index.size()) == n;
  for (int32_t k = 1; ordered && k < n; ++k) ordered = !(ids(index(k + 1)) < ids(index(k)));
  if (!ordered) {
    index.assign(static_cast<std::size_t>(n));
    for (int32_t k = 1; k <= n; ++k) index(k) = k;
    std::stable_sort(index.begin(), index.end(),
                     [&](int32_t a, int32_t b) { return ids(a) < ids(b); });
  }
}

int32_t LocateId(const Vec1<std::string>& ids, const Vec1<int32_t>& index, int32_t n,
                 const std::string& id) {
  int32_t lo = 1, hi = std::min<int32_t>(n, static_cast<int32_t>(index.size()));
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int cmp = ids(index(mid)).compare(id);
    if (cmp == 0) return index(mid);
    if (cmp < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return 0;
}

int32_t LocateOffspring(const Vec1<int32_t>& index, int32_t n, const std::string& id) {
  return LocateId(variables.offspringid, index, n, id);
}

int32_t FindIndiv(const std::string& id, int32_t sex) {
  if (sex == 0) {
    const Vec1<std::string>& ids = variables.offspringid;
    if (variables.offspringidindex.size() != ids.size()) BuildIdIndex(ids, variables.offspringidindex);
    const int32_t k = LocateOffspring(variables.offspringidindex, static_cast<int32_t>(ids.size()), id);
    if (k == 0) StopOnDataError("Offspring ID, " + Printable(id) + ", not found in the offspring pool!");
    return k;
  }
  const Vec1<std::string>& ids = variables.cndparentid(sex);
  Vec1<int32_t>& index = variables.cndidindex(sex);
  if (index.size() != ids.size()) BuildIdIndex(ids, index);
  const int32_t k = LocateId(ids, index, static_cast<int32_t>(ids.size()), id);
  if (k == 0) {
    StopOnDataError("Candidate ID, " + Printable(id) + ", not found in the " + SexName(sex) +
                    " candidate pool!");
  }
  return k;
}

std::pair<int32_t, int32_t> FindRepeatedId(const Vec1<std::string>& ids, const Vec1<int32_t>& index) {
  const int32_t n = static_cast<int32_t>(index.size());
  for (int32_t k = 1; k < n; ++k) {
    const std::string& id = ids(index(k));
    if (ids(index(k + 1)) != id) continue;
    // The whole run of this identifier: report its two first holders.
    int32_t first = index(k), second = index(k + 1);
    if (second < first) std::swap(first, second);
    for (int32_t m = k + 2; m <= n && ids(index(m)) == id; ++m) {
      const int32_t p = index(m);
      if (p < first) {
        second = first;
        first = p;
      } else if (p < second) {
        second = p;
      }
    }
    return {first, second};
  }
  return {0, 0};
}
