// Recognition of an unchanged earlier execution and the clearing of the
// files of a changed one.
#include <gtest/gtest.h>

#include "input/data_preparation.h"
#include "input/resume.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

constexpr const char* kProject = "header\nO1 1 2 3 4\nO2 1 1 3 3\nO3 2 2 4 4\n";

class ResumeTest : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    WriteFile("project.dat", kProject);
    Prepare();
  }
  static void Prepare() {
    variables.inputfilename = "project.dat";
    variables.fname = "run";
    variables.smplsize = 3;
    variables.numloci = 2;
    variables.numrun = 2;
    Initialize();
  }
  static void LeaveFiles() {
    for (const char* s : {".MidResult2", ".MidResult6", ".PairCluster", ".SelfOutLogL", ".MidResult",
                          ".MidResult3.Run1", ".MidResult3.Run2", ".BestConfig", ".Ne"}) {
      WriteFile(std::string("run") + s, "old\n");
    }
    WriteFile("Pedkin2.ErrorMessage", "old\n");
  }
};

// An unchanged input resumed is run end to end by the whole-program test.
TEST_F(ResumeTest, AnyChangeStartsAfreshAndClearsEverything) {
  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const std::vector<Case> cases = {
      {"one genotype", [] { WriteFile("project.dat", "header\nO1 1 2 3 4\nO2 1 1 3 3\nO3 2 2 4 1\n"); }},
      {"the seed given on the command line", [] { variables.newseed = 77; }},
      {"a leading parameter", [] { variables.numsex = 1; }},
  };
  for (const auto& c : cases) {
    WriteFile("project.dat", kProject);
    variables = Variables{};
    variables.stoppauseseconds = 0;
    Prepare();
    CheckData();
    LeaveFiles();
    c.change();
    int32_t flag = 0;
    SetStartLoc(1, flag);
    EXPECT_EQ(flag, 0) << c.what;
    CheckData();
    for (const char* s : {".MidResult2", ".MidResult6", ".PairCluster", ".SelfOutLogL", ".MidResult",
                          ".MidResult3.Run1", ".MidResult3.Run2", ".BestConfig", ".Ne"}) {
      EXPECT_FALSE(Exists(std::string("run") + s)) << c.what << ": " << s;
    }
    EXPECT_FALSE(Exists("Pedkin2.ErrorMessage")) << c.what;
    SetStartLoc(1, flag);
    EXPECT_GT(flag, 0) << c.what;
  }
}

TEST_F(ResumeTest, DamagedSavedCopyNeverMatches) {
  CheckData();
  const std::string saved = ReadFile("run.GtypeData");
  WriteFile("run.GtypeData", saved.substr(0, saved.size() / 2));
  int32_t flag = 0;
  SetStartLoc(1, flag);
  EXPECT_EQ(flag, 0);
  // A whole identity with the other file left from another input.
  WriteFile("run.GtypeData", saved);
  SetStartLoc(1, flag);
  EXPECT_EQ(flag, 1);
  const std::string data = ReadFile("run.data");
  WriteFile("run.data", data + "1 2 3\n");
  SetStartLoc(1, flag);
  EXPECT_EQ(flag, 0);
}

}  // namespace
