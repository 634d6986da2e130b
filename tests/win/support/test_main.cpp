// Entry point of every Wine test executable: common controls, then GoogleTest.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/win/support/fixture_stats_reader.h"

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  mvtest::TagFixtureStats();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
