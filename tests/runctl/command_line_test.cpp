// Command-line options: values and the messages for arguments that are
// ignored.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "runctl/command_line.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class CommandLineTest : public PedkinTest {
 protected:
  // Parses args on fresh state and returns what was shown on the screen; an
  // ignored argument pauses for `pause` seconds.
  std::string Parse(std::vector<std::string> args, int32_t pause = 0) {
    variables = Variables{};
    variables.commandargs = std::move(args);
    variables.ignoredpauseseconds = pause;
    ::testing::internal::CaptureStdout();
    GetCommands();
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(CommandLineTest, EveryOptionCodeSetsItsValue) {
  const std::string path = "IFN:" + std::string(400, 'd') + "/my project.dat";
  EXPECT_EQ(Parse({path, "RCS:1", "OFN:out/run1", "CHK:3", "RND:-77", "RST:0", "CKM:2", "ARC:0", "ERR:0",
                   "AFE:0", "SYS:9", "SIM:4"}),
            "");
  const Variables& v = variables;
  EXPECT_EQ(std::tuple(v.inputfilename, v.outputfilename), std::tuple(path.substr(4), "out/run1"));
  EXPECT_EQ(std::tuple(v.runcutshortq, v.chkconfig, v.newseed, v.restart, v.checkmode, v.iarchive,
                       v.errestimate, v.allelefreest, v.systemrun, v.simuq),
            std::tuple(1, 3, -77, 0, 2, 0, 0, 0, 9, 1));
  Parse({"RND:2147483647"});
  EXPECT_EQ(variables.newseed, 2147483647);
  Parse({"RND:5", "", "OFN:late"});
  EXPECT_EQ(variables.newseed, 5);
  EXPECT_EQ(variables.outputfilename, "");
}

TEST_F(CommandLineTest, IgnoredArgumentsAreReported) {
  const auto bad = [](const std::string& arg) {
    return "Error in reading parameters from keyboard! Original input: " + arg + ". The command is ignored!\n";
  };
  const auto unknown = [](const std::string& arg) { return "Run option " + arg + " unrecognized: ignored!\n"; };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"OFN:first", "OFN:second"},
       "Repeated parameter values from keyboard! Original input: OFN:second. The command is ignored!\n"},
      {{"RND:abc"}, bad("RND:abc")},
      {{"RND:99999999999"}, bad("RND:99999999999")},
      {{"project.dat"}, unknown("project.dat")},
      {{"ifn:lower.dat"}, unknown("ifn:lower.dat")},
      {{"?"}, ""},
  };
  for (const auto& [args, shown] : cases) EXPECT_EQ(Parse(args), shown) << args.back();
  // The first value of a repeated option stays; a bad seed keeps the
  // default and still counts as given.
  Parse({"OFN:first", "OFN:second", "RND:abc", "RND:12"});
  EXPECT_EQ(variables.outputfilename, "first");
  EXPECT_EQ(variables.newseed, 0);
  EXPECT_EQ(Variables{}.ignoredpauseseconds, 1);
  const auto start = std::chrono::steady_clock::now();
  Parse({"?"}, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
}

TEST_F(CommandLineTest, ProcessIdSilencesEveryProcess) {
  EXPECT_EQ(Parse({"TID:1", "bogus_argument"}), "");
  EXPECT_EQ(variables.displayq, 0);
  EXPECT_EQ(variables.screenq, 0);
  EXPECT_EQ(variables.showq, 0);
  Parse({"TID:0"});
  EXPECT_EQ(variables.displayq, 1);
  EXPECT_EQ(variables.screenq, 0);
  EXPECT_EQ(variables.showq, 0);
  variables = Variables{};
  variables.threadid = 1;
  variables.commandargs = {"bogus_argument"};
  ::testing::internal::CaptureStdout();
  GetCommands();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(variables.displayq, 0);
}

}  // namespace
