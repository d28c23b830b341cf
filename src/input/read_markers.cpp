// Per-locus sections of the project file: known allele frequencies, marker
// names, types and error rates, each given one item per locus or as one
// compact "v@" item; and their expansion into the shared per-locus tables.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "input/identifier_lookup.h"
#include "input/project_reader.h"
#include "numeric/sorting.h"
#include "runctl/error_stop.h"
#include "runctl/messages.h"
#include "state/variables.h"

namespace {

// Reads a per-locus list. When its first item holds "@", the text before
// the "@" stands for every locus: it is returned in `common` and the result
// is true. Otherwise take(locus, item) receives the items of loci 1..numloci.
bool ReadLocusItems(ProjectReader& reader, const std::string& errorline, std::string& common,
                    const std::function<void(int32_t, std::string_view)>& take) {
  reader.Begin(errorline);
  std::string_view item = reader.Item();
  const std::size_t at = item.find('@');
  if (at != std::string_view::npos) {
    common = std::string(item.substr(0, at));
    return true;
  }
  take(1, item);
  for (int32_t l = 2; l <= variables.numloci; ++l) take(l, reader.Item());
  return false;
}

// An integer list; the compact value is read from a field of 6.
void ReadIntegerList(ProjectReader& reader, const std::string& errorline, LocusList<int32_t>& list) {
  std::string common;
  list.values.clear();
  list.uniform = ReadLocusItems(reader, errorline, common, [&](int32_t, std::string_view item) {
    const auto value = ParseInteger(item, 9);
    if (!value) reader.Fail();
    list.values.push_back(*value);
  });
  if (list.uniform) {
    const auto value = ParseInteger(common, 6);
    if (!value || common.size() > 6) reader.Fail();
    list.value = *value;
  }
}

// A list of reals; the compact value may be in exponent form too.
void ReadRealList(ProjectReader& reader, const std::string& errorline, LocusList<double>& list) {
  std::string common;
  list.values.clear();
  list.uniform = ReadLocusItems(reader, errorline, common, [&](int32_t, std::string_view item) {
    const auto value = ParseReal(item);
    if (!value) reader.Fail();
    list.values.push_back(*value);
  });
  if (list.uniform) {
    const auto value = ParseReal(common);
    if (!value) reader.Fail();
    list.value = *value;
  }
}

template <class T, class Pred>
bool AllOf(const LocusList<T>& list, Pred ok) {
  if (list.uniform) return ok(list.value);
  return std::all_of(list.values.begin(), list.values.end(), ok);
}

std::string MarkerName(const ProjectReader& reader, int32_t locus) {
  if (!reader.markerprefixq) return reader.markernames[static_cast<std::size_t>(locus - 1)];
  return StoredId(reader.markerprefix + std::to_string(locus));
}

// Two markers with one name stop the program. Names made from a prefix can
// only meet when cutting them to 20 characters makes them equal; they are
// checked when the file could hold that many loci at all (otherwise the
// genotype lines are sure to run out first).
void CheckMarkerNames(const ProjectReader& reader) {
  const int32_t nloci = variables.numloci;
  if (reader.markerprefixq) {
    const std::size_t longest = reader.markerprefix.size() + std::to_string(nloci).size();
    if (longest <= kIdLength) return;
    if (static_cast<uint64_t>(nloci) > reader.file.Size() / 2 + 1) return;
  }
  Vec1<std::string> names(static_cast<std::size_t>(nloci));
  for (int32_t l = 1; l <= nloci; ++l) names(l) = MarkerName(reader, l);
  Vec1<int32_t> index;
  BuildIdIndex(names, index);
  const auto [first, other] = FindRepeatedId(names, index);
  if (first != 0) {
    StopOnDataError("Marker " + std::to_string(first) + " has the same ID, " + Printable(names(first)) +
                    ", as marker " + std::to_string(other));
  }
}

// Known frequencies must be probabilities, and those of a locus must add
// to 1 (within rounding of the values written): a list that does not is a
// list with an allele left out or a value mistyped.
void CheckFrequencies(const std::vector<int32_t>& names, const std::vector<double>& freqs, int32_t locus) {
  double sum = 0.0;
  for (std::size_t k = 0; k < freqs.size(); ++k) {
    if (!(freqs[k] >= 0.0 && freqs[k] <= 1.0)) {
      StopOnDataError("Known frequency of allele " + std::to_string(names[k]) + " at locus " +
                      std::to_string(locus) + " is out of the range [0, 1]!");
    }
    sum += freqs[k];
  }
  if (std::fabs(sum - 1.0) > 0.01) {
    StopOnDataError("Known frequencies of the alleles at locus " + std::to_string(locus) + " sum to " +
                    rtoc(sum, "%.6g") + ", not 1!");
  }
}

// At a dropout rate of 1 every heterozygote shows as a homozygote, so a
// heterozygote observed at a codominant locus is impossible and the first
// one met stops the search with a message that blames known relationships.
// At a dominant locus the rate is a valid limit.
void CheckDropoutRates(const ProjectReader& reader) {
  const bool same = reader.droprate.uniform && reader.dominant.uniform;
  const int32_t nloci = same ? 1 : variables.numloci;
  for (int32_t l = 1; l <= nloci; ++l) {
    if (reader.dominant(l) == 0 && reader.droprate(l) >= 1.0) {
      StopOnDataError("Dropout rate of locus " + std::to_string(l) + " (" + Printable(MarkerName(reader, l)) +
                      ") is 1: no heterozygote could be observed at this codominant locus. It must be below 1!");
    }
  }
}

// An allele name: an integer of at most 12 characters within 32 bits.
std::optional<int32_t> AlleleName(std::string_view item) {
  if (item.size() > 12) return std::nullopt;
  return ParseInteger(item, 12);
}

}  // namespace

void ReadKnownFrequencies(ProjectReader& reader) {
  ReadIntegerList(reader, "Error in reading population allele number per locus", reader.numallele);
  if (!AllOf(reader.numallele, [](int32_t n) { return n > 0; })) {
    StopOnDataError("The number of alleles should be > 0!");
  }
  const std::string errorline = "Error in reading population alleles & frequencies per locus";
  reader.knownalleles.clear();
  reader.knownfreqs.clear();
  reader.knownsame = false;
  for (int32_t l = 1; l <= variables.numloci && !reader.knownsame; ++l) {
    const int32_t n = reader.numallele(l);
    std::vector<int32_t> names;
    reader.Begin(errorline);
    for (int32_t k = 1; k <= n; ++k) {
      std::string_view item = reader.Item();
      // "1 2 3 4@": locus 1's list stands for every locus.
      if (l == 1 && k == n && !item.empty() && item.back() == '@') {
        reader.knownsame = true;
        item.remove_suffix(1);
      }
      const auto name = AlleleName(item);
      if (!name) reader.Fail();
      names.push_back(*name);
    }
    std::vector<double> freqs;
    reader.Begin(errorline);
    for (int32_t k = 1; k <= n; ++k) freqs.push_back(reader.RealItem());
    CheckFrequencies(names, freqs, l);
    reader.knownalleles.push_back(std::move(names));
    reader.knownfreqs.push_back(std::move(freqs));
  }
}

void ReadMarkers(ProjectReader& reader) {
  std::string common;
  reader.markernames.clear();
  reader.markerprefixq = ReadLocusItems(reader, "Error in reading Marker IDs", common,
                                        [&](int32_t, std::string_view item) {
                                          reader.markernames.push_back(StoredId(item));
                                        });
  if (reader.markerprefixq) reader.markerprefix = common.empty() ? std::string("MK") : common;
  CheckMarkerNames(reader);

  LocusList<int32_t> types;
  ReadIntegerList(reader, "Error in reading indicators for marker types per locus", types);
  if (!AllOf(types, [](int32_t t) { return t == 0 || t == 1; })) {
    StopOnDataError("Marker type must be 1 (dominant) or 0 (codominant)!");
  }
  reader.dominant.uniform = types.uniform;
  reader.dominant.value = static_cast<int8_t>(types.value);
  reader.dominant.values.assign(types.values.begin(), types.values.end());

  ReadRealList(reader, "Error in reading Dropout Rate per locus", reader.droprate);
  ReadRealList(reader, "Error in reading Other Error Rate per locus", reader.othererrorrate);
  const auto rate = [](double r) { return r >= 0.0 && r <= 1.0; };
  if (!AllOf(reader.droprate, rate) || !AllOf(reader.othererrorrate, rate)) {
    StopOnDataError("Marker error rate is out of the range [0, 1]!");
  }
  CheckDropoutRates(reader);
}

void ExpandLocusTables(ProjectReader& reader) {
  if (reader.expanded) return;
  reader.expanded = true;
  Variables& v = variables;
  const std::size_t nloci = static_cast<std::size_t>(v.numloci);
  v.markerid.assign(nloci);
  v.dominantmarker.assign(nloci);
  v.droprate.assign(nloci);
  v.othererrorrate.assign(nloci);
  for (int32_t l = 1; l <= v.numloci; ++l) {
    v.markerid(l) = MarkerName(reader, l);
    v.dominantmarker(l) = reader.dominant(l);
    v.droprate(l) = reader.droprate(l);
    v.othererrorrate(l) = reader.othererrorrate(l);
  }
  if (v.popallelefreknownq == 1) {
    const auto list = [&](int32_t l) -> std::size_t {
      return reader.knownsame ? 0 : static_cast<std::size_t>(l - 1);
    };
    std::size_t maxn = 0;
    for (const auto& names : reader.knownalleles) maxn = std::max(maxn, names.size());
    v.popnumallele.assign(nloci);
    v.popallele.assign(maxn, nloci, 0);
    v.popallelefre.assign(maxn, nloci, 0.0);
    for (int32_t l = 1; l <= v.numloci; ++l) {
      const auto& names = reader.knownalleles[list(l)];
      const auto& freqs = reader.knownfreqs[list(l)];
      v.popnumallele(l) = static_cast<int32_t>(names.size());
      for (std::size_t k = 0; k < names.size(); ++k) {
        v.popallele(static_cast<long>(k + 1), l) = names[k];
        v.popallelefre(static_cast<long>(k + 1), l) = freqs[k];
      }
    }
  }
  // The reader's own copies are no longer needed.
  reader.knownalleles.clear();
  reader.knownfreqs.clear();
  reader.markernames.clear();
}
