// The import program's work: matching the roles file to the genotype
// source, filtering the sites among the kept individuals, and writing the
// project file (default run parameters, markers, genotypes, candidates and
// empty relationship sections) whole or not at all.
#include "input/import_project.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace {

enum Role { kOffspring = 0, kFather = 1, kMother = 2 };
const char* const kRoleNames[3] = {"offspring", "father", "mother"};

// Identifiers and names are held in 20 characters by the analysis.
constexpr std::size_t kIdLength = 20;
// Alleles per locus that the analysis can number.
constexpr int64_t kMaxAlleles = 127;
constexpr int64_t kMaxIndividuals = 32767;

struct Member {
  std::size_t sample = 0;  // index in the genotype source
  Role role = kOffspring;
  long line = 0;
  std::string id;
};

std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return std::string();
  const std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One CSV field, with the surrounding double quotes of a quoted field
// removed (a doubled quote inside stands for one).
std::string CsvField(const std::string& raw) {
  std::string f = Trim(raw);
  if (f.size() >= 2 && f.front() == '"' && f.back() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
      out += f[i];
      if (f[i] == '"' && f[i + 1] == '"') ++i;
    }
    return out;
  }
  return f;
}

// Items of the project file are separated by blanks, tabs and commas, and a
// quote opens a quoted text: a name holding any of these would be read as
// something else.
bool PlainItem(const std::string& s) {
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x21 || u == 0x7f || c == ',' || c == '\'' || c == '"') return false;
  }
  return !s.empty();
}

// Why an identifier cannot stand in the project file (empty when it can).
std::string IdProblem(const std::string& id, Role role) {
  if (id.size() > kIdLength) return "is longer than 20 characters (the analysis keeps 20)";
  if (!PlainItem(id)) return "holds a blank, comma, quote or control character";
  // The result files name unsampled fathers *1, *2, ... and unsampled
  // mothers #1, #2, ...: a candidate so named could not be told apart.
  if (role != kOffspring && (id == "*-" || ((id[0] == '*' || id[0] == '#') && id.size() >= 2 &&
                                            id.find_first_not_of("0123456789", 1) == std::string::npos))) {
    return "is a name the result files give to unsampled parents";
  }
  return std::string();
}

// The roles file: header "ID,role", then one individual per line.
std::vector<Member> ReadRoles(const std::string& path, const GenotypeSource& source) {
  std::ifstream in(path);
  if (!in) throw ImportError(path + ": cannot be opened");
  // Identifier -> sample index; identifiers that occur twice in the
  // genotype file map to npos and cannot be given a role.
  std::map<std::string, std::size_t> samples;
  const std::vector<std::string>& ids = source.SampleIds();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    auto [it, added] = samples.emplace(ids[i], i);
    if (!added) it->second = std::string::npos;
  }
  std::map<std::string, long> seen;
  std::vector<Member> members;
  std::string line;
  long lineno = 0;
  bool header = false;
  while (std::getline(in, line)) {
    ++lineno;
    // A spreadsheet may begin the file with a byte-order mark.
    if (lineno == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (Trim(line).empty()) continue;
    const std::string at = path + ":" + std::to_string(lineno) + ": ";
    std::vector<std::string> fields;
    std::stringstream row(line);
    std::string f;
    while (std::getline(row, f, ',')) fields.push_back(CsvField(f));
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    if (!header) {
      if (fields.size() != 2 || Lower(fields[0]) != "id" || Lower(fields[1]) != "role") {
        throw ImportError(at + "the first line must be the header ID,role");
      }
      header = true;
      continue;
    }
    if (fields.size() != 2 || fields[0].empty()) {
      throw ImportError(at + "expected two fields, an ID and its role (offspring, father or mother)");
    }
    Member m;
    m.id = fields[0];
    m.line = lineno;
    const std::string role = Lower(fields[1]);
    if (role == "offspring") {
      m.role = kOffspring;
    } else if (role == "father") {
      m.role = kFather;
    } else if (role == "mother") {
      m.role = kMother;
    } else {
      throw ImportError(at + "unknown role \"" + fields[1] + "\" for " + m.id +
                        " (the roles are offspring, father and mother)");
    }
    if (auto [it, added] = seen.emplace(m.id, lineno); !added) {
      throw ImportError(at + m.id + " is listed twice (also on line " + std::to_string(it->second) + ")");
    }
    const auto found = samples.find(m.id);
    if (found == samples.end()) {
      throw ImportError(at + m.id + " is not among the individuals of " + source.Description());
    }
    if (found->second == std::string::npos) {
      throw ImportError(at + m.id + " names two individuals of " + source.Description());
    }
    const std::string problem = IdProblem(m.id, m.role);
    if (!problem.empty()) throw ImportError(at + "the ID " + m.id + " " + problem + "; rename it in both files");
    m.sample = found->second;
    members.push_back(std::move(m));
  }
  if (in.bad()) throw ImportError(path + ": read error");
  if (!header) throw ImportError(path + ": is empty; its first line must be the header ID,role");
  // Offspring, then candidate fathers, then candidate mothers, each in the
  // order of the genotype file.
  std::stable_sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
    return a.role != b.role ? a.role < b.role : a.sample < b.sample;
  });
  return members;
}

// A real as the project reader takes it back (plain or exponent form).
std::string RealText(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.8g", x);
  return buf;
}

// A text as a quoted project-file item (a quote inside is doubled).
std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += c;
  }
  return out + "'";
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The project file under a temporary name in its own directory, renamed
// over NAME.dat only once it is complete; the temporary file never
// outlives a failure.
class ProjectWriter {
 public:
  explicit ProjectWriter(std::string name) : name_(std::move(name)), temp_(name_ + ".tmp" + std::to_string(::getpid())) {
    out_.open(temp_, std::ios::out | std::ios::trunc);
    if (!out_) throw ImportError(name_ + ": cannot be created (" + std::strerror(errno) + ")");
  }
  ~ProjectWriter() {
    if (!done_) {
      out_.close();
      std::remove(temp_.c_str());
    }
  }
  std::ofstream& out() { return out_; }
  void Commit() {
    out_.flush();
    const bool written = static_cast<bool>(out_);
    out_.close();
    if (!written || out_.fail()) throw ImportError(name_ + ": cannot be written (disk full?)");
    if (std::rename(temp_.c_str(), name_.c_str()) != 0) {
      throw ImportError(name_ + ": cannot be written (" + std::strerror(errno) + ")");
    }
    done_ = true;
  }

 private:
  std::string name_, temp_;
  std::ofstream out_;
  bool done_ = false;
};

void CheckOptions(const ImportOptions& o) {
  if (o.kind == ImportOptions::Kind::kNone || o.input.empty()) {
    throw ImportError("no genotypes given: use --vcf, --bcf or --bfile");
  }
  if (o.roles.empty()) throw ImportError("no roles file given: use --roles ROLES.csv");
  if (o.out.empty()) throw ImportError("no project name given: use --out NAME");
  if (!(o.errorrate >= 0.0 && o.errorrate < 1.0)) throw ImportError("--error-rate must be at least 0 and below 1");
  if (!(o.minmaf >= 0.0 && o.minmaf < 1.0)) throw ImportError("--min-maf must be at least 0 and below 1");
  if (!(o.maxmissing >= 0.0 && o.maxmissing <= 1.0)) throw ImportError("--max-missing must be from 0 to 1");
  if (o.method < 0 || o.method > 2) throw ImportError("--method must be 0, 1 or 2");
  const std::string base = BaseName(o.out);
  if (base.empty() || base == "." || base == "..") throw ImportError("--out " + o.out + " must end in a file name");
  for (char c : base) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      throw ImportError("--out " + o.out + ": the name holds a control character");
    }
  }
}

}  // namespace

ImportSummary RunImport(const ImportOptions& options) {
  CheckOptions(options);
  ImportSummary summary;
  summary.projectfile = options.out + ".dat";
  std::unique_ptr<GenotypeSource> source = options.kind == ImportOptions::Kind::kPlink
                                               ? OpenPlinkSource(options.input)
                                               : OpenVcfSource(options.input);
  for (const std::string& path : source->Paths()) {
    if (SameFile(path, summary.projectfile)) throw ImportError(summary.projectfile + " is the input file " + path);
  }
  if (SameFile(options.roles, summary.projectfile)) {
    throw ImportError(summary.projectfile + " is the roles file " + options.roles);
  }
  summary.samples = static_cast<int64_t>(source->SampleIds().size());
  const std::vector<Member> members = ReadRoles(options.roles, *source);
  std::vector<bool> keep(source->SampleIds().size(), false);
  for (const Member& m : members) keep[m.sample] = true;
  source->KeepSamples(std::move(keep));
  for (const Member& m : members) {
    (m.role == kOffspring ? summary.offspring : m.role == kFather ? summary.fathers : summary.mothers)++;
  }
  if (summary.offspring == 0) throw ImportError(options.roles + ": lists no offspring");
  if (summary.offspring > kMaxIndividuals || summary.fathers > kMaxIndividuals || summary.mothers > kMaxIndividuals) {
    throw ImportError(options.roles + ": lists more than 32767 offspring, fathers or mothers");
  }

  // The kept sites' calls of the kept individuals, site after site.
  const std::size_t nkept = members.size();
  std::vector<uint16_t> calls;
  std::vector<std::string> names;
  std::vector<int64_t> typed(nkept, 0);  // kept sites at which each individual has a call
  ImportSite site;
  std::vector<int64_t> counts;
  while (source->NextSite(site)) {
    int64_t missing = 0;
    counts.assign(static_cast<std::size_t>(site.nalleles) + 1, 0);
    for (const Member& m : members) {
      const int32_t a = site.calls[2 * m.sample], b = site.calls[2 * m.sample + 1];
      if (a == 0 || b == 0) {
        ++missing;
        continue;
      }
      ++counts[static_cast<std::size_t>(a)];
      ++counts[static_cast<std::size_t>(b)];
    }
    int64_t distinct = 0, commonest = 0;
    for (std::size_t k = 1; k < counts.size(); ++k) {
      distinct += counts[k] > 0 ? 1 : 0;
      commonest = std::max(commonest, counts[k]);
    }
    const int64_t copies = 2 * (static_cast<int64_t>(nkept) - missing);
    if (static_cast<double>(missing) > options.maxmissing * static_cast<double>(nkept)) {
      ++summary.missing;
    } else if (distinct <= 1) {
      ++summary.monomorphic;
    } else if (static_cast<double>(copies - commonest) < options.minmaf * static_cast<double>(copies)) {
      ++summary.rare;
    } else if (distinct > kMaxAlleles) {
      ++summary.manyalleles;
    } else {
      ++summary.kept;
      names.push_back(site.name);
      for (std::size_t i = 0; i < nkept; ++i) {
        const int32_t a = site.calls[2 * members[i].sample], b = site.calls[2 * members[i].sample + 1];
        const bool call = a != 0 && b != 0;
        typed[i] += call ? 1 : 0;
        calls.push_back(static_cast<uint16_t>(call ? a : 0));
        calls.push_back(static_cast<uint16_t>(call ? b : 0));
      }
    }
  }
  if (summary.kept == 0) {
    throw ImportError("no site of " + source->Description() + " is left after filtering\n" +
                      SummaryText(options, summary));
  }
  // The analysis refuses an offspring without any call, and a candidate
  // without one could be made the parent of anybody.
  for (std::size_t i = 0; i < nkept; ++i) {
    if (typed[i] == 0) {
      throw ImportError(members[i].id + " (" + kRoleNames[members[i].role] + ", " + options.roles + ":" +
                        std::to_string(members[i].line) + ") has no call at any of the " +
                        std::to_string(summary.kept) + " kept sites; leave it out of the roles file");
    }
  }

  // Site names serve as marker names when every one of them can (held in
  // 20 characters, a plain item without "@", no two alike); otherwise the
  // loci are named MK1, MK2, ... in file order.
  {
    std::map<std::string, int> used;
    for (const std::string& n : names) {
      if (n.size() > kIdLength || !PlainItem(n) || n.find('@') != std::string::npos || ++used[n] > 1) {
        summary.sitenames = false;
        break;
      }
    }
  }

  ProjectWriter writer(summary.projectfile);
  std::ofstream& out = writer.out();
  const std::string rate = RealText(options.errorrate);
  out << Quoted("Imported from " + BaseName(options.input).substr(0, 400)) << "   ! dataset name\n";
  const std::string base = BaseName(options.out);
  out << (PlainItem(base) ? base : Quoted(base)) << "   ! output name (results are written as NAME.BestConfig, ...)\n";
  out << summary.offspring << "   ! number of offspring\n";
  out << summary.kept << "   ! number of loci\n";
  out << "1   ! random number seed (RND: on the command line replaces it)\n";
  out << "0   ! update allele frequencies (0 no, 1 yes)\n";
  out << "2   ! 2 dioecious, 1 monoecious\n";
  out << "0   ! inbreeding (0 no, 1 yes)\n";
  out << "0   ! 0 diploid, 1 haplodiploid\n";
  out << "0 0   ! max matings per male and female (0 unconstrained)\n";
  out << "0   ! clone inference (0 no, 1 yes)\n";
  out << "0   ! full-sibship size scaling (0 no, 1 yes)\n";
  out << "0   ! sibship prior (0 none)\n";
  out << "0   ! allele frequencies known (0 no, 1 yes)\n";
  out << "1   ! number of runs\n";
  out << "1   ! length of run (0 very short .. 4 very long)\n";
  out << "0   ! monitor by iterate (0) or time (1)\n";
  out << "100000   ! monitor interval\n";
  out << "0   ! platform (0 Linux/others, 1 Windows)\n";
  out << options.method << "   ! method: 0 pairwise score, 1 full likelihood, 2 both\n";
  out << "1   ! likelihood precision (0 low .. 3 very high)\n\n";
  if (summary.sitenames) {
    for (const std::string& n : names) out << n << ' ';
    out << "  ! marker names\n";
  } else {
    out << "MK@   ! marker names (MK1, MK2, ... in the order of the genotype file's kept sites)\n";
  }
  out << "0@   ! marker types (0 codominant, 1 dominant)\n";
  out << rate << "@   ! allelic dropout rate per locus\n";
  out << rate << "@   ! other error rate per locus\n\n";
  const std::size_t nsites = names.size();
  std::string text;
  auto write_individual = [&](std::size_t i) {
    text = members[i].id;
    for (std::size_t s = 0; s < nsites; ++s) {
      const std::size_t at = 2 * (s * nkept + i);
      text += ' ';
      text += std::to_string(calls[at]);
      text += ' ';
      text += std::to_string(calls[at + 1]);
    }
    out << text << '\n';
  };
  std::size_t i = 0;
  for (; i < nkept && members[i].role == kOffspring; ++i) write_individual(i);
  // Without candidates of a sex no parent of that sex is among them; with
  // some, half of the parents is a neutral guess.
  out << '\n'
      << (summary.fathers > 0 ? "0.5" : "0.001") << ' ' << (summary.mothers > 0 ? "0.5" : "0.001")
      << "   ! probabilities that the father / mother is among the candidates\n";
  out << summary.fathers << ' ' << summary.mothers << "   ! numbers of candidate fathers and mothers\n";
  for (; i < nkept; ++i) write_individual(i);
  out << "\n0 0   ! known paternity: number of pairs, mismatch allowance\n"
         "0 0   ! known maternity: number of pairs, mismatch allowance\n"
         "0   ! known paternal sibships\n"
         "0   ! known maternal sibships\n"
         "0   ! excluded paternity\n"
         "0   ! excluded maternity\n"
         "0   ! excluded paternal sibships\n"
         "0   ! excluded maternal sibships\n";
  writer.Commit();
  return summary;
}

std::string SummaryText(const ImportOptions& options, const ImportSummary& s) {
  std::ostringstream out;
  const int64_t dropped = s.missing + s.monomorphic + s.rare + s.manyalleles;
  out << "Individuals: " << s.offspring << " offspring, " << s.fathers << " candidate fathers, " << s.mothers
      << " candidate mothers (" << s.samples << " in the genotype file)\n";
  out << "Sites: " << s.kept << " kept, " << dropped << " dropped: " << s.missing << " missing in more than "
      << RealText(100.0 * options.maxmissing) << "% of the individuals, " << s.monomorphic << " monomorphic, "
      << s.rare << " with minor allele frequency below " << RealText(options.minmaf) << ", " << s.manyalleles
      << " with more than 127 alleles\n";
  if (s.kept > 0 && !s.sitenames) {
    out << "Site names cannot all serve as marker names (over 20 characters, repeated, or holding blanks, commas, "
           "quotes or @): the loci are named MK1, MK2, ...\n";
  }
  return out.str();
}
