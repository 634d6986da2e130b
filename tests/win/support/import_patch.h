// Redirects one import of a loaded module, so a test can watch what the
// module asks of the system (its allocations, GDI calls and the like).
#pragma once

#include <windows.h>

namespace mvtest {

// Points one import of `module` at `fn`; false when the module has no such import.
bool PatchImport(HMODULE module, const char* dll, const char* name, void* fn);

}  // namespace mvtest
