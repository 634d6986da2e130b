#include "spi/wic_factory.h"

namespace mv::wic {

namespace {

// Windows 8 and later: looked up, so that the plug-in still loads before.
// The cookie is a handle (CO_MTA_USAGE_COOKIE, declared for Windows 8 only).
using MtaCookie = void*;
using PinMtaFn = HRESULT(WINAPI*)(MtaCookie*);
using UnpinMtaFn = HRESULT(WINAPI*)(MtaCookie);
using ApartmentTypeFn = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);

// All under g_lock, except in DllMain, where no call of ours can be running.
SRWLOCK g_lock = SRWLOCK_INIT;
bool g_looked_up = false;
PinMtaFn g_pin_mta = nullptr;
UnpinMtaFn g_unpin_mta = nullptr;
ApartmentTypeFn g_apartment_type = nullptr;
MtaCookie g_pin = nullptr;
IWICImagingFactory* g_factory = nullptr;  // one reference, the library's

class Exclusive {
 public:
  Exclusive() { ::AcquireSRWLockExclusive(&g_lock); }
  ~Exclusive() { ::ReleaseSRWLockExclusive(&g_lock); }
  Exclusive(const Exclusive&) = delete;
  Exclusive& operator=(const Exclusive&) = delete;
};

template <class F>
F Entry(HMODULE module, const char* name) {
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The library's factory with a reference for the caller, when the calling
// thread is in the MTA or has no COM (and so joins the MTA implicitly once
// the library keeps it).
IWICImagingFactory* SharedFactory() {
  Exclusive lock;
  if (!g_looked_up) {
    g_looked_up = true;
    const HMODULE ole = ::GetModuleHandleA("ole32.dll");  // imported: loaded with us
    g_pin_mta = Entry<PinMtaFn>(ole, "CoIncrementMTAUsage");
    g_unpin_mta = Entry<UnpinMtaFn>(ole, "CoDecrementMTAUsage");
    g_apartment_type = Entry<ApartmentTypeFn>(ole, "CoGetApartmentType");
  }
  if (!g_pin_mta || !g_unpin_mta || !g_apartment_type) return nullptr;
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  const HRESULT hr = g_apartment_type(&type, &qualifier);
  if (SUCCEEDED(hr) ? type != APTTYPE_MTA : hr != CO_E_NOTINITIALIZED) return nullptr;
  // Kept even for an MTA the host made: its last thread may leave it.
  if (!g_pin && FAILED(g_pin_mta(&g_pin))) {
    g_pin = nullptr;
    return nullptr;
  }
  if (!g_factory && FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IWICImagingFactory, reinterpret_cast<void**>(&g_factory)))) {
    g_factory = nullptr;
    return nullptr;
  }
  g_factory->AddRef();
  return g_factory;
}

}  // namespace

FactoryLease::FactoryLease() noexcept {
  if (IWICImagingFactory* shared = SharedFactory()) {
    *factory_.put() = shared;
    return;
  }
  com_.emplace();
  if (!com_->Usable()) return;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory_.put_void())))
    factory_.reset();
}

void LetGoOfSharedFactory(bool process_ending) noexcept {
  if (process_ending) return;  // the process takes everything back
  if (g_factory) {
    g_factory->Release();  // COM still runs when the library is freed
    g_factory = nullptr;
  }
  if (g_pin) {
    // Giving the pin back may end the MTA, which frees COM's libraries: not
    // under the loader lock. A pool thread calls CoDecrementMTAUsage itself
    // once the lock is released (same ABI as a thread routine: one pointer
    // argument, WINAPI, a 32-bit answer); no code of ours runs there, so it
    // may run after this library is gone. Should queueing fail, the MTA
    // simply stays for the process.
    ::QueueUserWorkItem(reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(g_unpin_mta)), g_pin,
                        WT_EXECUTEDEFAULT);
    g_pin = nullptr;
  }
}

}  // namespace mv::wic
