// A tooltip for one control: its text, and whether it shows. The control
// passes its mouse messages on through Relay.
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

  // A text too wide for the screen is shown broken into lines.
  void SetText(const std::wstring& text);
  void SetText(const std::string& text);  // a text of the program's code page
  const std::wstring& Text() const { return text_; }
  void SetActive(bool active);
  // Passes a message of the tool on to the tip when it is one of the mouse
  // messages the tip follows.
  void Relay(UINT msg, WPARAM wp, LPARAM lp);
  bool Active() const { return active_; }
  HWND Handle() const { return tip_; }

 private:
  static constexpr int kMaxTipWidth = 600;
  HWND tool_;
  HWND tip_ = nullptr;
  std::wstring text_;
  std::wstring shown_;  // the text with the line breaks it is shown with
  bool active_ = true;
};

}  // namespace forms
