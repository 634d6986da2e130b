// The imaging factory a call decodes with, and the COM apartment it is
// used in.
//
// The library keeps one factory, living in the multithreaded apartment
// (MTA). A thread that never initialised COM, as Morvane's window thread,
// belongs to the MTA implicitly for as long as the MTA exists; so the
// library keeps the MTA in existence (CoIncrementMTAUsage, from the first
// such call until it is freed) and never calls CoInitializeEx on such a
// thread. The host's thread stays exactly as it was, free to enter either
// kind of apartment later. MTA objects may be called from any MTA thread at
// once, so the one factory serves every such thread, whichever of them made
// it, and outlives them.
//
// A thread in a single-threaded apartment must not call an MTA object
// directly, and a factory made in its apartment would die with the host's
// next CoUninitialize there; such a caller gets a factory for the length of
// the call, with COM initialised (and balanced) around it. So does every
// caller where the MTA cannot be kept (before Windows 8).
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <optional>

#include "spi/com_scope.h"

namespace mv::wic {

class FactoryLease {
 public:
  FactoryLease() noexcept;
  // Null when no factory could be had.
  IWICImagingFactory* get() const { return factory_.get(); }

 private:
  std::optional<ComScope> com_;  // only for a factory of this call; outlives it
  ComPtr<IWICImagingFactory> factory_;
};

// For DLL_PROCESS_DETACH. When the library is freed it releases the factory
// and has the MTA given back; at process exit it touches nothing, since COM
// may already be gone.
void LetGoOfSharedFactory(bool process_ending) noexcept;

}  // namespace mv::wic
