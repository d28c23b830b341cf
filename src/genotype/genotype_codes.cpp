// Genotype codes and packed genotype storage.
#include "genotype/genotype_codes.h"

#include "state/likelihoodvar.h"
#include "state/variables.h"

void BuildGenotypeCodes(int32_t n) {
  SetGetGtype& s = setgetgtype;
  s.maxobsnumallele = n;
  s.maxnumgenotype = n * (n + 1) / 2;
  const std::size_t n1 = static_cast<std::size_t>(n + 1);
  s.genotypeid2.assign(n1 * n1, 0);
  s.genotypeid.assign(2 * static_cast<std::size_t>(s.maxnumgenotype + 1), 0);
  auto set = [&](int32_t i, int32_t j, int32_t code) {
    s.genotypeid2[static_cast<std::size_t>(i) * n1 + static_cast<std::size_t>(j)] =
        static_cast<int16_t>(code);
  };
  for (int32_t i = 1; i <= n; ++i) {
    set(i, i, i);
    set(i, 0, i);
    set(0, i, -i);
    s.genotypeid[2 * static_cast<std::size_t>(i)] = static_cast<int8_t>(i);
    s.genotypeid[2 * static_cast<std::size_t>(i) + 1] = static_cast<int8_t>(i);
  }
  int32_t code = n;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i + 1; j <= n; ++j) {
      ++code;
      set(i, j, code);
      set(j, i, code);
      s.genotypeid[2 * static_cast<std::size_t>(code)] = static_cast<int8_t>(i);
      s.genotypeid[2 * static_cast<std::size_t>(code) + 1] = static_cast<int8_t>(j);
    }
  }
  // A packed heterozygote (code 3) is (1, 2), whose full code is n + 1; for
  // n below 3 the two already agree.
  if (n >= 3) {
    s.l23g(1) = 3;
    s.l23g(2) = static_cast<int16_t>(n + 1);
  } else {
    s.l23g(1) = 0;
    s.l23g(2) = 0;
  }
}

void GetGtype(int32_t& code, int32_t k, int32_t nallele) {
  code = ColumnCode(setgetgtype.locusgtypeptr->data(), k, nallele);
}

void SetGtype(const std::pair<int32_t, int32_t>& pair, int32_t k, int32_t nallele) {
  std::vector<uint16_t>& column = *setgetgtype.locusgtypeptr;
  if (nallele > 2) {
    column[static_cast<std::size_t>(k - 1)] =
        static_cast<uint16_t>(GenotypeCode(pair.first, pair.second));
  } else {
    SetPackedCode(column.data(), k, pair.second > pair.first ? 3 : pair.first);
  }
}

std::pair<int32_t, int32_t> ObservedGenotype(int32_t sex, int32_t k, int32_t l) {
  const std::vector<uint16_t>& column = sex == 0 ? variables.indivgtype(l) : variables.cndgtype(sex)(l);
  const int32_t code = ColumnCode(column.data(), k, likelihoodvar.obsnumallele(l));
  if (variables.dominantmarker(l) != 0) return {code, 0};
  return GenotypeAlleles(code);
}

void PackGenotypes() {
  if (setgetgtype.packedq) return;
  for (int32_t l = 1; l <= variables.numloci; ++l) {
    const int32_t n = likelihoodvar.obsnumallele(l);
    const bool dominant = variables.dominantmarker(l) != 0;
    for (int32_t sex = 0; sex <= 2; ++sex) {
      auto& table = sex == 0 ? variables.indivgtype : variables.cndgtype(sex);
      if (table.size() < static_cast<std::size_t>(l)) continue;
      std::vector<uint16_t>& raw = table(l);
      const int32_t count = static_cast<int32_t>(raw.size());
      std::vector<uint16_t> packed(ColumnWords(count, n), 0);
      std::vector<uint16_t>* previous = setgetgtype.locusgtypeptr;
      setgetgtype.locusgtypeptr = &packed;
      for (int32_t k = 1; k <= count; ++k) {
        const int32_t i = raw[static_cast<std::size_t>(k - 1)] / 128;
        const int32_t j = raw[static_cast<std::size_t>(k - 1)] % 128;
        if (i <= 0) continue;
        // A dominant phenotype is stored as itself.
        SetGtype(dominant ? std::pair<int32_t, int32_t>{i, 0} : std::pair<int32_t, int32_t>{i, j}, k, n);
      }
      setgetgtype.locusgtypeptr = previous;
      raw.swap(packed);
    }
  }
  setgetgtype.packedq = true;
}
