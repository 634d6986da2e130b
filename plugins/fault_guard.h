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

#include <tuple>
#include <type_traits>

namespace spi {

enum class CallOutcome { Returned, Faulted };

struct GuardResult {
  CallOutcome outcome;
  DWORD code;  // the exception code when faulted, 0 when returned
};

// Whether the guard stops an exception with this code that reached it:
// every code of error severity (hardware faults, an MSVC C++ exception or a
// custom error left uncaught) and misalignment. Warnings and informational
// codes (breakpoints, debugger messages) pass on to outer handlers.
bool GuardCatches(DWORD code);

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

}  // namespace spi
