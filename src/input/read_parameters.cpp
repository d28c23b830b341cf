// The run parameters: the 21 numbered lines at the head of the project
// file, their ranges and the values derived from them, and the trial of the
// output name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "input/project_reader.h"
#include "input/read_data.h"
#include "runctl/error_stop.h"
#include "runctl/output_files.h"
#include "state/variables.h"

namespace {

void Require(bool ok, const char* message) {
  if (!ok) StopOnDataError(message);
}

// The first item of a text line.
std::string ReadTextLine(ProjectReader& reader, const std::string& label) {
  reader.Begin("Error in reading line " + label);
  return std::string(reader.Item());
}

// What is wrong with an output name that cannot stand before the result
// suffixes: none (empty text), or a name without a last part of its own, so
// that ".BestConfig" and the rest would become hidden files, or a
// directory, which the user surely meant to write into.
std::string OutputNameProblem(const std::string& fname) {
  if (fname.empty()) return "the output name is empty!";
  const std::size_t slash = fname.rfind('/');
  const std::string last = slash == std::string::npos ? fname : fname.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") {
    return fname + " ends without a file name (the results would be hidden files such as " + fname + ".BestConfig)!";
  }
  struct stat st {};
  if (::stat(fname.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fname + " is a directory, not a file name!";
  return std::string();
}

// The output name must name a file that can be created: create
// fname + ".data" and delete it again, unless it exists already (then it
// is left alone: an earlier execution's saved input).
void TryOutputName() {
  const std::string& fname = variables.fname;
  bool usable = true;
  for (char c : fname) {
    if (static_cast<unsigned char>(c) < 0x20) usable = false;
  }
  if (usable) {
    const std::string problem = OutputNameProblem(fname);
    if (!problem.empty()) StopWithMessage("Error in project name or path: " + problem, "ReadData");
    const std::string path = fname + ".data";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(path.c_str());
    } else if (errno != EEXIST) {
      usable = false;
    }
  }
  if (!usable) {
    // A name with control characters would also garble the stop line.
    variables.fname = Printable(fname);
    StopWithMessage("Error in project name or path: " + variables.fname, "ReadData");
  }
}

// The reals that follow a non-zero sibship-prior type on its line.
void ReadPriorValues(ProjectReader& reader) {
  const int32_t type = variables.priortype;
  reader.file.Backspace();
  reader.Begin(type <= 3 ? "Error in reading mean paternal & maternal sibship size!"
                         : "Error in reading prior Ne & prior male/female ratio!");
  reader.IntItem();
  variables.ewenmeannumprnt(1) = reader.RealItem();
  variables.ewenmeannumprnt(2) = reader.RealItem();
  const double a = variables.ewenmeannumprnt(1), b = variables.ewenmeannumprnt(2);
  if (type <= 3) {
    const double n = variables.smplsize;
    Require(a >= 1e-300 && a <= n && b >= 1e-300 && b <= n,
            "The mean sibship size (paternal or maternal) is either too big or too small!");
  } else {
    Require(a >= 1.0 && a <= 2147483647.0, "The prior effective size (Ne) is too big or too small!");
    Require(b >= static_cast<double>(1e-8f) && b <= 2147483647.0,
            "The prior male to female sex ratio is too big or too small!");
  }
}

}  // namespace

void ReadIntNumber(FreeFormatFile& file, const std::string& label, int32_t& value, int maxdigits) {
  variables.errmsg(1) = "Error in reading line " + label + "It must be an integer.";
  file.BeginRead();
  std::string_view text;
  if (!file.NextItem(text)) StopOnDataError(variables.errmsg(1));
  const std::string item = Field(text, 20);
  const auto number = ParseInteger(item, maxdigits);
  if (!number) {
    // An integer with too many digits is out of range: calling it "not an
    // integer" would send the user looking for a typing error.
    const std::size_t digits = !item.empty() && (item[0] == '+' || item[0] == '-') ? 1 : 0;
    if (item.size() > digits && item.find_first_not_of("0123456789", digits) == std::string::npos) {
      variables.errmsg(1) = "Error in reading line " + label +
                            (maxdigits <= 9 ? "It must be an integer of at most 9 digits."
                                            : "It must be an integer from -2147483648 to 2147483647.");
    }
  }
  variables.errmsg(1) += " But it reads \"" + Printable(item) + "\"";
  if (!number) StopOnDataError(variables.errmsg(1));
  value = *number;
}

void ReadRunParameters(ProjectReader& reader) {
  Variables& v = variables;
  FreeFormatFile& file = reader.file;

  v.datasetname = Field(ReadTextLine(reader, "1, Dataset Name"), 500);
  std::string fname = ReadTextLine(reader, "2, Output File Name");
  const std::size_t first = fname.find_first_not_of(' ');
  const std::size_t last = fname.find_last_not_of(' ');
  v.fname = first == std::string::npos ? std::string() : fname.substr(first, last - first + 1);
  if (v.outputfilename.find_first_not_of(' ') != std::string::npos) v.fname = v.outputfilename;
  if (v.threadid == 0) TryOutputName();
  // Before anything is written under the output name: none of its files may
  // be the project file, and no other run may be using it.
  CheckOutputNameAgainstProject();
  ClaimOutputName();

  ReadIntNumber(file, "3, Offspring Sample Size. ", v.smplsize);
  Require(v.smplsize >= 1 && v.smplsize <= 32767,
          "The offspring sample size should be in the range [1, 32767]!");
  ReadIntNumber(file, "4, Number of Loci. ", v.numloci);
  Require(v.numloci > 0, "The number of loci should be > 0!");
  // Any 32-bit seed is a seed.
  ReadIntNumber(file, "5, Random Number Seed. ", v.i_seed, 10);
  if (v.newseed != 0) v.i_seed = v.newseed;
  ReadIntNumber(file, "6, Indicator for Updating Allele Frequency. ", v.updateallelefre);
  Require(v.updateallelefre == 0 || v.updateallelefre == 1,
          "The indicator for updating allele frequency should be either 0 or 1!");
  ReadIntNumber(file, "7, Indicator for Monoecious/Dioecious. ", v.numsex);
  Require(v.numsex == 1 || v.numsex == 2, "The indicator should be 2/1 for Dioecious/Monoecious!");
  ReadIntNumber(file, "8, Indicator for inbreeding (1) or oubreeding (0). ", v.allowinbreeding);
  Require(v.allowinbreeding == 0 || v.allowinbreeding == 1,
          "The indicator should be 0/1 for absense/presence of inbreeding!");
  ReadIntNumber(file, "9, Indicator (2/1) for Diploid/HaploDiploid. ", v.haplodiploid);
  Require(v.haplodiploid == 0 || v.haplodiploid == 1,
          "The indicator for species ploidy should be either 0 (diploid) or 1 (haplodiploid)!");
  Require(!(v.numsex == 1 && v.haplodiploid == 1),
          "For monoecious species, only diploid model is implemented!");
  v.ploidy(1) = v.haplodiploid == 1 ? 1 : 2;
  v.ploidy(2) = 2;
  v.inbreeding = 0.0;

  // Line 10 holds two integers; the error line quotes both items.
  reader.Begin("Error in reading line 10, Max numbers of matings per male and female. "
               "It must be an integer.");
  const std::string males = Field(reader.Item(), 20);
  const std::string females = Field(reader.Item(), 20);
  v.errmsg(1) += " But it reads \"" + Printable(males) + "  " + Printable(females) + "\"";
  const auto m1 = ParseInteger(males, 9);
  const auto m2 = ParseInteger(females, 9);
  if (!m1 || !m2) reader.Fail();
  v.maxmatings(1) = *m1;
  v.maxmatings(2) = *m2;
  Require(v.maxmatings(1) >= 0 && v.maxmatings(2) >= 0,
          "Max numbers of matings per male & female should be 0 (Unconstrained) or > 0!");
  for (int32_t k = 1; k <= 2; ++k) {
    if (v.maxmatings(k) == 0) v.maxmatings(k) = v.smplsize;
  }

  ReadIntNumber(file, "11, Indicator for clone inference. ", v.allowclone);
  Require(v.allowclone == 0 || v.allowclone == 1,
          "The indicator for clone inference should be either 0 for No or 1 for Yes!");
  ReadIntNumber(file, "12, Indicator for full sibship size scaling. ", v.fsscaleq);
  Require(v.fsscaleq == 0 || v.fsscaleq == 1,
          "The indicator for full sibship size scaling should be either 0 for No or 1 for Yes!");
  ReadIntNumber(file, "13, Indicator for Sibship Prior. ", v.priortype);
  Require(v.priortype >= 0 && v.priortype <= 4,
          "The indicator for sibship prior should be either 0 (No Prior), 1 (Weak Prior), 2 (Medium "
          "Prior), 3 (Strong Prior), 4 (Optimal Prior for Ne)!");
  if (v.priortype != 0) {
    ReadPriorValues(reader);
  } else {
    v.ewenmeannumprnt(1) = 1e99;
    v.ewenmeannumprnt(2) = 1e99;
  }

  ReadIntNumber(file, "indicator population allele frequency. ", v.popallelefreknownq);
  Require(v.popallelefreknownq == 0 || v.popallelefreknownq == 1,
          "The indicator for allele frequency should be either 0 (unknown) or 1 (known)!");
  // The known frequencies stand right here, between lines 14 and 15.
  if (v.popallelefreknownq == 1) ReadKnownFrequencies(reader);

  ReadIntNumber(file, "Number of Runs. ", v.numrun, 10);
  Require(v.numrun > 0, "The number of runs should be > 0!");
  ReadIntNumber(file, "Length of Runs. ", v.lengthrun);
  Require(v.lengthrun >= 0 && v.lengthrun <= 4,
          "The length of a run should be either 0 (very short), 1 (short), 2 (medium), 3 (long) or 4 "
          "(very long)!");
  ReadIntNumber(file, "Indicator of Monitor Method. ", v.monitormethod);
  Require(v.monitormethod == 0 || v.monitormethod == 1,
          "The indicator MonitorMethod should be either 0 (by Iterate#) or 1 (by Time in seconds)!");
  int32_t interval = 0;
  ReadIntNumber(file, "Monitor Interval. ", interval, 10);
  Require(interval > 0, "The MonitorInterval should be > 0!");
  v.monitorinterval = interval;
  int32_t platform = 0;
  ReadIntNumber(file, "Indicator for Other platform/Windows. ", platform);
  Require(platform == 0 || platform == 1,
          "The indicator for platform should be either 1 (Windows) or 0 (Others)!");
  int32_t method = 0;
  ReadIntNumber(file, "Indicator for PairScore/Full Likelihood Method. ", method);
  Require(method >= 0 && method <= 2,
          "The indicator for analysis method should be 1 (FL: Full Likelihood), 0 (PS: Pairwise "
          "Score), or 2 (PS guided FL)!");
  v.fulllikelihoodmethodq = (method == 1 || method == 2) ? 1 : 0;
  v.quicksearchq = (method == 0 || method == 2) ? 1 : 0;
  ReadIntNumber(file, "Likelihood Precision. ", v.likelihoodprecision);
  Require(v.likelihoodprecision >= 0 && v.likelihoodprecision <= 3,
          "The LikelihoodPrecision should be 0/1/2/3 for low/medium/high/very high precision!");

  if (v.popallelefreknownq == 1) {
    v.updateallelefre = 0;
  } else if (v.updateallelefre == 1 && method == 0) {
    v.updateallelefre = 2;
  }
  if (method == 0) v.likelihoodprecision = 1;

  v.stroffidx.clear();
  v.stroffidx.reserve(static_cast<std::size_t>(v.smplsize));
  for (int32_t i = 1; i <= v.smplsize; ++i) v.stroffidx.push_back(std::to_string(i));
}
