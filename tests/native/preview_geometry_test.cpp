// The preview window's geometry: fitting, scrolling, the strip, centring.
#include <gtest/gtest.h>

#include "preview/preview_geometry.h"

using namespace mv;

TEST(FitClient, EdgeCasesWithScrollBarRoom) {
  const int vs = 17, hs = 16;  // distinct, to see which one was added
  auto fit = [&](int w, int h) {
    ClientFit f = FitClientToImage(w, h, vs, hs);
    return std::pair<int, int>(f.width, f.height);
  };
  EXPECT_EQ(fit(100, 50), (std::pair<int, int>(240, 180)));
  EXPECT_EQ(fit(800, 300), (std::pair<int, int>(640, 300 + hs)));
  EXPECT_EQ(fit(300, 1000), (std::pair<int, int>(300 + vs, 480)));
  EXPECT_EQ(fit(100, 1000), (std::pair<int, int>(240 + vs, 480)));
  EXPECT_EQ(fit(1000, 1000), (std::pair<int, int>(640, 480)));
  EXPECT_EQ(fit(640, 1000), (std::pair<int, int>(640, 480)));  // 640 is not cut and not below 640
  EXPECT_EQ(fit(640, 480), (std::pair<int, int>(640, 480)));
  EXPECT_EQ(fit(1000, 100), (std::pair<int, int>(640, 180 + hs)));
  EXPECT_EQ(fit(241, 181), (std::pair<int, int>(241, 181)));
}

TEST(Scroll, StepsAreNineTenthsAndATenthRoundedDown) {
  EXPECT_EQ(PageStep(480), 432);
  EXPECT_EQ(LineStep(480), 43);
  EXPECT_EQ(LineStep(300), 27);
  EXPECT_EQ(LineStep(9), 0);
}

TEST(Scroll, LinesStopAtTheEnds) {
  // 1000 high, 480 visible: twelve lines reach 516, the thirteenth stops at 520.
  int p = 0;
  for (int i = 0; i < 12; ++i) p = ScrollLineForward(p, 43, 1000, 480);
  EXPECT_EQ(p, 516);
  p = ScrollLineForward(p, 43, 1000, 480);
  EXPECT_EQ(p, 520);
  EXPECT_EQ(ScrollLineForward(p, 43, 1000, 480), 520);
  EXPECT_EQ(ScrollLineBack(20, 43), 0);
  EXPECT_EQ(ScrollLineBack(520, 43), 477);
  // Nothing to scroll when the image fits.
  EXPECT_EQ(ScrollLineForward(0, 43, 100, 480), 0);
}

TEST(Strip, ShowsUpTo28) {
  EXPECT_TRUE(StripShows(28));
  EXPECT_FALSE(StripShows(29));
  EXPECT_TRUE(StripShows(-5));
}

TEST(Centre, HalvesRoundDown) {
  EXPECT_EQ(CentredOrigin(1280, 660), 310);
  EXPECT_EQ(CentredOrigin(1280, 661), 309);
  EXPECT_EQ(CentredOrigin(800, 1001), -101);  // floor(-100.5)
  EXPECT_EQ(CentredOrigin(800, 1000), -100);
}
