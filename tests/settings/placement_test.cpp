// Where a dialog lands: centred on the cursor, kept inside the work area.
#include <gtest/gtest.h>

#include "framework/dialog.h"

namespace {

const platform::ScreenRect Work{0, 0, 1280, 994};  // a task bar at the bottom
const platform::ScreenRect Window{500, 500, 700, 601};  // 200 x 101

TEST(Placement, CentresOnCursorDroppingOddPixel) {
  int x = 0, y = 0;
  ComputePlacement(Work, Window, 640, 400, 0, 0, &x, &y);
  EXPECT_EQ(x, 540);
  EXPECT_EQ(y, 350);  // 101 / 2 = 50
  ComputePlacement(Work, Window, 640, 400, 8, 0, &x, &y);
  EXPECT_EQ(x, 548);
}

TEST(Placement, ClampsAtEachEdge) {
  int x = 0, y = 0;
  ComputePlacement(Work, Window, 1279, 993, 0, 0, &x, &y);
  EXPECT_EQ(x, 1080) << "right edge ends at the work area's right edge";
  EXPECT_EQ(y, 893);
  ComputePlacement(Work, Window, 0, 0, 0, 0, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  ComputePlacement(Work, Window, 1275, 10, 8, 0, &x, &y);
  EXPECT_EQ(x, 1080) << "the offset does not push it out";
}

TEST(Placement, WorkAreaNotAtOrigin) {
  const platform::ScreenRect work{100, 40, 900, 600};
  int x = 0, y = 0;
  ComputePlacement(work, Window, 90, 30, 0, 0, &x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 40);
}

// Only a window that starts out beyond the lower bound is pulled to it; one
// larger than the work area otherwise ends at the upper bound.
TEST(Placement, LargerThanWorkAreaTestsLowerBoundFirst) {
  const platform::ScreenRect work{0, 0, 150, 80};
  int x = 0, y = 0;
  ComputePlacement(work, Window, 10, 10, 0, 0, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  ComputePlacement(work, Window, 140, 70, 0, 0, &x, &y);
  EXPECT_EQ(x, -50);
  EXPECT_EQ(y, -21);
}

}  // namespace
