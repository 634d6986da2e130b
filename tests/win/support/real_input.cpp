#include "tests/win/support/real_input.h"

#include "tests/win/support/app_harness.h"

namespace mvtest {
namespace {

void Send(DWORD flags, LONG dx = 0, LONG dy = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  in.mi.dx = dx;
  in.mi.dy = dy;
  ::SendInput(1, &in, sizeof in);
  Pump(20);  // the events come back through the message queue
}

}  // namespace

void PointerTo(HWND w, int x, int y) {
  POINT p{x, y};
  ::ClientToScreen(w, &p);
  // Absolute coordinates run from 0 to 65535 over the primary screen.
  const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
  Send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<LONG>((p.x * 65535 + cx / 2) / (cx - 1)),
       static_cast<LONG>((p.y * 65535 + cy / 2) / (cy - 1)));
}

void ClickAt(HWND w, int x, int y, int clicks) {
  PointerTo(w, x, y);
  for (int i = 0; i < clicks; ++i) {
    // Down and up in one go, as a quick hand gives them: the up is already
    // queued while the down (or the double-click) is being handled.
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, in, sizeof in[0]);
    Pump(20);
  }
}

}  // namespace mvtest
