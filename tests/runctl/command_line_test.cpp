// Command-line options: values, defaults and the messages for arguments that
// are ignored.
#include <gtest/gtest.h>

#include <chrono>

#include "runctl/command_line.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class CommandLineTest : public PedkinTest {
 protected:
  // Parses args and returns what was shown on the screen; an ignored
  // argument pauses for `pause` seconds.
  std::string Parse(std::vector<std::string> args, int32_t pause = 0) {
    variables.commandargs = std::move(args);
    variables.ignoredpauseseconds = pause;
    ::testing::internal::CaptureStdout();
    GetCommands();
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(CommandLineTest, DefaultsWithoutArguments) {
  EXPECT_EQ(Parse({}), "");
  EXPECT_EQ(variables.inputfilename, "pedkin2.dat");
  EXPECT_EQ(variables.outputfilename, "");
  EXPECT_EQ(variables.runcutshortq, 0);
  EXPECT_EQ(variables.chkconfig, 0);
  EXPECT_EQ(variables.newseed, 0);
  EXPECT_EQ(variables.restart, 1);
  EXPECT_EQ(variables.checkmode, 0);
  EXPECT_EQ(variables.igui, 0);
  EXPECT_EQ(variables.iarchive, 1);
  EXPECT_EQ(variables.errestimate, 1);
  EXPECT_EQ(variables.allelefreest, 1);
  EXPECT_EQ(variables.systemrun, 0);
  EXPECT_EQ(variables.simuq, 0);
  EXPECT_EQ(variables.displayq, 1);
  EXPECT_EQ(variables.screenq, 1);
  EXPECT_EQ(variables.showq, 1);
  EXPECT_EQ(variables.lineform, Variables::LineForm::NoAdvance);
}

TEST_F(CommandLineTest, EveryOptionCodeSetsItsValue) {
  EXPECT_EQ(Parse({"IFN:my project.dat", "RCS:1", "OFN:out/run1", "CHK:3", "RND:-77", "RST:0",
                   "CKM:2", "ARC:0", "ERR:0", "AFE:0", "SYS:9", "SIM:4"}),
            "");
  EXPECT_EQ(variables.inputfilename, "my project.dat");
  EXPECT_EQ(variables.runcutshortq, 1);
  EXPECT_EQ(variables.outputfilename, "out/run1");
  EXPECT_EQ(variables.chkconfig, 3);
  EXPECT_EQ(variables.newseed, -77);
  EXPECT_EQ(variables.restart, 0);
  EXPECT_EQ(variables.checkmode, 2);
  EXPECT_EQ(variables.iarchive, 0);
  EXPECT_EQ(variables.errestimate, 0);
  EXPECT_EQ(variables.allelefreest, 0);
  EXPECT_EQ(variables.systemrun, 9);
  EXPECT_EQ(variables.simuq, 1);
  // The largest 32-bit seed is a seed like any other.
  variables = Variables{};
  EXPECT_EQ(Parse({"RND:2147483647"}), "");
  EXPECT_EQ(variables.newseed, 2147483647);
}

TEST_F(CommandLineTest, ValueRules) {
  struct Case {
    std::vector<std::string> args;
    int32_t runcutshortq, simuq, igui, showq;
    Variables::LineForm lineform;
  };
  const std::vector<Case> cases = {
      {{"RCS:2"}, 0, 0, 0, 1, Variables::LineForm::NoAdvance},
      {{"RCS:1 "}, 1, 0, 0, 1, Variables::LineForm::NoAdvance},
      {{"SIM:0"}, 0, 0, 0, 1, Variables::LineForm::NoAdvance},
      {{"SIM:-3"}, 0, 0, 0, 1, Variables::LineForm::NoAdvance},
      {{"GUI:1"}, 0, 0, 1, 0, Variables::LineForm::Advance},
      {{"GUI:2"}, 0, 0, 2, 1, Variables::LineForm::NoAdvance},
  };
  for (const auto& c : cases) {
    variables = Variables{};
    Parse(c.args);
    EXPECT_EQ(variables.runcutshortq, c.runcutshortq) << c.args[0];
    EXPECT_EQ(variables.simuq, c.simuq) << c.args[0];
    EXPECT_EQ(variables.igui, c.igui) << c.args[0];
    EXPECT_EQ(variables.showq, c.showq) << c.args[0];
    EXPECT_EQ(variables.lineform, c.lineform) << c.args[0];
  }
}

TEST_F(CommandLineTest, IgnoredArgumentsAreReported) {
  struct Case {
    std::vector<std::string> args;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {{"OFN:first", "OFN:second"},
       "Repeated parameter values from keyboard! Original input: OFN:second. The command is "
       "ignored!\n"},
      {{"RND:abc"},
       "Error in reading parameters from keyboard! Original input: RND:abc. The command is "
       "ignored!\n"},
      {{"RND:5.0"},
       "Error in reading parameters from keyboard! Original input: RND:5.0. The command is "
       "ignored!\n"},
      {{"RND:"},
       "Error in reading parameters from keyboard! Original input: RND:. The command is "
       "ignored!\n"},
      {{"RND:99999999999"},
       "Error in reading parameters from keyboard! Original input: RND:99999999999. The command "
       "is ignored!\n"},
      {{"project.dat"}, "Run option project.dat unrecognized: ignored!\n"},
      {{"XYZ:1"}, "Run option XYZ:1 unrecognized: ignored!\n"},
      {{"ifn:lower.dat"}, "Run option ifn:lower.dat unrecognized: ignored!\n"},
      {{"?"}, ""},
  };
  for (const auto& c : cases) {
    variables = Variables{};
    EXPECT_EQ(Parse(c.args), c.shown) << c.args.back();
  }
  // The first value of a repeated option stays; a bad seed keeps the default.
  variables = Variables{};
  Parse({"OFN:first", "OFN:second", "RND:abc"});
  EXPECT_EQ(variables.outputfilename, "first");
  EXPECT_EQ(variables.newseed, 0);
}

TEST_F(CommandLineTest, RepeatedBadIntegerCountsAsGiven) {
  Parse({"RND:abc", "RND:12"});
  EXPECT_EQ(variables.newseed, 0);
}

TEST_F(CommandLineTest, IgnoredArgumentPausesOneSecond) {
  EXPECT_EQ(Variables{}.ignoredpauseseconds, 1);
  const auto start = std::chrono::steady_clock::now();
  Parse({"?"}, 1);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(990));
}

TEST_F(CommandLineTest, ProcessIdSilencesEveryProcess) {
  EXPECT_EQ(Parse({"TID:1", "bogus_argument"}), "");
  EXPECT_EQ(variables.displayq, 0);
  EXPECT_EQ(variables.screenq, 0);
  EXPECT_EQ(variables.showq, 0);

  variables = Variables{};
  Parse({"TID:0"});
  EXPECT_EQ(variables.displayq, 1);
  EXPECT_EQ(variables.screenq, 0);
  EXPECT_EQ(variables.showq, 0);

  // Other ranks show nothing by default.
  variables = Variables{};
  variables.threadid = 1;
  EXPECT_EQ(Parse({"bogus_argument"}), "");
  EXPECT_EQ(variables.displayq, 0);
}

TEST_F(CommandLineTest, LongArgumentsAreKeptWhole) {
  const std::string path = "IFN:" + std::string(400, 'd') + "/project.dat";
  Parse({path, "OFN:" + std::string(300, 'o')});
  EXPECT_EQ(variables.inputfilename, path.substr(4));
  EXPECT_EQ(variables.outputfilename, std::string(300, 'o'));
}

TEST_F(CommandLineTest, EmptyArgumentEndsTheList) {
  Parse({"RND:5", "", "OFN:late"});
  EXPECT_EQ(variables.newseed, 5);
  EXPECT_EQ(variables.outputfilename, "");
}

}  // namespace
