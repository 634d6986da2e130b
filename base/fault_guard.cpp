#include "base/fault_guard.h"

#include <malloc.h>

#include <cstdint>

namespace {

// The image that holds this code: faults inside it are the program's own.
struct HostImage {
  std::uintptr_t begin = 0, end = 0;
  HostImage() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&spi::FaultAddress), &self))
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

// The slot that holds each thread's innermost GuardScope. A TLS slot rather
// than thread_local: the handlers read it, and MinGW's emulated TLS may
// allocate on first use.
DWORD GuardSlot() {
  static const DWORD slot = ::TlsAlloc();
  return slot;
}

// Whether a fault is a failed read inside `file`: an in-page error (its
// medium went away) or a read access violation (the file was cut short
// under its mapping, which is how Wine reports it).
bool FileReadFailed(const EXCEPTION_RECORD& rec, spi::MappedBytes file) {
  const bool read_fault = rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR ||
                          (rec.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && rec.NumberParameters >= 2 &&
                           rec.ExceptionInformation[0] == 0);
  if (!read_fault || !file.begin) return false;
  const ULONG_PTR address = spi::FaultAddress(rec), begin = reinterpret_cast<ULONG_PTR>(file.begin);
  return address >= begin && address - begin < file.size;
}

}  // namespace

namespace spi {

ULONG_PTR FaultAddress(const EXCEPTION_RECORD& rec) {
  if ((rec.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
      rec.NumberParameters >= 2)
    return rec.ExceptionInformation[1];
  return 0;
}

bool GuardCatches(const EXCEPTION_RECORD& rec, const detail::GuardScope& scope) {
  if (rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR || FileReadFailed(rec, scope.reading)) return true;
  if (scope.host_callbacks != 0) return false;
  return !g_host.Holds(rec.ExceptionAddress);
}

namespace detail {

GuardScope* InnermostGuard() { return static_cast<GuardScope*>(::TlsGetValue(GuardSlot())); }

bool TakeFault(GuardScope& scope, const EXCEPTION_RECORD& rec) {
  if (!GuardCatches(rec, scope)) return false;
  scope.code = rec.ExceptionCode;
  scope.address = FaultAddress(rec);
  scope.file_failed = FileReadFailed(rec, scope.reading);
  return true;
}

}  // namespace detail

// No objects with destructors here: nothing between the entry and the
// plug-in may need unwinding.
GuardResult GuardedInvoke(int (*thunk)(void* ctx), void* ctx, int& result, MappedBytes reading) {
  detail::GuardScope scope;
  scope.reading = reading;
  scope.outer = detail::InnermostGuard();
  ::TlsSetValue(GuardSlot(), &scope);
  const bool faulted = detail::RunGuarded(scope, thunk, ctx, result);
  ::TlsSetValue(GuardSlot(), scope.outer);
  if (!faulted) return {CallOutcome::Returned, 0};
  // The overflow consumed the guard page; without it the next overflow
  // would be an access violation, or kill the process.
  if (scope.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return {CallOutcome::Faulted, scope.code, scope.address, scope.file_failed};
}

}  // namespace spi
