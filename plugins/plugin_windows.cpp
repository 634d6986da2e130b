#include "plugins/plugin_windows.h"

#include <algorithm>

#include "plugins/fault_guard.h"

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

// Gives the window and all its children the system's default procedure,
// so that destroying them runs no code of the plug-in, then destroys it.
void DestroyQuietly(HWND w) {
  for (HWND h : WindowTree(w)) {
    if (::IsWindowUnicode(h))
      ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
    else
      ::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
  }
  spi::GuardedRun([w] { ::DestroyWindow(w); });
}

struct Image {
  ULONG_PTR begin, end;
  bool Holds(LONG_PTR a) const { return static_cast<ULONG_PTR>(a) >= begin && static_cast<ULONG_PTR>(a) < end; }
};

Image ImageOf(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  return {reinterpret_cast<ULONG_PTR>(base), reinterpret_cast<ULONG_PTR>(base) + nt->OptionalHeader.SizeOfImage};
}

bool BelongsTo(HWND w, HMODULE module, const Image& image) {
  if (reinterpret_cast<HMODULE>(WindowLong(w, GWLP_HINSTANCE)) == module) return true;
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

std::vector<bool> ReleaseWindowsOf(const std::vector<HMODULE>& modules) {
  std::vector<bool> may_free(modules.size(), true);
  std::vector<Image> images;
  for (HMODULE m : modules) images.push_back(m ? ImageOf(m) : Image{0, 0});
  // One walk over the process's windows for all the modules.
  for (HWND w : TopLevelWindows()) {
    for (HWND h : WindowTree(w)) {
      for (std::size_t i = 0; i < modules.size(); ++i) {
        if (!modules[i] || !::IsWindow(h) || !BelongsTo(h, modules[i], images[i])) continue;
        if (OnThisThread(h))
          DestroyQuietly(h);
        else
          may_free[i] = false;
      }
    }
  }
  return may_free;
}

}  // namespace spi
