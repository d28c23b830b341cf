// The error stop: screen lines, the error-message file and exit status.
#include <gtest/gtest.h>

#include "runctl/error_stop.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using ErrorStopTest = PedkinTest;

TEST_F(ErrorStopTest, MessageLinesGoToScreenAndFile) {
  variables.fname = "myrun";
  variables.errmsg(1) = "First problem   ";
  variables.errmsg(3) = "Third line";
  variables.errmsg(5) = "     ";
  int32_t code = -1;
  ::testing::internal::CaptureStdout();
  const std::string file = ExpectStop([] { StopOnError(7, "ReadData"); }, &code);
  const std::string screen = ::testing::internal::GetCapturedStdout();
  const std::string expected =
      "First problem\nThird line\nProgram stopped in subroutine ReadData, dataset = myrun.\n";
  EXPECT_EQ(file, expected);
  EXPECT_EQ(screen, "\n" + expected);
  EXPECT_EQ(code, 7);
}

TEST_F(ErrorStopTest, VariantsWriteTheirFixedLines) {
  struct Case {
    std::function<void()> stop;
    std::string file;
  };
  const std::vector<Case> cases = {
      {[] { StopOnError(0, "Anneal"); },
       "Program stopped due to insufficient memory!\n"
       "Program stopped in subroutine Anneal, dataset = ds.\n"},
      {[] { StopOnDataError("  The number of loci should be > 0!   "); },
       "The number of loci should be > 0!\n\n"
       "Errors in DATA. Insufficient data or incorrect format.\n"
       "Please check DATA and format and then re-run the program\n"
       "Program stopped in subroutine StopOnDataError, dataset = ds.\n"},
      {[] { StackError("Indexx"); },
       "Program stops due to NSTACK too small in subroutine Indexx\n"
       "Program stopped in subroutine StackError, dataset = ds.\n"},
  };
  for (const auto& c : cases) {
    variables.errmsg = {};
    variables.fname = "ds";
    variables.displayq = 0;
    WriteFile(kErrorMessageFile, "stale content of an earlier stop\n");
    EXPECT_EQ(ExpectStop(c.stop), c.file);
  }
}

TEST_F(ErrorStopTest, ExitStatusIsNeverZero) {
  const std::vector<std::pair<int32_t, int>> cases = {
      {1, 1}, {0, 1}, {7, 7}, {255, 255}, {256, 1}, {257, 1}, {-1, 255}};
  for (const auto& [code, status] : cases) EXPECT_EQ(ExitStatusForCode(code), status) << code;
}

}  // namespace
