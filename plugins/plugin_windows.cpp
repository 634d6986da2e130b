#include "plugins/plugin_windows.h"

#include <algorithm>

#include "base/fault_guard.h"
#include "forms/window.h"

namespace {

constexpr ATOM kDialogClass = 32770;  // "#32770"

BOOL CALLBACK AddOurs(HWND w, LPARAM p) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid == ::GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

BOOL CALLBACK AddAny(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> all;
  ::EnumWindows(&AddOurs, reinterpret_cast<LPARAM>(&all));
  return all;
}

// The window and all its descendants.
std::vector<HWND> WindowTree(HWND w) {
  std::vector<HWND> tree{w};
  ::EnumChildWindows(w, &AddAny, reinterpret_cast<LPARAM>(&tree));
  return tree;
}

bool OnThisThread(HWND w) { return ::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId(); }

LONG_PTR WindowLong(HWND w, int index) {
  return ::IsWindowUnicode(w) ? ::GetWindowLongPtrW(w, index) : ::GetWindowLongPtrA(w, index);
}

// A window of ours: made by the forms layer on this thread.
forms::Window* Ours(HWND w) { return OnThisThread(w) ? forms::Window::FromHandle(w) : nullptr; }

// Gives the window and all its children the system's default procedure,
// so that destroying them runs no code of the plug-in, then destroys it.
// Should the plug-in have taken a window of ours into the tree, nothing is
// destroyed: the tree stays, with none of the plug-in's procedures left.
void DestroyQuietly(HWND w) {
  bool holds_ours = false;
  for (HWND h : WindowTree(w)) {
    if (Ours(h)) {
      holds_ours = true;
    } else if (::IsWindowUnicode(h)) {
      ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
    } else {
      ::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    }
  }
  if (!holds_ours) spi::GuardedRun([w] { ::DestroyWindow(w); });
}

bool BelongsTo(HWND w, const spi::LoadedImage& image) {
  if (reinterpret_cast<HMODULE>(WindowLong(w, GWLP_HINSTANCE)) == image.base) return true;
  if (image.Holds(WindowLong(w, GWLP_WNDPROC))) return true;
  return ::GetClassLongPtrA(w, GCW_ATOM) == kDialogClass && image.Holds(WindowLong(w, DWLP_DLGPROC));
}

}  // namespace

namespace spi {

ThreadWindows SnapshotThreadWindows() {
  ThreadWindows out;
  for (HWND w : TopLevelWindows())
    if (OnThisThread(w)) out.emplace_back(w, ::IsWindowEnabled(w) != FALSE);
  return out;
}

void RestoreThreadWindows(const ThreadWindows& before) {
  for (HWND w : TopLevelWindows()) {
    if (!OnThisThread(w)) continue;
    const bool known = std::any_of(before.begin(), before.end(), [w](const auto& b) { return b.first == w; });
    if (!known) DestroyQuietly(w);
  }
  for (const auto& [w, enabled] : before)
    if (enabled && ::IsWindow(w) && !::IsWindowEnabled(w)) ::EnableWindow(w, TRUE);
  ::ReleaseCapture();
}

std::vector<bool> ReleaseWindowsOf(const std::vector<LoadedImage>& images) {
  std::vector<bool> may_free(images.size()), walk(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    may_free[i] = StillLoaded(images[i]);
    walk[i] = may_free[i] || (images[i].base && !RangeHoldsAnImage(images[i]));
  }
  bool subclassed_ours = false;
  // One walk over the process's windows for all the libraries.
  for (HWND w : TopLevelWindows()) {
    for (HWND h : WindowTree(w)) {
      if (!::IsWindow(h)) continue;
      if (forms::Window* ours = Ours(h)) {
        const auto proc = static_cast<ULONG_PTR>(WindowLong(h, GWLP_WNDPROC));
        for (std::size_t i = 0; i < images.size(); ++i) {
          if (!walk[i] || !images[i].Holds(proc)) continue;
          ours->RestoreProcedure();
          subclassed_ours = true;
        }
        continue;
      }
      for (std::size_t i = 0; i < images.size(); ++i) {
        if (!walk[i] || !::IsWindow(h) || !BelongsTo(h, images[i])) continue;
        if (OnThisThread(h))
          DestroyQuietly(h);
        else
          may_free[i] = false;
      }
    }
  }
  // Its procedure may have passed messages on to another library's.
  if (subclassed_ours) may_free.assign(images.size(), false);
  return may_free;
}

}  // namespace spi
