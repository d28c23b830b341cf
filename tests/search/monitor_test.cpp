// The monitoring report, the stop on request, and the progress log with
// its record schedule.
#include <gtest/gtest.h>

#include <tuple>
#include <string>
#include <vector>

#include "search/monitor.h"
#include "state/variables.h"
#include "support/columns.h"
#include "support/fixture.h"

namespace {

using Ints = std::vector<int32_t>;

class MonitorTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    Variables& v = variables;
    v.fname = "proj";
    v.krun = 2;
    // Offspring 6 is a haploid son: no father, a full-sib family of its
    // own. Current: 1,2 full sibs; 1-3 and 2-3 maternal, 3-4 paternal and
    // 4-5 maternal half sibs. Best: every offspring alone.
    v.smplsize = 6;
    v.haplodiploid = 1;
    v.offploid.assign(6, 2);
    v.offploid(6) = 1;
    v.numchild(1) = 2;
    v.numchild(2) = 1;
    v.CrIndivLoc = Table({{1, 1, 2, 2, 3, 4}, {1, 1, 1, 2, 2, 3}, {1, 1, 1, 1, 1, 2}});
    v.CrNumFamily = {{4, 3, 2}};
    v.InferParent = Table({{2, 2, 1, 1, 0, 0}, {1, 1, 1, 0, 0, 0}});
    v.CrLogLikelihood = -123.456;
    v.BtIndivLoc = Table({{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
    v.BtNumFamily = {{6, 6, 6}};
    v.BtInferParent = Table({Ints(6, 0), Ints(6, 0)});
    v.btloglikelihood = -120.5;
    c_ = {.tmr = 3, .runiterates = 4567, .iters = 400, .nsucc = 50, .nsucclmt = 200, .nfail1 = 7, .nfail2 = 9,
          .iterlimit = 10};
  }
  SearchCounters c_;
};

TEST_F(MonitorTest, ReportLines) {
  MonitorStart();
  MonitorRunStart();
  c_.timespent = 90.0;
  const std::vector<std::string> lines = MonitorReportLines(c_);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Run=2, Tmr=3, Itr=4567, NSucc=50, NSuccLmt=200, NFail1=7");
  EXPECT_EQ(lines[1], "NFail2=9, SucRate%=12.5000, SucLmt%=25.0000, FailLmt%=8.7500, IterLmt%=40.0000");
  EXPECT_EQ(lines[2], "CrLogL=-123.456, #F=4, 3, #FS=5, HSPair=4, FSPair=1, #AssgnC2, 1, #AssgnP4, 3");
  EXPECT_EQ(lines[3], "BtLogL=-120.5, #F=6, 6, #FS=6, HSPair=0, FSPair=0, #AssgnC0, 0, #AssgnP0, 0");
  const char* prefixes[] = {"  Current:D=", "Initiated:D=", "  Started:D="};
  for (int k = 0; k < 3; ++k) {
    const std::string& line = lines[static_cast<std::size_t>(4 + k)];
    EXPECT_EQ(line.rfind(prefixes[k], 0), 0u) << line;
    EXPECT_EQ(line.size(), 12u + 10u + 3u + 8u + (k == 2 ? 24u + 9u : 0u)) << line;
  }
  EXPECT_EQ(lines[6].substr(33), ", TotalRunningTime(Min)=1.50E+00 ");
}

TEST_F(MonitorTest, StopsWhenTheDataFileIsDeleted) {
  variables.monitorinterval = 10;
  variables.systemrun = 1;
  WriteFile("proj.data", "saved input\n");
  c_.runiterates = 20;
  EXPECT_TRUE(MonitorDue(c_));
  c_.runiterates = 25;
  std::filesystem::remove("proj.data");
  EXPECT_FALSE(MonitorDue(c_));  // only a due report looks
  c_.runiterates = 30;
  EXPECT_NE(ExpectStop([&] { MonitorDue(c_); }).find("Program stoped due to deletion of .data file\n"),
            std::string::npos);
}

TEST_F(MonitorTest, HeaderAndRecordLayout) {
  const std::string header =
      " Date     Time Run Tmr    NumIterate"
      "               CrLogL    Cr#F1    Cr#F2    Cr#F3    Cr#FS "
      "CrHSPair CrFSPair Cr#AssC1 Cr#AssC2 Cr#AssP1 Cr#AssP2"
      "               BtLogL    Bt#F1    Bt#F2    Bt#F3    Bt#FS "
      "BtHSPair BtFSPair Bt#AssC1 Bt#AssC2 Bt#AssP1 Bt#AssP2";
  EXPECT_EQ(MidResultHeader(), header);

  ClockStamp stamp;
  stamp.year = 2024, stamp.month = 3, stamp.day = 7, stamp.hour = 14, stamp.minute = 5, stamp.second = 9;
  const std::string record =
      "07/03 09/05/14   2   3          4567"
      "  -1.234560000000E+02        4        3        2        5"
      "        4        1        2        1        4        3"
      "  -1.205000000000E+02        6        6        6        6"
      "        0        0        0        0        0        0";
  EXPECT_EQ(ProgressRecordText(c_, stamp), record);
  EXPECT_EQ(record.size(), header.size());

  // A fresh log holds the header only, after the warnings of the input
  // reading; records are appended.
  WriteFile("proj.MidResult", "an older log\n");
  variables.inputwarnings = {"Known father F1 of offspring O1 mismatches at 3 loci"};
  WriteMidResultHeader();
  EXPECT_EQ(ReadFile("proj.MidResult"), "Warning: Known father F1 of offspring O1 mismatches at 3 loci\n" + header + "\n");
  variables.inputwarnings.clear();
  WriteMidResultHeader();
  MonitorRunStart();
  WriteMidResult(c_);
  WriteMidResult(c_);
  const std::string line = ProgressRecordText(c_, LastReportClock()) + "\n";
  EXPECT_EQ(ReadFile("proj.MidResult"), header + "\n" + line + line);
  // A record cut short by a killed run is ended before the next one.
  WriteFile("proj.MidResult", header + "\n" + line.substr(0, 20));
  WriteMidResult(c_);
  EXPECT_EQ(ReadFile("proj.MidResult"), header + "\n" + line.substr(0, 20) + "\n" + line);
  variables.fname = "no_such_directory/proj";
  EXPECT_NE(ExpectStop([&] { WriteMidResult(c_); }).find("no_such_directory/proj.MidResult"), std::string::npos);
}

TEST_F(MonitorTest, RecordScheduleDoublesUpToItsCapAndRestarts) {
  SearchCounters c;
  std::vector<int64_t> at;
  for (int64_t i = 1; i <= 431072; ++i) {
    if (ProgressRecordDue(c)) at.push_back(i);
  }
  std::vector<int64_t> expected;
  for (int64_t p = 1; p <= 131072; p *= 2) expected.push_back(p);
  for (int64_t p = 231072; p <= 431072; p += 100000) expected.push_back(p);
  EXPECT_EQ(at, expected);
  // Near 2147000000 the schedule's count starts again from 0, the next
  // record 100000 iterates on.
  c.recorditer = 2146949999;
  c.nextrecord = 2146950000;
  EXPECT_TRUE(ProgressRecordDue(c));
  EXPECT_EQ(std::tuple(c.recorditer, c.nextrecord), std::tuple(0, 100000));
  int64_t calls = 1;
  while (!ProgressRecordDue(c)) ++calls;
  EXPECT_EQ(calls, 100000);
  EXPECT_EQ(c.nextrecord, 200000);
}

}  // namespace
