// A window's global instance never outlives the window, also when the
// window's constructor throws half-way.
#include "forms/global_instance.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct Window;
Window* g_window = nullptr;

struct Window {
  forms::GlobalInstance<Window> instance_;
  explicit Window(bool fail) : instance_(g_window, this) {
    EXPECT_EQ(g_window, this) << "set while the window is built";
    if (fail) throw std::runtime_error("no window");
  }
};

TEST(GlobalInstance, ClearedWhenTheWindowGoesOrItsConstructorThrows) {
  {
    Window w(false);
    EXPECT_EQ(g_window, &w);
  }
  EXPECT_EQ(g_window, nullptr);
  EXPECT_THROW(Window(true), std::runtime_error);
  EXPECT_EQ(g_window, nullptr);
}

}  // namespace
