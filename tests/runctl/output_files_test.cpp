// The output name's files: never the project file, locked against a second
// run, and no result left by a stop that could pass for this run's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "input/read_data.h"
#include "runctl/error_stop.h"
#include "runctl/file_io.h"
#include "runctl/output_files.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using OutputFilesTest = PedkinTest;

std::vector<std::string> Listing() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(".")) files.push_back(e.path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

// The refusal cannot go to the error-message file when that is the project:
// it goes to the screen. (Paths and links run in the whole-program test.)
TEST_F(OutputFilesTest, ProjectFileIsNeverAnOutput) {
  variables.displayq = 0;
  const std::string project = "data\nx\n3\n";
  WriteFile(kErrorMessageFile, project);
  const std::vector<std::string> before = Listing();
  variables.inputfilename = kErrorMessageFile;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(ReadData(), ErrorStop);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Output file Pedkin2.ErrorMessage would overwrite the project file Pedkin2.ErrorMessage! "
                     "Please choose another output name than x."),
            std::string::npos)
      << err;
  EXPECT_EQ(ReadFile(kErrorMessageFile), project);
  EXPECT_EQ(Listing(), before);
}

TEST_F(OutputFilesTest, LockKeepsOffASecondRunAndIsTakenOverFromAGoneOne) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  variables.fname = "run";
  // Held by a live process (the test's parent): refused, the lock kept.
  const std::string held = std::to_string(::getppid()) + " " + host + "\n";
  WriteFile("run.Lock", held);
  EXPECT_EQ(ExpectStop([] { ClaimOutputName(); }),
            "Output name run is in use by another run (process " + std::to_string(::getppid()) + " on " +
                host + ", lock file run.Lock). Wait until it ends, or delete run.Lock if no run is using it.\n"
                       "Program stopped in subroutine ClaimOutputName, dataset = run.\n");
  EXPECT_EQ(ReadFile("run.Lock"), held);
  EXPECT_TRUE(variables.outputlock.empty());
  // Left by a process that has ended but is not reaped yet: taken over.
  const pid_t zombie = ::fork();
  if (zombie == 0) ::_exit(0);
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT);  // ended, still unreaped
  WriteFile("run.Lock", std::to_string(zombie) + " " + host + "\n");
  ClaimOutputName();
  ReleaseOutputName();
  EXPECT_FALSE(Exists("run.Lock"));
  ::waitpid(zombie, nullptr, 0);
  // A process that is gone (a stale lock is taken over end to end).
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  // Temporaries of killed runs go when the name is taken, a lock temporary
  // only when its process is gone; other files stay.
  const std::string gone = std::to_string(child) + " " + host + "\n";
  WriteFile("run.Lock", gone);
  for (const char* left :
       {"run.MidResult2.tmp12", "run.BestConfig.tmp7", "run.HSDyadLogL.tmp", "run.MidResult3.Run2.tmp3"}) {
    WriteFile(left, "half");
  }
  WriteFile("run.Lock.tmp" + std::to_string(child), gone);
  WriteFile("run.Lock.tmp1", held);
  WriteFile("run.Notes.tmp4", "mine");
  WriteFile("run.BestConfig.tmpx", "mine");
  ClaimOutputName();
  ReleaseOutputName();
  std::filesystem::remove(kErrorMessageFile);  // of the refusal above
  EXPECT_EQ(Listing(), (std::vector<std::string>{"run.BestConfig.tmpx", "run.Lock.tmp1", "run.Notes.tmp4"}));
}

TEST_F(OutputFilesTest, StopLeavesNoResultThatLooksCurrent) {
  struct Case {
    int32_t resumed, writing;
    bool kept;
  };
  // A fresh run's stop removes earlier results; a resumed run keeps those of
  // the same input, unless the stop came while they were rewritten.
  for (const Case& c : {Case{0, 0, false}, Case{1, 0, true}, Case{1, 1, false}}) {
    ResetState();
    variables.displayq = 0;
    variables.fname = "r";
    variables.numthreads = 2;
    ClaimOutputName();
    variables.resumedrun = c.resumed;
    variables.writingresults = c.writing;
    for (const char* f : {"r.BestConfig", "r.BestCluster", "r.OffGenotype1", "r.MidResult2"}) WriteFile(f, "x\n");
    ExpectStop([] { StopWithMessage("Failed to write file r.ErrorRate", "AtomicTextFile"); });
    for (const char* f : {"r.BestConfig", "r.BestCluster", "r.OffGenotype1"}) EXPECT_EQ(Exists(f), c.kept);
    EXPECT_TRUE(Exists("r.MidResult2"));  // the checkpoint serves the next run
    EXPECT_FALSE(Exists("r.Lock"));
    EXPECT_TRUE(Exists(kErrorMessageFile));
  }
  ResetState();
  variables.displayq = 0;
  std::filesystem::remove(kErrorMessageFile);
  std::filesystem::create_symlink("/dev/full", kErrorMessageFile);
  variables.errmsg(1) = "Disk full";
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(StopOnError(1, "X"), ErrorStop);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Disk full\nProgram stopped in subroutine X"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(kErrorMessageFile)));
}

}  // namespace
