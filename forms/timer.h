// A message timer of the user-interface thread.
#pragma once

#include <windows.h>

#include "forms/window.h"

namespace forms {

class Timer {
 public:
  Timer() = default;
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void SetInterval(UINT ms);
  UINT Interval() const { return interval_; }
  // Enabling starts the wait from now; disabling stops it.
  void SetEnabled(bool enabled);
  bool Enabled() const { return id_ != 0; }

  NotifyHandler OnTimer;

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Start();
  void Stop();

  UINT interval_ = 1000;
  UINT_PTR id_ = 0;
};

}  // namespace forms
