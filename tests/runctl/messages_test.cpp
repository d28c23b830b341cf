// Text conversion, wall clock and progress indicator.
#include <gtest/gtest.h>

#include "runctl/messages.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using MessagesTest = PedkinTest;

// A real too wide for its field is shown as stars, as a fixed format would.
TEST_F(MessagesTest, RealTexts) {
  EXPECT_EQ(rtoc(3.14159, "%10.4f"), "3.1416");
  EXPECT_EQ(rtoc(12345.678, "%14.4E"), "1.2346E+04");
  EXPECT_EQ(rtoc(1e30, "%40.2f"), std::string(28, '*'));
}

TEST_F(MessagesTest, WallTimeKeepsIncreasingAcrossMidnights) {
  EXPECT_EQ(WallTimeFromClock(1, 23, 59, 59, 500), (23 * 3600 + 59 * 60 + 59) * 1000LL + 500);
  EXPECT_EQ(WallTimeFromClock(1, 0, 0, 1, 0), (24 * 3600 + 1) * 1000LL);
  EXPECT_EQ(WallTimeFromClock(0, 12, 0, 0, 0), 36 * 3600);
  EXPECT_EQ(WallTimeFromClock(2, 23, 0, 0, 999), 47 * 3600);
  EXPECT_EQ(WallTimeFromClock(1, 1, 0, 0, 0), 49 * 3600 * 1000LL);
  // Beyond 24.8 days the millisecond reading no longer fits 32 bits.
  ResetWallTimeDays();
  int64_t last = 0;
  for (int day = 0; day < 30; ++day) {
    WallTimeFromClock(1, 20, 0, 0, 0);
    last = WallTimeFromClock(1, 2, 0, 0, 0);
  }
  EXPECT_EQ(last, (30LL * 24 + 2) * 3600 * 1000);
  ResetWallTimeDays();
  const int64_t a = WallTime(1);
  const int64_t b = WallTime(1);
  EXPECT_LE(a, b);
}

TEST_F(MessagesTest, ProgressOverwritesItsLine) {
  int32_t counter = 0;
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 8; ++i) WriteProgress(counter, 2);
  WriteProgress(counter, 1, "Iterate 9");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\r/\r-\r\\\r|\rIterate 9");
  EXPECT_EQ(counter, 9);

  counter = 2147483640;
  WriteProgress(counter, 1000000);
  EXPECT_EQ(counter, 0);

  variables.displayq = 0;
  ::testing::internal::CaptureStdout();
  WriteProgress(counter, 1, "hidden");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(MessagesTest, ProgressForFrontEndIsOneItemPerLine) {
  variables.igui = 1;
  variables.lineform = Variables::LineForm::Advance;
  int32_t counter = 0;
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 3; ++i) WriteProgress(counter, 1, "text not shown");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), ".\n.\n.\n");

  // Without the line-advance form a dot stays on the line, and every 100
  // intervals the line ends.
  variables.lineform = Variables::LineForm::NoAdvance;
  counter = 0;
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 200; ++i) WriteProgress(counter, 2);
  const std::string shown = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(shown, std::string(99, '.') + ".\n");
}

}  // namespace
