#include "forms/timer.h"

#include <exception>
#include <map>

#include "forms/application.h"

namespace forms {

namespace {
std::map<UINT_PTR, Timer*>& Timers() {
  static std::map<UINT_PTR, Timer*> timers;
  return timers;
}
}  // namespace

Timer::~Timer() { Stop(); }

void Timer::SetInterval(UINT ms) {
  interval_ = ms;
  if (Enabled()) {
    Stop();
    Start();
  }
}

void Timer::SetEnabled(bool enabled) {
  Stop();
  if (enabled) Start();
}

void Timer::Start() {
  id_ = ::SetTimer(nullptr, 0, interval_, &Timer::TimerProc);
  if (id_) Timers()[id_] = this;
}

void Timer::Stop() {
  if (!id_) return;
  ::KillTimer(nullptr, id_);
  Timers().erase(id_);
  id_ = 0;
}

void CALLBACK Timer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  try {
    if (it->second->OnTimer) it->second->OnTimer();
  } catch (...) {
    Application::Instance().HandleException(std::current_exception());
  }
}

}  // namespace forms
