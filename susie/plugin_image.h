// Where a plug-in library lies in memory, recorded when it was loaded. A
// plug-in may free its own library; its pages are then gone, or another
// library lies there. After the load the host reads nothing of the
// library itself: it compares against this record, and asks the system
// whether the library is still the one it loaded.
#pragma once

#include <windows.h>

#include <string>

namespace spi {

struct LoadedImage {
  HMODULE base = nullptr;
  ULONG_PTR end = 0;  // one past its last byte
  std::string file;   // the file the system loaded there
  bool Holds(ULONG_PTR address) const {
    return base && address >= reinterpret_cast<ULONG_PTR>(base) && address < end;
  }
};

// The image of a library this program has just loaded.
LoadedImage RecordImage(HMODULE module);

// Whether the recorded library is still loaded at its place.
bool StillLoaded(const LoadedImage& image);

// Whether some library (maybe another one) now lies in the recorded range.
bool RangeHoldsAnImage(const LoadedImage& image);

// The file the system loaded a module from, as it names it; empty if none.
std::string ModuleFileName(HMODULE module);

}  // namespace spi
