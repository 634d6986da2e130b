// Stepping through the listed images with the picker's previous and next
// buttons: past either end the step wraps around.
#pragma once

namespace mv {

constexpr int PreviousIndex(int index, int count) { return index - 1 < 0 ? count - 1 : index - 1; }
constexpr int NextIndex(int index, int count) { return index + 1 >= count ? 0 : index + 1; }

}  // namespace mv
