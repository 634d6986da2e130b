// A tooltip for one control: its text, and whether it shows.
#pragma once

#include <windows.h>

#include <string>

namespace forms {

class Hint {
 public:
  explicit Hint(HWND tool);
  ~Hint();
  Hint(const Hint&) = delete;
  Hint& operator=(const Hint&) = delete;

  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  void SetActive(bool active);
  bool Active() const { return active_; }
  HWND Handle() const { return tip_; }

 private:
  HWND tool_;
  HWND tip_ = nullptr;
  std::string text_;
  bool active_ = true;
};

}  // namespace forms
