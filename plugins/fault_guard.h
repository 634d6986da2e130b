// Calls into plug-in DLLs so that a fault the plug-in leaves unhandled
// (access violation, illegal instruction, divide by zero, stack overflow, an
// exception it raises and nobody catches) comes back as a failed call
// instead of ending the process.
//
// How: the call goes through a small assembly entry whose own exception
// handler is reached only after every handler inside the plug-in has
// declined. It then unwinds the plug-in's frames (their own unwind handlers
// run, as under an MSVC __except) and resumes in the entry code, which
// resets the x87 unit and the SSE control register to what they were
// before the call and returns "faulted". Only the frames between the entry
// code and the fault are abandoned: the caller of GuardedInvoke sees an
// ordinary return, so RAII objects in the caller are safe; the thunk must
// hold none.
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
};

// Whether the guard stops an exception that reached its frame unhandled.
// Whatever its code (hardware faults, a Delphi or C++Builder exception left
// uncaught, a stray breakpoint), it is the callee's failure, with one
// exception: a fault whose address lies in the program's own module is a
// fault of the program (say, in a callback or a window procedure of ours
// that the callee ran) and is not hidden: it goes on to the outer handlers
// like any fault of ours. A read error of a mapped file
// (EXCEPTION_IN_PAGE_ERROR) is the file's failure wherever it happens, and
// is always stopped.
bool GuardCatches(const EXCEPTION_RECORD& rec);

// The address a fault could not access, from its record (0 if none).
ULONG_PTR FaultAddress(const EXCEPTION_RECORD& rec);


// Calls thunk(ctx) under the guard; result receives its return value when it
// returned (and is left alone when it faulted). The thunk runs on frames the
// guard may abandon: no objects with destructors in it.
GuardResult GuardedInvoke(int (*thunk)(void* ctx), void* ctx, int& result);

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

// Calls fn(args...), an extern "C" __stdcall plug-in entry point, under the
// guard. Arguments are passed by value as the entry point takes them.
template <class... A>
GuardResult GuardedCall(int& result, int(__stdcall* fn)(A...), std::type_identity_t<A>... args) {
  static_assert((std::is_trivially_destructible_v<A> && ...),
                "plug-in arguments are plain values: the guard may skip their destructors");
  detail::StdcallCall<A...> call{fn, {args...}};
  return GuardedInvoke(&detail::StdcallCall<A...>::Run, &call, result);
}

namespace detail {
template <class F>
int RunOnce(void* p) {
  (*static_cast<F*>(p))();
  return 1;
}
}  // namespace detail

// Runs fn() under the guard: false when it faulted. Used for the program's
// own reads of a mapped file, which fault when the file's medium goes away
// (EXCEPTION_IN_PAGE_ERROR: removed media, a dropped network share), and
// for system calls on values a plug-in handed over. fn() must leave
// nothing with a destructor on its own frames.
template <class F>
bool GuardedRun(F&& fn) {
  int done = 0;
  return GuardedInvoke(&detail::RunOnce<std::remove_reference_t<F>>, &fn, done).outcome == CallOutcome::Returned;
}

}  // namespace spi
