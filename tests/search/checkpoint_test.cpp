// The saved state of the search: read back whole, the random streams going
// on as if never interrupted, and any fault of the file refused untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "numeric/random.h"
#include "search/archive.h"
#include "search/checkpoint.h"
#include "search/configuration.h"
#include "state/annealvariables.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/columns.h"
#include "support/fixture.h"

namespace {

void Put(std::ostream& out, const Mat1<int32_t>& m) {
  out << m.rows() << 'x' << m.cols() << ':';
  for (std::size_t j = 1; j <= m.cols(); ++j) {
    for (std::size_t i = 1; i <= m.rows(); ++i) out << m(static_cast<long>(i), static_cast<long>(j)) << ',';
  }
  out << '\n';
}

template <class C>
void PutAll(std::ostream& out, const C& values) {
  for (const auto& x : values) out << +x << ',';
  out << '\n';
}

// Everything the saved state restores, as text, for readable differences.
std::string Describe() {
  const Variables& v = variables;
  std::ostringstream out;
  out.precision(17);
  const AnnealVariables& a = annealvariables;
  for (const Mat1<int32_t>* m : {&v.CrIndivLoc, &v.BtIndivLoc, &v.InferParent, &v.BtInferParent, &a.OffspringTrials}) {
    Put(out, *m);
  }
  PutAll(out, v.CrNumFamily);
  PutAll(out, v.BtNumFamily);
  PutAll(out, v.BtNumAssign);
  PutAll(out, std::vector<double>{v.bestlogl, v.MinLogLikelihood, v.btloglikelihood, v.BtConfigPrior,
                                  v.CrLogLikelihood});
  for (double x : v.CrFamilyLogL) out << x << ',';
  out << '\n' << v.idum << ',' << v.ran1ix << ',' << v.ran1iy << ',' << v.idum2 << ',' << v.idum3 << ','
      << v.idumiy << ',' << v.gasdeviset << ',' << v.irbitiseed << '\n';
  PutAll(out, v.idumiv);
  for (float x : {v.gasdevgset, v.poidevoldm, v.poidevsq, v.poidevalxm, v.poidevg}) out << x << ',';
  out << '\n';
  for (const auto& locus : likelihoodvar.obsallelefre) {
    for (double p : locus) out << p << ',';
    out << '\n';
  }
  for (const ConfigRecord& r : v.ConfigArchive) {
    out << r.logl << ' ' << r.numcluster << ' ' << r.signature << ' ' << r.fathersdense << r.mothersdense
        << '\n';
    for (const auto* codes : {&r.paternal, &r.maternal, &r.cluster, &r.fathers, &r.mothers}) PutAll(out, *codes);
  }
  return out.str();
}

auto Fields(const SearchCounters& c) {
  return std::tuple(c.tmr, c.runiterates, c.iters, c.nsucc, c.nsucclmt, c.nfail1, c.nfail2, c.iterlimit,
                    c.acceptedsince, c.nullmoves, c.improvements, c.tempimprovements, c.largestgain, c.T, c.S,
                    c.screentrials, c.screenpasses, c.rate, c.nextrecord, c.recordgap, c.recorditer, c.repeat,
                    c.archiving, c.finished);
}

std::vector<double> Draws() {
  return {ran1(), ran2(), GasDev(), PoiDev(20.0f), static_cast<double>(Irbit1())};
}


std::string Join(const std::vector<std::string>& lines, std::size_t count) {
  std::string text;
  for (std::size_t k = 0; k < count && k < lines.size(); ++k) text += lines[k] + "\n";
  return text;
}

class CheckpointTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    Variables& v = variables;
    v.fname = "proj";
    for (int k = 1; k <= 5; ++k) v.midfilename(k) = v.fname + ".MidResult" + static_cast<char>('1' + k);
    v.smplsize = 5;
    v.numrun = 3;
    v.krun = 2;
    v.numchild(1) = 2;
    v.numchild(2) = 1;
    likelihoodvar.obsallelefre.assign(2);
    likelihoodvar.obsallelefre(1) = {0.25, 0.75};
    likelihoodvar.obsallelefre(2) = {0.1, 0.2, 1.0 - 0.1 - 0.2};
    v.CrIndivLoc = Table({{1, 1, 2, 2, 3}, {1, 1, 1, 2, 2}, {1, 1, 1, 1, 1}});
    v.CrNumFamily = {{3, 2, 1}};
    v.InferParent = Table({{2, 2, 1, 1, 0}, {1, 1, 1, 0, 0}});
    v.CrLogLikelihood = -100.0 / 3.0;
    v.CrFamilyLogL.assign(5, 0.0);
    v.CrFamilyLogL(1) = v.CrLogLikelihood;
    v.BtIndivLoc = Table({{1, 2, 3, 4, 5}, {1, 1, 2, 2, 3}, {1, 1, 2, 2, 3}});
    v.BtNumFamily = {{5, 3, 3}};
    v.BtInferParent = Table({{0, 1, 0, 0, 2}, {0, 0, 1, 1, 0}});
    v.btloglikelihood = -30.1;
    v.BtConfigPrior = -2.0 / 7.0;
    v.BtNumAssign = {{2, 1, 2, 2}};
    v.bestlogl = -29.9;
    v.MinLogLikelihood = -39.9;
    annealvariables.OffspringTrials = Table({{1000, 1001, 1002, 1003, 1004}, {1010, 1011, 1012, 1013, 1014}});
    UseCurrentConfig();
    ArchiveConfigAdd(3, 1);
    UseBestConfig();
    ArchiveConfigAdd(3, 3);
    UseCurrentConfig();
    // Every generator away from its start, a normal deviate kept.
    v.idum = -7;
    v.idum3 = -11;
    Draws();
    c_ = {.tmr = 7, .runiterates = 123456789012, .iters = 4567, .nsucc = 890, .nsucclmt = 1000, .nfail1 = 12,
          .nfail2 = 345, .iterlimit = 2000, .acceptedsince = 6789, .nullmoves = 3, .improvements = 11,
          .tempimprovements = 2, .largestgain = 0.1 + 0.2, .T = 12.345678901234567, .S = 2.0 / 3.0,
          .screentrials = 5000, .screenpasses = 2500, .rate = 0.92 * 0.92, .timespent = 61.5, .nextrecord = 131072,
          .recordgap = 100000, .recorditer = 131000, .repeat = 5, .archiving = 1};
    MonitorRunStart();
  }

  // Another state, which a refused file must leave as it is.
  static void Scramble() {
    Variables& v = variables;
    v.CrIndivLoc = Table({{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}});
    v.InferParent = Table({std::vector<int32_t>(5, 0), std::vector<int32_t>(5, 0)});
    v.BtNumFamily = {{1, 1, 1}};
    v.bestlogl = -1e300;
    v.CrFamilyLogL(2) = 5.0;
    annealvariables.OffspringTrials(3, 2) = 1;
    v.ConfigArchive.pop_front();
    likelihoodvar.obsallelefre(1) = {0.5, 0.5};
    v.idum = -99;
    v.idumiv(5) = 17;
    v.gasdeviset = 0;
  }

  SearchCounters c_;
};

TEST_F(CheckpointTest, RoundTripRestoresTheSearchExactly) {
  SaveMidResult(c_);
  ASSERT_TRUE(Exists("proj.MidResult2"));
  const std::string saved = Describe();
  const std::vector<double> expected = Draws();
  Scramble();
  ASSERT_NE(Describe(), saved);
  SearchCounters c;
  ASSERT_TRUE(ReadMidResult(c, 5));
  EXPECT_EQ(Describe(), saved);
  EXPECT_EQ(Fields(c), Fields(c_));
  EXPECT_GE(c.timespent, c_.timespent);
  EXPECT_LT(c.timespent, c_.timespent + 60.0);
  EXPECT_EQ(Draws(), expected);
  EXPECT_EQ(SavedRunNumber(), 2);
}

TEST_F(CheckpointTest, CutForeignOrDamagedContentIsRefused) {
  SaveMidResult(c_);
  const std::vector<std::string> lines = SplitLines(ReadFile("proj.MidResult2"));
  auto at = [&](const std::string& tag) {
    return static_cast<std::size_t>(
        std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(tag, 0) == 0; }) -
        lines.begin());
  };
  // Refused: every cut, at whole lines and in the middle of a line, and
  // each case replacing one line.
  std::vector<std::pair<std::string, std::string>> refused;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    refused.emplace_back("cut at line " + std::to_string(k + 1), Join(lines, k));
    refused.emplace_back("line " + std::to_string(k + 1) + " cut short",
                         Join(lines, k) + lines[k].substr(0, lines[k].size() / 2));
  }
  auto replace = [&](const char* what, std::size_t line, const std::string& text) {
    ASSERT_LT(line, lines.size()) << what;
    std::vector<std::string> changed = lines;
    changed[line] = text;
    refused.emplace_back(what, Join(changed, changed.size()));
  };
  replace("offspring count", 0, "6");
  replace("run beyond the runs", at("run "), "run 4 5 0");
  replace("paternal family 0", at("CrIndivLoc") + 1, "0,1,2,2,3,");
  replace("cluster beyond its count", at("BtIndivLoc") + 3, "1,1,2,2,4,");
  replace("candidate beyond the candidates", at("BtInferParent") + 1, "0,1,0,0,3,");
  replace("family count beyond the sample", at("CrNumFamily"), "CrNumFamily 6,2,1,");
  replace("not a number", at("reals"), "reals 0.3 nan 1 1 1");
  replace("frequencies summing over 1.05", at("frequencies 2") + 1, "2,0.25,0.81,");
  replace("wrong number of alleles", at("frequencies 2") + 1, "3,0.25,0.75,0,");
  replace("record of another sample", at("archive 2") + 2, "1,1,2,2,");
  replace("binary bytes", at("loglikelihoods"), std::string("\x01\xff\x00 loglikelihoods", 18));
  replace("trailing matter", lines.size() - 1, "end 1");
  Scramble();
  const std::string state = Describe();
  SearchCounters c;
  c.tmr = 99;
  for (const auto& [what, text] : refused) {
    WriteFile("proj.MidResult2", text);
    EXPECT_FALSE(ReadMidResult(c, 5)) << what;
    EXPECT_EQ(SavedRunNumber(), 0) << what;
  }
  EXPECT_EQ(c.tmr, 99);
  EXPECT_EQ(Describe(), state);
  // Another run's state is whole but not this run's; no file at all is
  // the same as a fresh start.
  WriteFile("proj.MidResult2", Join(lines, lines.size()));
  variables.krun = 3;
  EXPECT_FALSE(ReadMidResult(c, 5));
  EXPECT_EQ(SavedRunNumber(), 2);
  // The state of another repeat of the run is not this repeat's either.
  variables.krun = 2;
  EXPECT_FALSE(ReadMidResult(c, 3));
  std::filesystem::remove("proj.MidResult2");
  EXPECT_FALSE(ReadMidResult(c, 5));
  EXPECT_EQ(SavedRunNumber(), 0);
  EXPECT_EQ(Describe(), state);
}

TEST_F(CheckpointTest, AlleleFrequenciesAndRepeatRoundTripAndAreCheckedWhenRead) {
  int32_t failed = 0, repeat = 9;
  ReadMidResult4(failed, repeat);  // a fresh start: no file
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(repeat, 0);
  const Vec1<std::vector<double>> saved = likelihoodvar.obsallelefre;
  WriteMidResult4(3);
  const std::string text = ReadFile("proj.MidResult4");
  EXPECT_EQ(text.substr(0, 53), "   2.50000000000000000E-01   7.50000000000000000E-01\n");
  EXPECT_EQ(text.substr(text.size() - 10), "        3\n");
  likelihoodvar.obsallelefre(1) = {0.5, 0.5};
  ReadMidResult4(failed, repeat);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(repeat, 3);
  EXPECT_EQ(likelihoodvar.obsallelefre.raw(), saved.raw());
  const std::vector<std::string> lines = SplitLines(text);
  const std::vector<std::vector<std::string>> damaged = {
      {lines[0], lines[1]},                                  // no repeat line
      {lines[0], lines[1].substr(0, 40), lines[2]},          // a locus cut short
      {lines[0] + " 0.0", lines[1], lines[2]},               // an allele too many
      {"0.25 0.75", "-0.002 0.5 0.5", lines[2]},             // below -0.001
      {"0.25 0.80001", lines[1], lines[2]},                  // sum over 1.05
      {lines[0], lines[1], "        0"},                     // repeat 0
      {lines[0], lines[1], lines[2], "1"},                   // trailing matter
  };
  likelihoodvar.obsallelefre(1) = {0.5, 0.5};
  for (const auto& d : damaged) {
    WriteFile("proj.MidResult4", Join(d, d.size()));
    repeat = 9;
    ReadMidResult4(failed, repeat);
    EXPECT_EQ(failed, 1) << Join(d, d.size());
    EXPECT_EQ(repeat, 0);
    EXPECT_EQ(likelihoodvar.obsallelefre(1), (std::vector<double>{0.5, 0.5}));
  }
  // Frequencies a little below 0 and summing a little over 1 are accepted.
  WriteFile("proj.MidResult4", "-0.0005 1.0005\n0.1 0.2 0.75\n5\n");
  ReadMidResult4(failed, repeat);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(repeat, 5);
}

}  // namespace
