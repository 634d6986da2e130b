#include "susie/plugin_image.h"

namespace spi {

std::string ModuleFileName(HMODULE module) {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

LoadedImage RecordImage(HMODULE module) {
  LoadedImage image;
  image.base = module;
  // The system maps an image as one allocation: its regions, not its
  // headers, give its extent.
  auto at = reinterpret_cast<ULONG_PTR>(module);
  MEMORY_BASIC_INFORMATION mbi;
  while (::VirtualQuery(reinterpret_cast<const void*>(at), &mbi, sizeof mbi) == sizeof mbi &&
         mbi.AllocationBase == module && mbi.RegionSize > 0)
    at = reinterpret_cast<ULONG_PTR>(mbi.BaseAddress) + mbi.RegionSize;
  image.end = at;
  image.file = ModuleFileName(module);
  return image;
}

bool StillLoaded(const LoadedImage& image) {
  HMODULE now = nullptr;
  if (!image.base ||
      !::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(image.base), &now) ||
      now != image.base)
    return false;
  return ModuleFileName(now) == image.file;
}

bool RangeHoldsAnImage(const LoadedImage& image) {
  MEMORY_BASIC_INFORMATION mbi;
  auto at = reinterpret_cast<ULONG_PTR>(image.base);
  while (at < image.end) {
    if (::VirtualQuery(reinterpret_cast<const void*>(at), &mbi, sizeof mbi) != sizeof mbi || mbi.RegionSize == 0)
      return false;
    if (mbi.Type == MEM_IMAGE) return true;
    at = reinterpret_cast<ULONG_PTR>(mbi.BaseAddress) + mbi.RegionSize;
  }
  return false;
}

}  // namespace spi
