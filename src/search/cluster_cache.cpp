// Log likelihoods of clusters already scored during the search.
#include "search/cluster_cache.h"

#include <unordered_map>

#include "state/variables.h"

namespace {

struct Entry {
  std::vector<int32_t> key;
  double logl = 0.0;
};

std::unordered_map<uint64_t, Entry> entries;
std::size_t stored = 0;  // integers held in the keys
constexpr std::size_t kMaxStored = std::size_t{1} << 23;  // 32 MB of keys

uint64_t Hash(const std::vector<int32_t>& key) {
  uint64_t h = 14695981039346656037ull;
  for (int32_t x : key) h = (h ^ static_cast<uint32_t>(x)) * 1099511628211ull;
  return h;
}

}  // namespace

void ClusterKey(const std::vector<int16_t>& members, std::vector<int32_t>& key) {
  const Variables& v = variables;
  key.clear();
  // Families relabelled 1, 2, ... in order of first appearance (one pool
  // of labels in a monoecious sample, where both columns name parents).
  std::vector<std::pair<int32_t, int32_t>> seen;  // (side, family) -> label by position
  auto label = [&](int32_t side, int32_t family) {
    const std::pair<int32_t, int32_t> id{v.numsex == 1 ? 0 : side, family};
    for (std::size_t k = 0; k < seen.size(); ++k) {
      if (seen[k] == id) return static_cast<int32_t>(k) + 1;
    }
    seen.push_back(id);
    return static_cast<int32_t>(seen.size());
  };
  for (int16_t i : members) {
    key.push_back(i);
    key.push_back(label(1, v.CrIndivLoc(i, 1)));
    key.push_back(label(2, v.CrIndivLoc(i, 2)));
    key.push_back(v.InferParent(i, 1));
    key.push_back(v.InferParent(i, 2));
  }
}

bool FindClusterLogL(const std::vector<int32_t>& key, double& logl) {
  const auto it = entries.find(Hash(key));
  if (it == entries.end() || it->second.key != key) return false;
  logl = it->second.logl;
  return true;
}

void StoreClusterLogL(const std::vector<int32_t>& key, double logl) {
  if (stored + key.size() > kMaxStored) ClearClusterLogL();
  Entry& e = entries[Hash(key)];
  stored -= std::min(stored, e.key.size());
  e.key = key;
  e.logl = logl;
  stored += key.size();
}

void ClearClusterLogL() {
  entries.clear();
  stored = 0;
}
