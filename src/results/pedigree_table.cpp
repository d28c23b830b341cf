// The pedigree table ".Pedigree.csv": the best configuration, its full-sib
// families and clusters, and the parents' probabilities in one table for
// spreadsheets, R and the family plot. Written whole under a temporary name
// and renamed into place, by process 0.
#include "results/pedigree_table.h"

#include "results/fixed_fields.h"
#include "runctl/file_io.h"
#include "state/variables.h"
#include "state/writevar.h"

using fixed_fields::Fixed;
using fixed_fields::TrimRight;

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : TrimRight(text.substr(start));
}

// The probability of offspring i's parent of sex k, or nothing.
std::string ParentProb(int32_t i, int32_t k) {
  const Mat1<double>& prob = writevar.AssignedParentProb;
  if (static_cast<std::size_t>(i) > prob.rows() || prob.cols() < 2 || !(prob(i, k) >= 0.0)) return {};
  return Trimmed(Fixed(prob(i, k), 7, 4));
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void WritePedigree(const Mat1<int32_t>& loc, const Mat1<std::string>& ids, const Vec1<int32_t>& fsid) {
  const Variables& v = variables;
  const int32_t n = v.smplsize;
  AtomicTextFile out(v.fname + ".Pedigree.csv");
  // (A lower-case "id" first: a file that begins with "ID" is taken for
  // another format by a common spreadsheet.)
  out << "id,father,mother,fullsib_family,cluster,father_prob,mother_prob\n";
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t family = static_cast<std::size_t>(i) <= fsid.size() ? fsid(i) : 0;
    out << CsvField(Trimmed(v.offspringid(i))) << ',' << CsvField(Trimmed(ids(i, 1))) << ','
        << CsvField(Trimmed(ids(i, 2))) << ',' << family << ',' << loc(i, 3) << ',' << ParentProb(i, 1) << ','
        << ParentProb(i, 2) << '\n';
  }
  out.Commit();
}
