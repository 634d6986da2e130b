// The Win32 handle kinds Morvane owns, each as a unique_any.
// Borrowed handles (a window's DC in WM_PAINT, a DC passed to a callback)
// stay plain; only what the program itself must release lives here.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "base/unique_any.h"

namespace mv {

struct FileTraits {  // CreateFile: empty is INVALID_HANDLE_VALUE
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {  // CreateFileMapping and friends: empty is null
  using type = HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseHandle(h); }
};
struct ViewTraits {  // MapViewOfFile
  using type = const void*;
  static type invalid() { return nullptr; }
  static void close(type p) { ::UnmapViewOfFile(p); }
};
struct ModuleTraits {  // LoadLibrary
  using type = HMODULE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::FreeLibrary(h); }
};
struct GlobalTraits {  // GlobalAlloc, and blocks a plug-in hands over
  using type = HGLOBAL;
  static type invalid() { return nullptr; }
  static void close(type h) { ::GlobalFree(h); }
};
struct FindTraits {  // FindFirstFile
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using type = HKEY;
  static type invalid() { return nullptr; }
  static void close(type h) { ::RegCloseKey(h); }
};
template <class T>
struct GdiTraits {  // bitmaps, palettes, brushes, pens, fonts
  using type = T;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteObject(h); }
};
struct DcTraits {  // CreateCompatibleDC
  using type = HDC;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteDC(h); }
};
struct IconTraits {
  using type = HICON;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DestroyIcon(h); }
};
struct ImageListTraits {
  using type = HIMAGELIST;
  static type invalid() { return nullptr; }
  static void close(type h) { ::ImageList_Destroy(h); }
};
struct MenuTraits {  // a menu not (yet) attached to a window
  using type = HMENU;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DestroyMenu(h); }
};
struct AccelTraits {
  using type = HACCEL;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DestroyAcceleratorTable(h); }
};

struct DropTraits {  // WM_DROPFILES: the receiver ends the drop
  using type = HDROP;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DragFinish(h); }
};
struct LocalTraits {  // LocalAlloc, and what CommandLineToArgvW returns
  using type = HLOCAL;
  static type invalid() { return nullptr; }
  static void close(type h) { ::LocalFree(h); }
};

using unique_file = unique_any<FileTraits>;
using unique_handle = unique_any<KernelHandleTraits>;
using unique_view = unique_any<ViewTraits>;
using unique_module = unique_any<ModuleTraits>;
using unique_hglobal = unique_any<GlobalTraits>;
using unique_find = unique_any<FindTraits>;
using unique_hkey = unique_any<RegKeyTraits>;
using unique_hbitmap = unique_any<GdiTraits<HBITMAP>>;
using unique_hpalette = unique_any<GdiTraits<HPALETTE>>;
using unique_hbrush = unique_any<GdiTraits<HBRUSH>>;
using unique_hpen = unique_any<GdiTraits<HPEN>>;
using unique_hfont = unique_any<GdiTraits<HFONT>>;
using unique_hdc = unique_any<DcTraits>;
using unique_hicon = unique_any<IconTraits>;
using unique_himagelist = unique_any<ImageListTraits>;
using unique_hmenu = unique_any<MenuTraits>;
using unique_haccel = unique_any<AccelTraits>;
using unique_hdrop = unique_any<DropTraits>;
using unique_hlocal = unique_any<LocalTraits>;

// Selects a GDI object into a DC for one scope and puts the old one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
  ~SelectGuard() {
    if (old_) ::SelectObject(dc_, old_);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Selects a logical palette for one scope and puts the old one back.
class PaletteGuard {
 public:
  PaletteGuard(HDC dc, HPALETTE pal, BOOL background) noexcept
      : dc_(dc), old_(pal ? ::SelectPalette(dc, pal, background) : nullptr) {}
  ~PaletteGuard() {
    if (old_) ::SelectPalette(dc_, old_, TRUE);
  }
  PaletteGuard(const PaletteGuard&) = delete;
  PaletteGuard& operator=(const PaletteGuard&) = delete;

 private:
  HDC dc_;
  HPALETTE old_;
};

}  // namespace mv
