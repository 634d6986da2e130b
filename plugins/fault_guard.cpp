#include "plugins/fault_guard.h"

#include <cstdint>

namespace {

// The image that holds this code: faults inside it are the program's own.
struct HostImage {
  std::uintptr_t begin = 0, end = 0;
  HostImage() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&spi::GuardCatches), &self))
      return;
    const auto* base = reinterpret_cast<const std::uint8_t*>(self);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    begin = reinterpret_cast<std::uintptr_t>(base);
    end = begin + nt->OptionalHeader.SizeOfImage;
  }
  bool Holds(const void* p) const {
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    return a >= begin && a < end;
  }
};

// Read before any guarded call runs, never from inside a handler.
const HostImage g_host;

}  // namespace

namespace spi {

bool GuardCatches(const EXCEPTION_RECORD& rec) {
  if (rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) return true;
  return !g_host.Holds(rec.ExceptionAddress);
}

ULONG_PTR FaultAddress(const EXCEPTION_RECORD& rec) {
  if ((rec.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
      rec.NumberParameters >= 2)
    return rec.ExceptionInformation[1];
  return 0;
}

}  // namespace spi
