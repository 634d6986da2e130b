// Entry point of every Wine test executable: common controls, then
// GoogleTest; or, started so, the plug-in worker of its tests.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/win/support/fixture_stats_reader.h"
#include "worker/worker_serve.h"

int main(int argc, char** argv) {
  // The program the tests run in serves as its own plug-in worker.
  if (worker::StartedAsWorker()) worker::Serve();
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  mvtest::TagFixtureStats();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
