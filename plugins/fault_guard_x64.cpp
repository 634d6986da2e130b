// The 64-bit guard. x64 has no handler chain: the system finds handlers
// through each function's unwind data. The entry below declares
// mv_guard_handler as its exception handler in that data, so the handler
// is asked only after every frame of the plug-in has declined; it then
// unwinds those frames with RtlUnwindEx, which resumes the entry at
// mv_guard_resume on its own stack frame.
#if defined(__x86_64__)
#include "plugins/fault_guard.h"

#include <malloc.h>

#include <cstddef>

namespace {

struct GuardFrame {
  DWORD code;              // 0: exception code, set by the handler
  unsigned mxcsr;          // 4: SSE control register before the call
  unsigned short x87_cw;   // 8: x87 control word before the call
  ULONG_PTR address;       // the address a fault could not access
};
static_assert(offsetof(GuardFrame, mxcsr) == 4 && offsetof(GuardFrame, x87_cw) == 8);

// The entry keeps its GuardFrame pointer at this offset from its stack
// pointer, which is the establisher frame the system hands the handler.
constexpr std::size_t kFrameSlot = 32;

}  // namespace

extern "C" {
// int mv_guard_enter(GuardFrame*, int (*thunk)(void*), void* ctx, int* result)
// Returns 0 when the thunk returned (its value stored in *result), 1 when the
// handler resumed it after a fault.
int mv_guard_enter(GuardFrame* frame, int (*thunk)(void*), void* ctx, int* result);
void mv_guard_resume();
EXCEPTION_DISPOSITION mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*, DISPATCHER_CONTEXT* dc);
}

// The entry saves every non-volatile register (general and xmm6 to xmm15)
// in its own frame, so that whatever the plug-in left in them, the caller
// gets its own values back on both paths. Frame after the prologue:
// 0..31 home space for the thunk, 32 the GuardFrame pointer, 40 the result
// pointer, 48..207 xmm6..xmm15. Eight pushes and 216 bytes keep the stack
// 16-byte aligned at the call.
asm(R"(
    .text
    .globl mv_guard_enter
    .def mv_guard_enter; .scl 2; .type 32; .endef
    .seh_proc mv_guard_enter
mv_guard_enter:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rbx
    .seh_pushreg %rbx
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %r12
    .seh_pushreg %r12
    pushq %r13
    .seh_pushreg %r13
    pushq %r14
    .seh_pushreg %r14
    pushq %r15
    .seh_pushreg %r15
    subq $216, %rsp
    .seh_stackalloc 216
    movaps %xmm6, 48(%rsp)
    .seh_savexmm %xmm6, 48
    movaps %xmm7, 64(%rsp)
    .seh_savexmm %xmm7, 64
    movaps %xmm8, 80(%rsp)
    .seh_savexmm %xmm8, 80
    movaps %xmm9, 96(%rsp)
    .seh_savexmm %xmm9, 96
    movaps %xmm10, 112(%rsp)
    .seh_savexmm %xmm10, 112
    movaps %xmm11, 128(%rsp)
    .seh_savexmm %xmm11, 128
    movaps %xmm12, 144(%rsp)
    .seh_savexmm %xmm12, 144
    movaps %xmm13, 160(%rsp)
    .seh_savexmm %xmm13, 160
    movaps %xmm14, 176(%rsp)
    .seh_savexmm %xmm14, 176
    movaps %xmm15, 192(%rsp)
    .seh_savexmm %xmm15, 192
    .seh_handler mv_guard_handler, @except
    .seh_endprologue
    movq %rcx, 32(%rsp)
    movq %r9, 40(%rsp)
    stmxcsr 4(%rcx)
    fnstcw 8(%rcx)
    movq %r8, %rcx
    call *%rdx
    movq 40(%rsp), %rcx
    movl %eax, (%rcx)
    movq 32(%rsp), %rcx
    ldmxcsr 4(%rcx)
    fldcw 8(%rcx)
    xorl %eax, %eax
    jmp 1f
    .globl mv_guard_resume
mv_guard_resume:
    movq 32(%rsp), %rcx
    cld
    fninit
    fldcw 8(%rcx)
    ldmxcsr 4(%rcx)
    movl $1, %eax
1:  movaps 48(%rsp), %xmm6
    movaps 64(%rsp), %xmm7
    movaps 80(%rsp), %xmm8
    movaps 96(%rsp), %xmm9
    movaps 112(%rsp), %xmm10
    movaps 128(%rsp), %xmm11
    movaps 144(%rsp), %xmm12
    movaps 160(%rsp), %xmm13
    movaps 176(%rsp), %xmm14
    movaps 192(%rsp), %xmm15
    addq $216, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
    .seh_endproc
)");
// The fault path clears the direction flag and reinitialises the x87 unit:
// the plug-in may have stopped with DF set or values on the x87 stack.

extern "C" EXCEPTION_DISPOSITION mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*,
                                                  DISPATCHER_CONTEXT* dc) {
  // Unwind calls (ours or an outer handler's) just pass through.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (!spi::GuardCatches(*rec)) return ExceptionContinueSearch;
  auto* frame = *reinterpret_cast<GuardFrame**>(static_cast<char*>(establisher) + kFrameSlot);
  frame->code = rec->ExceptionCode;
  frame->address = spi::FaultAddress(*rec);
  // Runs the plug-in frames' unwind handlers, then continues at
  // mv_guard_resume with the entry's stack pointer and rax = 1. The
  // dispatcher's context record serves as scratch, as the system's own
  // language handlers use it.
  ::RtlUnwindEx(establisher, reinterpret_cast<void*>(&mv_guard_resume), rec, reinterpret_cast<void*>(1),
                dc->ContextRecord, dc->HistoryTable);
  __builtin_unreachable();
}

namespace spi {

// No objects with destructors here: nothing between the entry and the
// plug-in may need unwinding.
GuardResult GuardedInvoke(int (*thunk)(void* ctx), void* ctx, int& result) {
  GuardFrame frame{};
  if (mv_guard_enter(&frame, thunk, ctx, &result) == 0) return {CallOutcome::Returned, 0};
  // The overflow consumed the guard page; without it the next overflow
  // would be an access violation, or kill the process.
  if (frame.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return {CallOutcome::Faulted, frame.code, frame.address};
}

}  // namespace spi
#endif  // __x86_64__
