// Redirects one import of a loaded module, so a test can watch what the
// module asks of the system (its allocations, GDI calls and the like).
#pragma once

#include <windows.h>

namespace mvtest {

// Points one import of `module` at `fn`; false when the module has no such import.
bool PatchImport(HMODULE module, const char* dll, const char* name, void* fn);

}  // namespace mvtest

namespace mvtest {

// Points one import of the test program at `fn` for a scope, and back at
// the system's own function at its end.
class ScopedImportPatch {
 public:
  ScopedImportPatch(const char* dll, const char* name, void* fn)
      : dll_(dll), name_(name), original_(::GetProcAddress(::GetModuleHandleA(dll), name)),
        ok_(PatchImport(::GetModuleHandleA(nullptr), dll, name, fn)) {}
  ~ScopedImportPatch() {
    if (ok_) PatchImport(::GetModuleHandleA(nullptr), dll_, name_, reinterpret_cast<void*>(original_));
  }
  ScopedImportPatch(const ScopedImportPatch&) = delete;
  ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;

  bool ok() const { return ok_; }
  // The system's own function, for a replacement that passes calls on.
  template <class Fn>
  Fn Original() const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(original_));
  }

 private:
  const char* dll_;
  const char* name_;
  FARPROC original_;
  bool ok_;
};

}  // namespace mvtest
