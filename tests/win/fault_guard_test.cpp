// The plug-in fault guard against a real DLL that faults in every way a
// plug-in can, run under Wine: the faults come back as failed calls, the
// thread's handler chain, x87 unit and flags are as before, and exceptions
// the DLL handles itself never reach the guard.
#include "base/fault_guard.h"

#include <windows.h>

#include <float.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "base/handles.h"
#include "tests/win/support/paths.h"

using spi::CallOutcome;
using spi::GuardedCall;
using spi::GuardResult;

namespace {

typedef int(__stdcall* Fn0)();
typedef int(__stdcall* Fn1)(int);
typedef int(__stdcall* Fn2)(int, int);

// What a call must leave as it found it: the handler chain (32-bit; x64
// has none, its dispatch is table-based) and the SSE control register.
struct ThreadMark {
  void* chain;
  unsigned mxcsr;
  bool operator==(const ThreadMark&) const = default;
};
ThreadMark ChainHead() {
  ThreadMark m{};
#if defined(__i386__)
  asm volatile("movl %%fs:0, %0" : "=r"(m.chain));
#endif
  asm volatile("stmxcsr %0" : "=m"(m.mxcsr));
  return m;
}
unsigned short X87ControlWord() {
  unsigned short cw;
  asm volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
unsigned short X87Status() {
  unsigned short sw;
  asm volatile("fnstsw %0" : "=m"(sw));
  return sw;
}
bool DirectionFlagSet() {
  unsigned long long fl;
#if defined(__i386__)
  unsigned long f32;
  asm volatile("pushfl\n popl %0" : "=r"(f32));
  fl = f32;
#else
  asm volatile("pushfq\n popq %0" : "=r"(fl));
#endif
  return (fl & 0x400) != 0;
}

// What the last call left in the thread, read at once; then the thread is
// made clean again so the test itself can go on whatever was found.
struct Leftovers {
  bool direction_flag;
  long double third;  // 1/3 on the x87 unit
};
__attribute__((noinline)) Leftovers LookAndClean() {
  Leftovers l{DirectionFlagSet(), 0};
  volatile long double one = 1, three = 3;
  l.third = one / three;
  asm volatile("cld\n emms\n fnclex");
  return l;
}

class FaultGuard : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dll_.reset(::LoadLibraryA((mvtest::FixtureDir() + "guard_probe.dll").c_str()));
  }
  static void TearDownTestSuite() { dll_.reset(); }
  void SetUp() override { ASSERT_TRUE(dll_) << "guard_probe.dll not found beside the tests"; }

  template <class F>
  static F Get(const char* name) {
    FARPROC p = ::GetProcAddress(dll_.get(), name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
  }

  static inline mv::unique_module dll_;
};

// Expects the call to fault with `code`, and the thread to be as before it.
template <class... A>
void ExpectFault(DWORD code, int(__stdcall* fn)(A...), A... args) {
  const ThreadMark head = ChainHead();
  const unsigned short cw = X87ControlWord();
  int result = -12345;
  GuardResult r = GuardedCall(result, fn, args...);
  EXPECT_EQ(r.outcome, CallOutcome::Faulted);
  EXPECT_EQ(r.code, code) << std::hex << r.code;
  EXPECT_EQ(result, -12345) << "result is left alone on a fault";
  EXPECT_EQ(ChainHead(), head);
  EXPECT_EQ(X87ControlWord(), cw);
}

TEST_F(FaultGuard, ReturnsTheValueAndLeavesTheThreadAsItWas) {
  const ThreadMark head = ChainHead();
  int result = 0;
  GuardResult r = GuardedCall(result, Get<Fn2>("ProbeAdd"), 40, 2);
  EXPECT_EQ(r.outcome, CallOutcome::Returned);
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(ChainHead(), head);
  // Also when the callee breaks the calling convention and returns with the
  // frame pointer and the other saved registers changed.
  r = GuardedCall(result, Get<Fn0>("ProbeClobberFrame"));
  EXPECT_EQ(r.outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 900);
  EXPECT_EQ(ChainHead(), head);
}

TEST_F(FaultGuard, EachFaultKindComesBackWithItsCode) {
  ExpectFault(EXCEPTION_ACCESS_VIOLATION, Get<Fn0>("ProbeWriteNull"));
  ExpectFault(EXCEPTION_ILLEGAL_INSTRUCTION, Get<Fn0>("ProbeIllegal"));
  ExpectFault(EXCEPTION_INT_DIVIDE_BY_ZERO, Get<Fn1>("ProbeDivide"), 7);
  ExpectFault(EXCEPTION_STACK_OVERFLOW, Get<Fn1>("ProbeRecurse"), 0);
  // Still working afterwards: a normal call, an allocation, a system call.
  int result = 0;
  EXPECT_EQ(GuardedCall(result, Get<Fn2>("ProbeAdd"), 1, 2).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 3);
  std::string s(100000, 'x');
  EXPECT_EQ(s.size(), 100000u);
  EXPECT_NE(::GetTickCount(), 0u);
}

TEST_F(FaultGuard, StackOverflowIsCaughtAgainAndAgain) {
  // Only a re-armed guard page reports the second overflow as an overflow.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ExpectFault(EXCEPTION_STACK_OVERFLOW, Get<Fn1>("ProbeRecurse"), 0);
  }
}

TEST_F(FaultGuard, ManyFaultsInARowLeaveTheChainIntact) {
  Fn0 wn = Get<Fn0>("ProbeWriteNull");
  const ThreadMark head = ChainHead();
  int faulted = 0;
  for (int i = 0; i < 2000; ++i) {
    int result;
    faulted += GuardedCall(result, wn).outcome == CallOutcome::Faulted;
  }
  EXPECT_EQ(faulted, 2000);
  EXPECT_EQ(ChainHead(), head);
}

TEST_F(FaultGuard, UncaughtExceptionsOfEveryCodeAreFaults) {
  Fn2 raise = Get<Fn2>("ProbeRaise");
  ExpectFault(DWORD{0xE0000001}, raise, int(0xE0000001), 0);
  // Non-continuable: the guard leaves the handler by jumping, not by continuing.
  ExpectFault(DWORD{0xE06D7363}, raise, int(0xE06D7363), int(EXCEPTION_NONCONTINUABLE));
  // How Delphi and C++Builder code fails, and codes of no error severity.
  ExpectFault(DWORD{0x0EEDFADE}, raise, int(0x0EEDFADE), int(EXCEPTION_NONCONTINUABLE));
  ExpectFault(DWORD{0x0EEFFACE}, raise, int(0x0EEFFACE), int(EXCEPTION_NONCONTINUABLE));
  ExpectFault(DWORD{0x40000015}, raise, int(0x40000015), 0);
  ExpectFault(DWORD{EXCEPTION_BREAKPOINT}, Get<Fn0>("ProbeBreakpoint"));
}

TEST(FaultGuardPolicy, FaultsInTheProgramsOwnCodeAreNotTheCallees) {
  EXCEPTION_RECORD rec{};
  rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  rec.ExceptionAddress = reinterpret_cast<void*>(&ChainHead);  // this program's own code
  spi::detail::GuardScope scope;
  EXPECT_FALSE(spi::GuardCatches(rec, scope));
  rec.ExceptionAddress = reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "Sleep"));
  EXPECT_TRUE(spi::GuardCatches(rec, scope));
  // A read error of a mapped file is the file's, wherever it is met.
  rec.ExceptionCode = EXCEPTION_IN_PAGE_ERROR;
  rec.ExceptionAddress = reinterpret_cast<void*>(&ChainHead);
  EXPECT_TRUE(spi::GuardCatches(rec, scope));
  // So is a read fault of our own code inside the file the call reads (a
  // file cut short under its mapping), but not one past it, nor a write.
  char file[64];
  scope.reading = {file, 32};
  rec = {EXCEPTION_ACCESS_VIOLATION, 0, nullptr, reinterpret_cast<void*>(&ChainHead), 2, {0, ULONG_PTR(file + 31)}};
  EXPECT_TRUE(spi::GuardCatches(rec, scope));
  rec.ExceptionInformation[1] += 1;
  EXPECT_FALSE(spi::GuardCatches(rec, scope));
  rec.ExceptionInformation[0] = 1;  // writing
  rec.ExceptionInformation[1] -= 2;
  EXPECT_FALSE(spi::GuardCatches(rec, scope));
}

TEST_F(FaultGuard, ExceptionsTheDllHandlesItselfPassUntouched) {
  const ThreadMark head = ChainHead();
  int result = 0;
  EXPECT_EQ(GuardedCall(result, Get<Fn0>("ProbeRaiseHandled")).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 101);
  EXPECT_EQ(GuardedCall(result, Get<Fn0>("ProbeFaultHandled")).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 201);
  EXPECT_EQ(GuardedCall(result, Get<Fn1>("ProbeThrowCaught"), 1).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 300);
  // IsBadReadPtr probes under the system's own handler and answers TRUE.
  EXPECT_EQ(GuardedCall(result, Get<Fn0>("ProbeBadReadPtr")).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 401);
  EXPECT_EQ(ChainHead(), head);
}

TEST_F(FaultGuard, TheDllsOwnFramesAreUnwoundOnceOnAFault) {
  Fn0 count = Get<Fn0>("ProbeUnwindCount");
  // A broken frame's unwind handler faults too: it is not unwound again.
  for (int broken : {0, 1}) {
    SCOPED_TRACE(broken);
    int before = 0, after = 0;
    ASSERT_EQ(GuardedCall(before, count).outcome, CallOutcome::Returned);
    ExpectFault(EXCEPTION_ACCESS_VIOLATION, Get<Fn1>("ProbeFaultUnderOwnFrame"), broken);
    ASSERT_EQ(GuardedCall(after, count).outcome, CallOutcome::Returned);
    EXPECT_EQ(after - before, 1);
  }
}

TEST_F(FaultGuard, X87StateAndDirectionFlagAreRestoredOnBothPaths) {
  const unsigned short cw = X87ControlWord();
  const unsigned crt_view = _control87(0, 0);
  const int changed = (cw ^ 0x0C00) & 0xFFFF;  // other rounding mode
  int result = 0;
  EXPECT_EQ(GuardedCall(result, Get<Fn1>("ProbeSetControlWord"), changed).outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 500);
  EXPECT_EQ(X87ControlWord(), cw);
  EXPECT_EQ(_control87(0, 0), crt_view);

  // The fault path also empties the x87 stack and clears the direction flag
  // the DLL left behind.
  ExpectFault(EXCEPTION_ACCESS_VIOLATION, Get<Fn1>("ProbeSetControlWordThenFault"), changed);
  EXPECT_EQ(X87ControlWord(), cw);
  EXPECT_EQ(_control87(0, 0), crt_view);
  EXPECT_EQ((X87Status() >> 11) & 7, 0) << "x87 stack top";
  EXPECT_FALSE(DirectionFlagSet());
  volatile double a = 1.0, b = 3.0;
  EXPECT_DOUBLE_EQ(a / b * 3.0, 1.0);

  // So does a normal return, after MMX code without emms, with an x87
  // exception pending and DF set.
  GuardedCall(result, Get<Fn0>("ProbeDirtyReturn"));
  const Leftovers left = LookAndClean();
  EXPECT_EQ(result, 800);
  EXPECT_FALSE(left.direction_flag);
  EXPECT_NEAR(static_cast<double>(left.third), 1.0 / 3.0, 1e-15);
}

// A host function the DLL might reach through a callback: it makes a
// guarded call of its own that faults, then returns normally.
Fn0 g_inner;
int __stdcall InnerFaultsThenReturns(int v) {
  spi::HostCallback ours;
  int r;
  GuardResult g = GuardedCall(r, g_inner);
  return g.outcome == CallOutcome::Faulted && g.code == EXCEPTION_ACCESS_VIOLATION ? v : -1;
}
using CallBackFn = int(__stdcall*)(int(__stdcall*)(int), int);
int* volatile g_nowhere = nullptr;
int __stdcall HostFaults(int) { return *g_nowhere; }
// A callback of ours that faults inside a system DLL it calls.
const char* volatile g_no_text = nullptr;
int __stdcall HostCallbackFaultsInSystemDll(int) {
  spi::HostCallback ours;
  using Strlen = std::size_t(__cdecl*)(const char*);
  auto strlen_in_crt =
      reinterpret_cast<Strlen>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("msvcrt.dll"), "strlen")));
  return static_cast<int>(strlen_in_crt(g_no_text));
}

TEST_F(FaultGuard, NestedGuardedCallsAreIndependent) {
  g_inner = Get<Fn0>("ProbeWriteNull");
  const ThreadMark head = ChainHead();
  int result = 0;
  // The DLL calls back into us; our callback makes a guarded call that faults.
  GuardResult r = GuardedCall(result, Get<CallBackFn>("ProbeCallBack"), &InnerFaultsThenReturns, 77);
  EXPECT_EQ(r.outcome, CallOutcome::Returned);
  EXPECT_EQ(result, 78);
  EXPECT_EQ(ChainHead(), head);
}

// Run only as a child process of the test below: a fault in this program's
// own code, reached through a guarded call, is not hidden as the callee's.
// MVT_GUARD_CHILD names the callback: 1 faults in our code, 2 in a system
// DLL our callback called.
constexpr DWORD kGuardReturned = 0x600D;
LONG WINAPI ExitWithCode(EXCEPTION_POINTERS* p) { ::ExitProcess(p->ExceptionRecord->ExceptionCode); }

TEST_F(FaultGuard, DISABLED_HostFaultChild) {
  char which[4] = {};
  if (!::GetEnvironmentVariableA("MVT_GUARD_CHILD", which, sizeof which)) GTEST_SKIP() << "a child of the test below";
  ::SetUnhandledExceptionFilter(&ExitWithCode);
  int result = 0;
  GuardedCall(result, Get<CallBackFn>("ProbeCallBack"), which[0] == '1' ? &HostFaults : &HostCallbackFaultsInSystemDll,
              1);
  ::ExitProcess(kGuardReturned);
}

TEST_F(FaultGuard, HostFaultUnderAGuardEndsTheProgramInsteadOfBlamingTheCallee) {
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  for (const char* which : {"1", "2"}) {
    SCOPED_TRACE(which);
    std::string cmd = std::string("\"") + exe +
                      "\" --gtest_filter=FaultGuard.DISABLED_HostFaultChild --gtest_also_run_disabled_tests";
    ::SetEnvironmentVariableA("MVT_GUARD_CHILD", which);
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA("MVT_GUARD_CHILD", nullptr);
    ASSERT_TRUE(started);
    mv::unique_handle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, DWORD{EXCEPTION_ACCESS_VIOLATION}) << std::hex << code;
  }
}

TEST_F(FaultGuard, CppExceptionsOfTheHostStillWorkAfterFaults) {
  ExpectFault(EXCEPTION_ACCESS_VIOLATION, Get<Fn0>("ProbeWriteNull"));
  ExpectFault(EXCEPTION_STACK_OVERFLOW, Get<Fn1>("ProbeRecurse"), 0);
  struct Counted {
    int* n;
    ~Counted() { ++*n; }
  };
  int destroyed = 0;
  std::string caught;
  try {
    Counted c{&destroyed};
    throw std::runtime_error("host");
  } catch (const std::runtime_error& e) {
    caught = e.what();
  }
  EXPECT_EQ(caught, "host");
  EXPECT_EQ(destroyed, 1);
  EXPECT_THROW(std::string().at(1), std::out_of_range);
}

// Cost of the guard: a million calls of a trivial stdcall function, with
// and without it. The bound is loose (timing under Wine varies); it fails
// only if the guard did something expensive, such as a system call.
TEST_F(FaultGuard, CostPerCallIsSmall) {
  Fn2 add = Get<Fn2>("ProbeAdd");
  constexpr int kCalls = 1000000;
  LARGE_INTEGER freq;
  ::QueryPerformanceFrequency(&freq);
  auto now = [] {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
  };
  auto per_call = [&](LONGLONG ticks) { return ticks * 1e9 / double(freq.QuadPart) / kCalls; };
  Fn2 volatile vadd = add;  // keeps the plain loop from being folded
  double plain = 1e9, guarded = 1e9;
  for (int round = 0; round < 3; ++round) {  // best of three against noise
    int sum = 0;
    auto t0 = now();
    for (int i = 0; i < kCalls; ++i) sum += vadd(i, 1);
    auto t1 = now();
    int gsum = 0;
    for (int i = 0; i < kCalls; ++i) {
      int r = 0;
      GuardedCall(r, vadd, i, 1);
      gsum += r;
    }
    auto t2 = now();
    EXPECT_EQ(sum, gsum);
    plain = std::min(plain, per_call(t1 - t0));
    guarded = std::min(guarded, per_call(t2 - t1));
  }
  std::printf("guard cost: plain %.2f ns/call, guarded %.2f ns/call, overhead %.2f ns/call\n", plain, guarded,
              guarded - plain);
  RecordProperty("plain_ns", std::to_string(plain));
  RecordProperty("guarded_ns", std::to_string(guarded));
  EXPECT_LT(guarded - plain, 500.0);
}

}  // namespace
