// Calls into plug-in DLLs so that a fault the plug-in leaves unhandled
// (access violation, illegal instruction, divide by zero, stack overflow, an
// exception it raises and nobody catches) comes back as a failed call
// instead of ending the process.
//
// How: the call goes through a small assembly entry whose own exception
// handler is reached only after every handler inside the plug-in has
// declined. It then unwinds the plug-in's frames (their own unwind handlers
// run, as under an MSVC __except; not after a stack overflow, which leaves
// no stack for it, nor a second time when one of them faults) and resumes
// in the entry code. Only the
// frames between the entry code and the fault are abandoned: the caller of
// GuardedInvoke sees an ordinary return, so RAII objects in the caller are
// safe; the thunk must hold none.
//
// On both paths the entry gives the caller back the thread as it was: the
// callee-saved registers (even when the callee broke the calling convention
// and changed them), the direction flag clear, the x87 unit empty with
// its old control word (a plug-in may leave MMX state or values behind) and
// the old SSE control register.
//
// 32-bit (fault_guard_x86.cpp): a registration record linked into the
// thread's fs:0 chain. 64-bit (fault_guard_x64.cpp): the entry's unwind
// data names the handler, and the system's table-based dispatch finds it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <tuple>
#include <type_traits>

namespace spi {

enum class CallOutcome { Returned, Faulted };

struct GuardResult {
  CallOutcome outcome;
  DWORD code;  // the exception code when faulted, 0 when returned
  // For an access violation or an in-page error: the address that could
  // not be read or written.
  ULONG_PTR address = 0;
  // The fault was a failed read of the mapped file the call was reading:
  // the file's failure, not the callee's.
  bool file_failed = false;
};

// A mapped file that a guarded call reads.
struct MappedBytes {
  const void* begin = nullptr;
  std::size_t size = 0;
};

// The address a fault could not access, from its record (0 if none).
ULONG_PTR FaultAddress(const EXCEPTION_RECORD& rec);

namespace detail {
// One guarded call as its handler sees it. Lives on the caller's frame; the
// thread's innermost one is found through a TLS slot.
struct GuardScope {
  MappedBytes reading;                 // the file the call reads, if any
  volatile int host_callbacks = 0;     // the program's own callbacks running inside the call
  bool unwinding = false;              // the handler has begun unwinding the callee
  void* frame = nullptr;               // the entry's own record (32-bit)
  GuardScope* outer = nullptr;         // the guard this call runs inside, if any
  DWORD code = 0;                      // what the handler caught
  ULONG_PTR address = 0;
  bool file_failed = false;
};
GuardScope* InnermostGuard();
// Called by the handlers: whether the guard of `scope` stops this
// exception; if so, it is recorded there.
bool TakeFault(GuardScope& scope, const EXCEPTION_RECORD& rec);
// Runs thunk(ctx) on the entry of this edition; true when it faulted.
bool RunGuarded(GuardScope& scope, int (*thunk)(void* ctx), void* ctx, int& result);
}  // namespace detail

// Whether the guard stops an exception that reached its frame unhandled.
// Whatever its code (hardware faults, a Delphi or C++Builder exception left
// uncaught, a stray breakpoint), it is the callee's failure, except a fault
// of the program itself: one whose address lies in the program's own
// module, or any fault while a callback of ours runs inside the call (see
// HostCallback), even inside a system DLL the callback called. Those go on
// to the outer handlers like any fault of ours. A failed read of a mapped
// file is the file's failure wherever it happens and is always stopped: an
// in-page error anywhere, or a read fault inside the file the call reads.
bool GuardCatches(const EXCEPTION_RECORD& rec, const detail::GuardScope& scope);

// Marks the program's own code that a guarded callee calls back (the
// progress callback) for as long as it lives: a fault meanwhile is the
// program's, not the callee's. Guarded calls made inside it still catch
// their own callees' faults.
class HostCallback {
 public:
  HostCallback() noexcept : scope_(detail::InnermostGuard()) {
    if (scope_) scope_->host_callbacks = scope_->host_callbacks + 1;
  }
  ~HostCallback() {
    if (scope_) scope_->host_callbacks = scope_->host_callbacks - 1;
  }
  HostCallback(const HostCallback&) = delete;
  HostCallback& operator=(const HostCallback&) = delete;

 private:
  detail::GuardScope* scope_;
};

// Calls thunk(ctx) under the guard; result receives its return value when it
// returned (and is left alone when it faulted). The thunk runs on frames the
// guard may abandon: no objects with destructors in it. A read fault inside
// `reading` is caught wherever it happens and reported as the file's.
GuardResult GuardedInvoke(int (*thunk)(void* ctx), void* ctx, int& result, MappedBytes reading = {});

namespace detail {
template <class... A>
struct StdcallCall {
  int(__stdcall* fn)(A...);
  std::tuple<A...> args;
  static int Run(void* p) {
    auto* c = static_cast<StdcallCall*>(p);
    return std::apply(c->fn, c->args);
  }
};
}  // namespace detail

// Calls fn(args...), an extern "C" __stdcall plug-in entry point that reads
// the mapped file `reading`, under the guard. Arguments are passed by value
// as the entry point takes them.
template <class... A>
GuardResult GuardedCallReading(MappedBytes reading, int& result, int(__stdcall* fn)(A...),
                               std::type_identity_t<A>... args) {
  static_assert((std::is_trivially_destructible_v<A> && ...),
                "plug-in arguments are plain values: the guard may skip their destructors");
  detail::StdcallCall<A...> call{fn, {args...}};
  return GuardedInvoke(&detail::StdcallCall<A...>::Run, &call, result, reading);
}

template <class... A>
GuardResult GuardedCall(int& result, int(__stdcall* fn)(A...), std::type_identity_t<A>... args) {
  return GuardedCallReading<A...>(MappedBytes{}, result, fn, args...);
}

namespace detail {
template <class F>
int RunOnce(void* p) {
  (*static_cast<F*>(p))();
  return 1;
}
}  // namespace detail

// Runs fn() under the guard: false when it faulted. Used for system calls
// on values a plug-in handed over. fn() must leave nothing with a
// destructor on its own frames.
template <class F>
bool GuardedRun(F&& fn, MappedBytes reading = {}) {
  int done = 0;
  return GuardedInvoke(&detail::RunOnce<std::remove_reference_t<F>>, &fn, done, reading).outcome ==
         CallOutcome::Returned;
}

}  // namespace spi
