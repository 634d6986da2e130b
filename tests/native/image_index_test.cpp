// The picker's previous and next steps wrap around the listed images.
#include <gtest/gtest.h>

#include "preview/image_index.h"

using namespace mv;

TEST(ImageIndex, StepsWrapAroundTheEnds) {
  // From each of five images, one step at a time, both ways round.
  for (int start = 0; start < 5; ++start) {
    int next = start, previous = start;
    for (int step = 1; step <= 5; ++step) {
      next = NextIndex(next, 5);
      previous = PreviousIndex(previous, 5);
      EXPECT_EQ(next, (start + step) % 5) << start << " + " << step;
      EXPECT_EQ(previous, (start - step + 5) % 5) << start << " - " << step;
    }
  }
  // A single image steps to itself.
  EXPECT_EQ(NextIndex(0, 1), 0);
  EXPECT_EQ(PreviousIndex(0, 1), 0);
}
