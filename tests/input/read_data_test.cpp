// The project-file reader: a valid project read whole, then one fault at a
// time (table-driven), each checked against the complete error-message file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "input/allele_recoding.h"
#include "input/read_data.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

enum Line : std::size_t {
  kName = 0, kOutput, kSample, kLoci, kSeed, kUpdate, kSexes, kInbreeding, kHaplo, kMatings,
  kClone, kScaling, kPrior, kKnownFreq, kRuns, kLength, kMonitor, kInterval, kPlatform, kMethod,
  kPrecision, kMarkerIds, kMarkerTypes, kDropout, kOtherError, kOff1, kOff2, kOff3, kOff4,
  kProportions, kCandidates, kFather1, kFather2, kMother1, kMother2, kPaternity, kPaternityPair,
  kMaternity, kMaternityPair, kPatSibs, kPatSib1, kMatSibs, kExclPaternity, kExclPaternity1,
  kExclMaternity, kExclPatSibs, kExclPatSib1, kExclMatSibs, kLineCount
};

std::vector<std::string> BaseLines() {
  return {
      "'Reader test data'     ! dataset name",
      "testrun                ! output name",
      "4                      ! offspring",
      "3                      ! loci",
      "1234                   ! seed",
      "0                      ! update allele frequencies",
      "2                      ! dioecious",
      "0                      ! inbreeding",
      "0                      ! diploid",
      "0 0                    ! max matings",
      "0                      ! clones",
      "1                      ! full-sib scaling",
      "0                      ! sibship prior",
      "0                      ! allele frequencies known",
      "2                      ! runs",
      "1                      ! run length",
      "0                      ! monitor method",
      "10000                  ! monitor interval",
      "0                      ! platform",
      "1                      ! method",
      "2                      ! precision",
      "MK@                    ! marker names",
      "0 0 1                  ! marker types",
      "0.01@                  ! dropout",
      "0.02 0.03 1e-05        ! other errors",
      "O1 101 102 7 7 1",
      "O2 101 101 7 8 2",
      "O3 102 102 8 8 0",
      "O4 101 102 7 0 1",
      "0.5 0.6                ! proportions sampled",
      "2 2                    ! candidates",
      "F1 101 102 7 7 1",
      "F2 102 102 8 8 2",
      "M1 101 101 7 8 1",
      "M2 102 101 8 8 0",
      "1 0                    ! known paternity",
      "O1 F1",
      "1 0                    ! known maternity",
      "O2 M1",
      "1                      ! known paternal sibships",
      "2 O1 O2",
      "0                      ! known maternal sibships",
      "1                      ! excluded paternity",
      "O3 1 F2",
      "0                      ! excluded maternity",
      "1                      ! excluded paternal sibships",
      "O4 1 O3",
      "0                      ! excluded maternal sibships",
  };
}

std::string Join(const std::vector<std::string>& lines, const std::string& eol = "\n") {
  std::string text;
  for (const auto& line : lines) text += line + eol;
  return text;
}

std::string DataError(const std::string& message, const std::string& dataset = "testrun") {
  return DataErrorText(message, dataset);
}

// Lines replaced in the base project, and the message of the stop they
// cause; a line replaced by "<EOF>" ends the file before it.
using Edits = std::vector<std::pair<std::size_t, std::string>>;
enum Stop { kData, kNoDataset, kConvert };
struct Row {
  Edits edits;
  std::string message;
  Stop stop = kData;
};

std::string Known(const std::string& section) { return "1   ! known\n" + section; }

std::vector<std::string> Edited(const Edits& edits) {
  auto lines = BaseLines();
  for (const auto& [k, text] : edits) {
    if (text == "<EOF>") {
      lines.resize(k);
    } else {
      lines[k] = text;
    }
  }
  return lines;
}

const char* const kFrequencies = "2 2 2\n101 102\n0.4 0.6\n7 8\n0.5 0.5\n1 2\n0.7 0.3";

class ReadDataTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.displayq = 0;
    variables.inputfilename = "project.dat";
  }

  static void Reset() {
    variables = Variables{};
    variables.stoppauseseconds = 0;
    variables.displayq = 0;
    variables.inputfilename = "project.dat";
  }

  static void Read(const std::string& text) {
    WriteFile("project.dat", text);
    ReadData();
  }

  std::string StopText(const std::string& text) {
    WriteFile("project.dat", text);
    return ExpectStop([] { ReadData(); });
  }

  void RunCases(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      SCOPED_TRACE(::testing::Message() << "line " << r.edits.front().first + 1 << " -> " << r.edits.front().second);
      Reset();
      const std::string expected =
          r.stop == kConvert ? r.message + "\nProgram stopped in subroutine ConvertGenotype, dataset = testrun.\n"
                             : DataError(r.message, r.stop == kNoDataset ? "" : "testrun");
      EXPECT_EQ(StopText(Join(Edited(r.edits))), expected);
    }
  }
};

using ReadDataParameters = ReadDataTest;
using ReadDataSections = ReadDataTest;

// Read with Windows line endings, which must read like Unix ones.
TEST_F(ReadDataSections, ReadsTheWholeBaseProject) {
  Read(Join(BaseLines(), "\r\n"));
  const Variables& v = variables;
  EXPECT_EQ(std::tuple(v.datasetname, v.fname, v.stroffidx, v.markerid(3), v.offspringid(4), v.cndparentid(2)(2)),
            std::tuple("Reader test data", "testrun", std::vector<std::string>{"1", "2", "3", "4"}, "MK3", "O4", "M2"));
  EXPECT_EQ(std::tuple(v.smplsize, v.numloci, v.i_seed, v.maxmatings(1), v.numrun, v.fulllikelihoodmethodq,
                       v.likelihoodprecision, v.ploidy(1), v.dominantmarker(3), v.smplsizedh(2), v.numchild(1)),
            std::tuple(4, 3, 1234, 4, 2, 1, 2, 2, 1, 4, 2));
  EXPECT_EQ(std::tuple(v.ewenmeannumprnt(1), v.droprate(2), v.othererrorrate(3), v.propprntsampled(2)),
            std::tuple(1e99, 0.01, 1e-05, 0.6));
  EXPECT_EQ(std::tuple(v.anymonogamy, v.indivparent(1, 1), v.indivparent(2, 2), v.numknownprnt(1),
                       v.knownsibship(1, 1), v.numknownsibship(1)),
            std::tuple(0, 1, 1, 1, 1, 1));
  EXPECT_EQ(v.excludedparent(1)(3), (std::vector<int32_t>{2}));
  EXPECT_EQ(v.excludedsib(1)(4), (std::vector<int32_t>{3}));
  // Alleles in order of first appearance; O4 lacks its second allele at locus 2.
  EXPECT_EQ(v.rawalleleid(1), (std::vector<int32_t>{101, 102}));
  EXPECT_EQ(v.rawalleleid(2), (std::vector<int32_t>{7, 8}));
  using P = std::pair<int32_t, int32_t>;
  EXPECT_EQ(std::tuple(StoredAlleles(0, 1, 1), StoredAlleles(0, 4, 2), StoredAlleles(0, 2, 3), StoredAlleles(2, 2, 1)),
            std::tuple(P{1, 2}, P{0, 0}, P{2, 0}, P{1, 2}));
  // Reading writes nothing but the lock of the output name.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(".")) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"project.dat", "testrun.Lock"}));
}

TEST_F(ReadDataParameters, EveryBadValueStopsWithItsMessage) {
  const std::string intmsg = "It must be an integer. But it reads ";
  const std::string nine = "It must be an integer of at most 9 digits. But it reads ";
  const std::string bits32 = "It must be an integer from -2147483648 to 2147483647. But it reads ";
  std::vector<Row> rows = {
      {{{kSample, "0"}}, "The offspring sample size should be in the range [1, 32767]!"},
      {{{kLoci, "0"}}, "The number of loci should be > 0!"},
      {{{kSeed, "2147483648"}}, "Error in reading line 5, Random Number Seed. " + bits32 + "\"2147483648\""},
      {{{kUpdate, "-1"}}, "The indicator for updating allele frequency should be either 0 or 1!"},
      {{{kSexes, "0"}}, "The indicator should be 2/1 for Dioecious/Monoecious!"},
      {{{kInbreeding, "2"}}, "The indicator should be 0/1 for absense/presence of inbreeding!"},
      {{{kHaplo, "2"}}, "The indicator for species ploidy should be either 0 (diploid) or 1 (haplodiploid)!"},
      {{{kSexes, "1"}, {kHaplo, "1"}}, "For monoecious species, only diploid model is implemented!"},
      {{{kMatings, "0 -1"}}, "Max numbers of matings per male & female should be 0 (Unconstrained) or > 0!"},
      {{{kMatings, "a 0"}},
       "Error in reading line 10, Max numbers of matings per male and female. " + intmsg + "\"a  0\""},
      {{{kMatings, "2"}, {kMatings + 1, "<EOF>"}},
       "Error in reading line 10, Max numbers of matings per male and female. It must be an integer."},
      {{{kClone, "2"}}, "The indicator for clone inference should be either 0 for No or 1 for Yes!"},
      {{{kScaling, "2"}},
       "The indicator for full sibship size scaling should be either 0 for No or 1 for Yes!"},
      {{{kPrior, "5"}},
       "The indicator for sibship prior should be either 0 (No Prior), 1 (Weak Prior), 2 (Medium Prior), 3 "
       "(Strong Prior), 4 (Optimal Prior for Ne)!"},
      {{{kPrior, "1 0 2"}}, "The mean sibship size (paternal or maternal) is either too big or too small!"},
      {{{kPrior, "2 1.5 x"}}, "Error in reading mean paternal & maternal sibship size!"},
      {{{kPrior, "4 0.5 1"}}, "The prior effective size (Ne) is too big or too small!"},
      {{{kPrior, "4 100 0"}}, "The prior male to female sex ratio is too big or too small!"},
      {{{kPrior, "4 100 ratio"}}, "Error in reading prior Ne & prior male/female ratio!"},
      {{{kKnownFreq, "2"}}, "The indicator for allele frequency should be either 0 (unknown) or 1 (known)!"},
      {{{kRuns, "0"}}, "The number of runs should be > 0!"},
      {{{kLength, "5"}},
       "The length of a run should be either 0 (very short), 1 (short), 2 (medium), 3 (long) or 4 (very "
       "long)!"},
      {{{kMonitor, "2"}},
       "The indicator MonitorMethod should be either 0 (by Iterate#) or 1 (by Time in seconds)!"},
      {{{kInterval, "0"}}, "The MonitorInterval should be > 0!"},
      {{{kInterval, "-9999999999"}}, "Error in reading line Monitor Interval. " + bits32 + "\"-9999999999\""},
      {{{kPlatform, "2"}}, "The indicator for platform should be either 1 (Windows) or 0 (Others)!"},
      {{{kMethod, "3"}},
       "The indicator for analysis method should be 1 (FL: Full Likelihood), 0 (PS: Pairwise Score), or 2 "
       "(PS guided FL)!"},
      {{{kPrecision, "4"}},
       "The LikelihoodPrecision should be 0/1/2/3 for low/medium/high/very high precision!"},
      {{{kSample, "! the sample size follows\n4"}},
       "Error in reading line 3, Offspring Sample Size. " + intmsg + "\"!\""},
      {{{kLoci, "123456789012345678901234"}},
       "Error in reading line 4, Number of Loci. " + nine + "\"12345678901234567890\""},
  };
  // A value that is not an integer names the line being read.
  for (const auto& [k, bad, label] : std::vector<std::tuple<Line, std::string, std::string>>{
           {kSample, "many", "line 3, Offspring Sample Size"}, {kLoci, "5.0", "line 4, Number of Loci"},
           {kSeed, "x1", "line 5, Random Number Seed"},
           {kUpdate, "yes", "line 6, Indicator for Updating Allele Frequency"},
           {kSexes, "two", "line 7, Indicator for Monoecious/Dioecious"},
           {kInbreeding, "?", "line 8, Indicator for inbreeding (1) or oubreeding (0)"},
           {kHaplo, "h", "line 9, Indicator (2/1) for Diploid/HaploDiploid"},
           {kClone, "no", "line 11, Indicator for clone inference"},
           {kScaling, "1.0", "line 12, Indicator for full sibship size scaling"},
           {kPrior, "weak", "line 13, Indicator for Sibship Prior"},
           {kKnownFreq, "known", "line indicator population allele frequency"},
           {kRuns, "two", "line Number of Runs"}, {kLength, "long", "line Length of Runs"},
           {kMonitor, "t", "line Indicator of Monitor Method"},
           {kPlatform, "linux", "line Indicator for Other platform/Windows"},
           {kMethod, "FL", "line Indicator for PairScore/Full Likelihood Method"},
           {kPrecision, "high", "line Likelihood Precision"}}) {
    rows.push_back({{{k, bad}}, "Error in reading " + label + ". " + intmsg + "\"" + bad + "\""});
  }
  RunCases(rows);
}

TEST_F(ReadDataParameters, FileEndingInTheParameterBlockStopsWithTheLineBeingRead) {
  const std::string intmsg = "It must be an integer.";
  RunCases({
      {{{0, "<EOF>"}}, "Error in reading line 1, Dataset Name", kNoDataset},
      {{{1, "<EOF>"}}, "Error in reading line 2, Output File Name", kNoDataset},
      {{{2, "<EOF>"}}, "Error in reading line 3, Offspring Sample Size. " + intmsg},
      {{{14, "<EOF>"}}, "Error in reading line Number of Runs. " + intmsg},
      {{{20, "<EOF>"}}, "Error in reading line Likelihood Precision. " + intmsg},
      {{{kPrior, "1 2.0"}, {kPrior + 1, "<EOF>"}}, "Error in reading mean paternal & maternal sibship size!"},
  });
}

TEST_F(ReadDataParameters, CommandLineOverridesSeedAndOutputName) {
  variables.newseed = 77;
  variables.outputfilename = "fromcommand";
  Read(Join(BaseLines()));
  EXPECT_EQ(variables.i_seed, 77);
  EXPECT_EQ(variables.fname, "fromcommand");
}

TEST_F(ReadDataParameters, OutputNameThatCannotBeCreatedStops) {
  auto lines = BaseLines();
  lines[kOutput] = "no_such_directory/run";
  EXPECT_EQ(StopText(Join(lines)),
            "Error in project name or path: no_such_directory/run\n"
            "Program stopped in subroutine ReadData, dataset = no_such_directory/run.\n");
  // Names that leave no file name, or name a directory, are refused too.
  std::filesystem::create_directory("adir");
  for (const auto& [item, message] : std::vector<std::pair<std::string, std::string>>{
           {"''", "the output name is empty!"},
           {".", ". ends without a file name (the results would be hidden files such as ..BestConfig)!"},
           {"adir/", "adir/ ends without a file name (the results would be hidden files such as adir/.BestConfig)!"},
           {"adir", "adir is a directory, not a file name!"}}) {
    SCOPED_TRACE(item);
    Reset();
    lines[kOutput] = item;
    const std::string fname = item == "''" ? "" : item;
    EXPECT_EQ(StopText(Join(lines)), "Error in project name or path: " + message +
                                         "\nProgram stopped in subroutine ReadData, dataset = " + fname + ".\n");
  }
}

TEST_F(ReadDataParameters, MissingFileOrDirectoryStops) {
  variables.inputfilename = "absent.dat";
  EXPECT_EQ(ExpectStop([] { ReadData(); }),
            "Input file absent.dat does not exist!\nProgram stopped in subroutine ReadData, dataset = .\n");
  std::filesystem::create_directory("adir");
  variables.inputfilename = "adir";
  EXPECT_EQ(ExpectStop([] { ReadData(); }),
            "Input file adir is a directory, not a project file!\n"
            "Program stopped in subroutine ReadData, dataset = .\n");
}

TEST_F(ReadDataSections, KnownFrequencyChecks) {
  RunCases({
      {{{kKnownFreq, Known("2 0 2\n101 102\n0.4 0.6")}}, "The number of alleles should be > 0!"},
      {{{kKnownFreq, Known("0000002@")}}, "Error in reading population allele number per locus"},
      {{{kKnownFreq, Known("2 2 2\n101 102\n0.4 many")}},
       "Error in reading population alleles & frequencies per locus"},
      {{{kKnownFreq, Known("2 2 2\n101 102\n0.4 0.6\n7 8\n0.5 1.5")}},
       "Known frequency of allele 8 at locus 2 is out of the range [0, 1]!"},
      {{{kKnownFreq, Known("2 2 2\n101 102\n0.4 0.5")}},
       "Known frequencies of the alleles at locus 1 sum to 0.9, not 1!"},
  });
}

TEST_F(ReadDataSections, MarkerChecks) {
  RunCases({
      {{{kMarkerIds, "A B A"}}, "Marker 1 has the same ID, A, as marker 3"},
      {{{kMarkerIds, "ABCDEFGHIJKLMNOPQRSTUV@"}},
       "Marker 1 has the same ID, ABCDEFGHIJKLMNOPQRST, as marker 2"},
      {{{kMarkerIds, "A B"}, {kMarkerIds + 1, "<EOF>"}}, "Error in reading Marker IDs"},
      {{{kMarkerTypes, "0 2 1"}}, "Marker type must be 1 (dominant) or 0 (codominant)!"},
      {{{kMarkerTypes, "0 d 1"}}, "Error in reading indicators for marker types per locus"},
      {{{kDropout, "1.5@"}}, "Marker error rate is out of the range [0, 1]!"},
      {{{kDropout, "0.01 1 1"}},
       "Dropout rate of locus 2 (MK2) is 1: no heterozygote could be observed at this codominant locus. It "
       "must be below 1!"},
      {{{kDropout, "nan@"}}, "Error in reading Dropout Rate per locus"},
      {{{kOtherError, "0.1 0.1"}, {kOtherError + 1, "<EOF>"}}, "Error in reading Other Error Rate per locus"},
  });
}

TEST_F(ReadDataSections, OffspringChecks) {
  RunCases({
      {{{kOff2, "O2 101 x 7 8 2"}}, "Offspring O2 has incorrect allele at locus 1: x"},
      {{{kOff2, "O2 101 101 7 2147483648 2"}}, "Offspring O2 has incorrect allele at locus 2: 2147483648"},
      {{{kOff2, "O2 101 101 7 8 3"}}, "Offspring O2 at dominant locus 3 has an illegal genotype", kConvert},
      {{{kSample, "5"}},
       "Line 30, read as offspring 5, holds too few allele items: fewer offspring are listed than the 5 of "
       "line 3, Offspring Sample Size, or a line is cut short!"},
      {{{kOff3, "O3 0 0 0 0 0"}}, "Offspring O3 has no genotype data and should be removed!"},
      {{{kOff3, "O1 102 102 8 8 0"}}, "Offspring 3 has the same ID, O1, as offspring 1"},
      {{{kOff2, "ABCDEFGHIJKLMNOPQRSTUVWXYZ2 101 101 7 8 2"}, {kOff4, "ABCDEFGHIJKLMNOPQRST999 101 102 7 0 1"}},
       "Offspring 4 has the same ID, ABCDEFGHIJKLMNOPQRST, as offspring 2 once identifiers are cut to 20 "
       "characters (ABCDEFGHIJKLMNOPQRST999, ABCDEFGHIJKLMNOPQRSTUVWXYZ2)"},
      {{{kOff3, "<EOF>"}}, "Data or data format error in IDs and genotypes of offspring: 3"},
      {{{kOff4, "O4 101 102 7"}, {kOff4 + 1, "<EOF>"}},
       "Data or data format error in IDs and genotypes of offspring: 4"},
      {{{kHaplo, "1"}, {kOff2, "O2 101 -99 7 8 2"}},
       "Offspring O2 has incorrect genotypes: Unable to determine its ploidy!"},
      {{{kHaplo, "1"}, {kMarkerTypes, "1@"}, {kOff1, "O1 3 1 2 1"}}, "Offspring O1 has incorrect ploidy!"},
  });
}

TEST_F(ReadDataSections, CandidateChecks) {
  RunCases({
      {{{kProportions, "0.0005 0.5"}},
       "Probability of a parent included in candidates should be in the range [0.001, 1]!"},
      {{{kProportions, "0.5 half"}}, "Error in reading Proportions of parents sampled"},
      {{{kCandidates, "-1 2"}}, "Number of candidates should be >= 0!"},
      {{{kCandidates, "2 32768"}}, "Number of candidates should be <= 32767!"},
      {{{kCandidates, "2 x"}}, "Error in reading Numbers of candidate parents"},
      {{{kSexes, "1"}, {kCandidates, "2 1"}},
       "For monoecious, numbers of candidate fathers and mothers should be equal!"},
      {{{kFather2, "<EOF>"}}, "Error in reading the ID and genotypes of male candidate 2"},
      {{{kMother2, "<EOF>"}}, "Error in reading the ID and genotypes of female candidate 2"},
      {{{kCandidates, "2 3"}},
       "Line 36, read as female candidate 3, holds too few allele items: fewer female candidates are "
       "listed than the 3 given in Numbers of candidate parents, or a line is cut short!"},
      {{{kHaplo, "1"}, {kOff1, "O1 101 -99 7 -99 1"}, {kMother1, "M1 101 -99 7 8 1"}},
       "Candidate female M1 has incorrect allele at locus 1: -99"},
      {{{kMother2, "F2 102 101 8 8 0"}},
       "Candidate male 2 and candidate female 2 have the same ID, F2, which is impossible for a dioecious "
       "species!"},
      {{{kFather2, "*1 102 102 8 8 2"}},
       "Candidate male 2 has the ID *1, the name the result files give an unsampled father: the two could "
       "not be told apart!"},
      {{{kMother1, "#12 101 101 7 8 1"}},
       "Candidate female 1 has the ID #12, the name the result files give an unsampled mother: the two "
       "could not be told apart!"},
      {{{kFather2, "F2 102 y 8 8 2"}}, "Candidate male F2 has incorrect allele at locus 1: y"},
      {{{kFather2, "F2 102 102 8 8 5"}},
       "Candidate male F2 at dominant locus 3 has an illegal genotype", kConvert},
      {{{kFather2, "F1 102 102 8 8 2"}}, "Candidate male 2 has the same ID, F1, as candidate 1"},
      {{{kFather2, "O1 101 102 7 7 2"}},
       "Candidate male 2 and offspring 1 have the same individual ID, O1, but have different genotypes!"},
      {{{kFather2, "O3 102 102 8 8 0"}, {kMother2, "O3 102 102 8 8 0"}},
       "Candidate female 2 and offspring 3 has the same individual ID, O3, which is impossible!"},
      {{{kSexes, "1"}},
       "Candidate father F1 and candidate mother M1 should have the same ID for monoecious!"},
      {{{kSexes, "1"}, {kMother1, "F1 101 101 7 8 1"}, {kMother2, "F2 102 102 8 8 2"}},
       "Candidate father F1 and candidate mother F1 should have the same genotype for monoecious!"},
  });
}

TEST_F(ReadDataSections, VariantsOfTheBase) {
  const Variables& v = variables;
  const std::vector<std::pair<Edits, std::function<void()>>> cases = {
      {{{kPrior, "4\n500, 1.0E-8"}}, [&] { EXPECT_EQ(v.ewenmeannumprnt(2), 1e-8); }},
      {{{kSeed, "2147483647"}, {kRuns, "2147483647"}, {kInterval, "2147483647"}},
       [&] {
         const int32_t top = 2147483647;
         EXPECT_EQ(std::tuple(v.i_seed, v.numrun, v.monitorinterval), std::tuple(top, top, top));
       }},
      {{{kMarkerIds, "'Locus @'"}, {kDropout, "2e-2@"}},
       [&] { EXPECT_EQ(std::tuple(v.markerid(3), v.droprate(3)), std::tuple("Locus 3", 0.02)); }},
      // Blank lines are skipped and a read may span lines.
      {{{kMatings, "0\n3   ! matings of females on a line of their own"}, {kMarkerIds, "   \t \n\nMK@"}},
       [&] { EXPECT_EQ(std::tuple(v.maxmatings(1), v.maxmatings(2), v.allowclone), std::tuple(4, 3, 0)); }},
      // Known frequencies stand between lines 14 and 15 and turn updating off.
      {{{kKnownFreq, Known(kFrequencies)}, {kUpdate, "1"}},
       [&] {
         EXPECT_EQ(std::tuple(v.popallelefreknownq, v.updateallelefre, v.numrun, v.popnumallele(2),
                              v.popallele(2, 1), v.popallelefre(1, 3)),
                   std::tuple(1, 0, 2, 2, 102, 0.7));
       }},
      {{{kOutput, "'  my run  '   ! comment"}}, [&] { EXPECT_EQ(v.fname, "my run"); }},
      // A candidate may share an offspring's identifier and genotype.
      {{{kFather2, "O3 102 102 8 8 0"}, {kExclPaternity1, "O3 1 F1"}}, [&] { EXPECT_EQ(v.cndparentid(1)(2), "O3"); }},
      // O1 haploid; O3 missing at locus 1 and diploid at locus 2; a haploid
      // male candidate is written like a haploid offspring.
      {{{kHaplo, "1"}, {kOff1, "O1 101 -99 7 -99 1"}, {kOff3, "O3 102 0 8 8 0"}, {kFather1, "F1 101 -99 7 -99 1"},
        {kPaternityPair, "O2 F1"}, {kPatSib1, "2 O2 O4"}},
       [&] {
         EXPECT_EQ(std::tuple(v.ploidy(1), v.offploid(1), v.offploid(3), v.smplsizedh(1), v.smplsizedh(2)),
                   std::tuple(1, 1, 2, 1, 3));
         using P = std::pair<int32_t, int32_t>;
         EXPECT_EQ(std::tuple(StoredAlleles(0, 1, 1), StoredAlleles(0, 3, 1), StoredAlleles(1, 1, 2)),
                   std::tuple(P{1, 1}, P{0, 0}, P{1, 1}));
       }},
  };
  for (const auto& [edits, check] : cases) {
    SCOPED_TRACE(edits.front().second);
    Reset();
    Read(Join(Edited(edits)));
    check();
  }
}

TEST_F(ReadDataSections, RelationshipChecks) {
  RunCases({
      {{{kPaternityPair, "O9 F1"}}, "Offspring ID, O9, not found in the offspring pool!"},
      {{{kPaternityPair, "O1 F9"}}, "Candidate ID, F9, not found in the male candidate pool!"},
      {{{kMaternityPair, "O2 M9"}}, "Candidate ID, M9, not found in the female candidate pool!"},
      {{{kPaternity, "-1 0"}}, "Error in reading known paternity"},
      {{{kMaternity, "one 0"}}, "Error in reading known maternity"},
      {{{kPaternity, "2 0"}, {kPaternityPair, "O1 F1\nO1 F2"}},
       "Offspring O1 is listed more than once in the known paternity section!"},
      {{{kHaplo, "1"}, {kOff1, "O1 101 -99 7 -99 1"}},
       "Haploid offspring O1 has a known father, F1, which is impossible!"},
      {{{kPatSibs, "several"}}, "\nAn integer expected for number of known sibship, but reads \"several\""},
      {{{kPatSib1, "999999999 O1 O2"}}, "Error in reading known paternal sibship"},
      {{{kPatSibs, "2"}, {kPatSib1, "2 O1 O2\n2 O3 O2"}},
       "Offspring O2 is listed more than once in the known paternal sibships!"},
      {{{kHaplo, "1"}, {kOff1, "O1 101 -99 7 -99 1"}, {kPaternity, "0 0"}, {kPaternityPair, ""}},
       "Haploid offspring O1 has a known paternal sibship, which is impossible!"},
      {{{kMatSibs, "<EOF>"}}, "Error in reading known maternal sibship"},
      {{{kExclPaternity, "2"}, {kExclPaternity1, "O3 1 F2\nO3 1 F2"}},
       "Excluded candidate, F2, for offspring O3 is repeated!"},
      {{{kExclPaternity1, "O3 3 F1 F2 F1"}}, "Error in reading known excluded paternity"},
      {{{kExclMaternity, "<EOF>"}}, "Error in reading known excluded maternity"},
      {{{kExclPatSib1, "O9 1 O3"}},
       "Offspring ID, O9, in excluded sibship section not found in the offspring pool!"},
      {{{kExclPatSib1, "O4 1 O9"}},
       "Offspring ID, O9, in excluded sibship section not found in offspring pool!"},
      {{{kExclPatSibs, "-3"}}, "Error in reading known excluded paternal sibship"},
      {{{kExclMatSibs, "<EOF>"}}, "Error in reading known excluded maternal sibship"},
  });
}

TEST_F(ReadDataSections, MismatchAllowanceOfKnownParents) {
  // O3 (102 102, 8 8) and F1 (101 102, 7 7) differ at locus 2 only; F2 made
  // 101 101, 7 7 differs at loci 1 and 2, and every mismatch is counted.
  struct Allowance {
    std::string line, pair;
    int32_t father;
    std::string warning;
  };
  const std::string f1 = "Known father F1 of offspring O3 mismatches at 1 locus, more than the allowance of 0";
  for (const auto& c : std::vector<Allowance>{{"1 0", "O3 F1", -1, f1 + ": not taken as known"},
                                              {"1 1", "O3 F1", 1, ""},
                                              {"1 0", "O3 F2", -1,
                                               "Known father F2 of offspring O3 mismatches at 2 loci, more than the "
                                               "allowance of 0: not taken as known"}}) {
    SCOPED_TRACE(c.line + " " + c.pair);
    Reset();
    Read(Join(Edited({{kPaternity, c.line}, {kPaternityPair, c.pair}, {kFather2, "F2 101 101 7 7 2"}})));
    EXPECT_EQ(variables.indivparent(3, 1), c.father);
    EXPECT_EQ(variables.numknownprnt(1), c.father > 0 ? 1 : 0);
    EXPECT_EQ(variables.inputwarnings, c.warning.empty() ? std::vector<std::string>{} : std::vector{c.warning});
  }
}

TEST_F(ReadDataSections, WarningsAreKeptAndShownByProcessZeroOnly) {
  const std::vector<std::string> warnings = {
      "Identifier ABCDEFGHIJKLMNOPQRSTUVWXYZ4 of offspring 4 is longer than 20 characters: cut to "
      "ABCDEFGHIJKLMNOPQRST",
      "Identifier M2_with_a_long_identifier of candidate female 2 is longer than 20 characters: cut to "
      "M2_with_a_long_ident"};
  const Edits longids = {{kOff4, "ABCDEFGHIJKLMNOPQRSTUVWXYZ4 101 102 7 0 1"},
                         {kExclPatSib1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ4 1 O3"},
                         {kMother2, "M2_with_a_long_identifier 102 101 8 8 0"}};
  for (int32_t threadid : {0, 1}) {
    Reset();
    variables.threadid = threadid;
    variables.displayq = 1;
    ::testing::internal::CaptureStdout();
    Read(Join(Edited(longids)));
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(variables.inputwarnings, warnings);
    for (const auto& w : warnings) EXPECT_EQ(shown.find(w + "\n") != std::string::npos, threadid == 0) << w;
  }
}

TEST_F(ReadDataSections, TheAllele128OfALocusStops) {
  auto lines = BaseLines();
  lines[kSample] = "64";
  lines[kLoci] = "1";
  lines[kMarkerTypes] = lines[kDropout] = lines[kOtherError] = "0";
  std::string offspring;
  for (int i = 1; i <= 64; ++i) {
    offspring += "X" + std::to_string(i) + " " + std::to_string(2 * i - 1) + " " + std::to_string(2 * i);
    if (i < 64) offspring += "\n";
  }
  lines[kOff1] = offspring;
  lines[kOff2] = lines[kOff3] = lines[kOff4] = "";
  EXPECT_EQ(StopText(Join(lines)),
            "The observed # alleles at locus 1 > 127!\nProgram stopped in subroutine ConvertGenotype, dataset = testrun.\n");
}

}  // namespace
