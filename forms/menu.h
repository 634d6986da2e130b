// A menu bar with items, click handlers and keyboard shortcuts.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/handles.h"
#include "forms/window.h"

namespace forms {

struct Shortcut {
  WORD key = 0;  // virtual key; 0 = none (the text alone is shown)
  bool ctrl = false, shift = false, alt = false;
  std::string text;  // shown right of the caption, e.g. "Esc"
};

class MainMenu {
 public:
  MainMenu();
  MainMenu(const MainMenu&) = delete;
  MainMenu& operator=(const MainMenu&) = delete;

  // A drop-down under the bar.
  HMENU AddPopup(const std::string& caption);
  // An item of the bar itself, without a drop-down.
  int AddBarItem(const std::string& caption, NotifyHandler on_click = {});
  int AddItem(HMENU popup, const std::string& caption, NotifyHandler on_click, Shortcut shortcut = {});
  void AddSeparator(HMENU popup);
  // Greys an item out, or makes it usable again.
  void SetEnabled(int id, bool enabled);
  bool Enabled(int id) const;

  // Gives the bar to a window, which then owns and destroys it.
  HMENU Detach() { return bar_.release(); }
  HMENU Handle() const { return bar_handle_; }
  // Accelerator table of the shortcuts, or null when there are none.
  HACCEL Accelerators();
  // Runs the handler of an item; false when the id is not one of ours.
  bool Dispatch(int id);

 private:
  mv::unique_hmenu bar_;
  HMENU bar_handle_;
  std::map<int, NotifyHandler> handlers_;
  std::vector<ACCEL> accels_;
  mv::unique_haccel accel_table_;
  bool accel_built_ = false;
  int next_id_ = 1000;
};

}  // namespace forms
