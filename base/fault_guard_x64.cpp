// The 64-bit guard. x64 has no handler chain: the system finds handlers
// through each function's unwind data. The entry below declares
// mv_guard_handler as its exception handler in that data, so the handler
// is asked only after every frame of the plug-in has declined; it then
// unwinds those frames with RtlUnwindEx, which resumes the entry at
// mv_guard_resume on its own stack frame.
#if defined(__x86_64__)
#include "base/fault_guard.h"

#include <cstddef>

namespace {

struct GuardFrame {
  spi::detail::GuardScope* scope;  // 0
  unsigned mxcsr;          // 8: SSE control register before the call
  unsigned short x87_cw;   // 12: x87 control word before the call
};
static_assert(offsetof(GuardFrame, mxcsr) == 8 && offsetof(GuardFrame, x87_cw) == 12);

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
    stmxcsr 8(%rcx)
    fnstcw 12(%rcx)
    movq %r8, %rcx
    call *%rdx
    movq 40(%rsp), %rcx
    movl %eax, (%rcx)
    xorl %eax, %eax
    movq 32(%rsp), %rcx
    fnclex
    emms
    jmp 1f
    .globl mv_guard_resume
mv_guard_resume:
    movl $1, %eax
    movq 32(%rsp), %rcx
    fninit
1:  cld
    fldcw 12(%rcx)
    ldmxcsr 8(%rcx)
    movaps 48(%rsp), %xmm6
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
// Both paths clear the direction flag and empty the x87 registers: the
// plug-in may have left DF set, values on the x87 stack or MMX state (which
// marks every x87 register in use), any of which breaks the host's next
// string or float operation. A return needs only fnclex (first: a pending
// unmasked exception would fault the next x87 or MMX instruction, emms
// included) and emms; the fault path, rare and left at any point,
// reinitialises the whole unit (fninit is costly enough to show in the cost
// of every call).

namespace {

// Continues at mv_guard_resume on the entry's frame at once, abandoning the
// frames above it without running their unwind handlers.
[[noreturn]] void ResumeNow(void* establisher, DISPATCHER_CONTEXT* dc) {
  CONTEXT* resume = dc->ContextRecord;
  resume->Rsp = reinterpret_cast<DWORD64>(establisher);
  resume->Rip = reinterpret_cast<DWORD64>(&mv_guard_resume);
  ::RtlRestoreContext(resume, nullptr);
  __builtin_unreachable();
}

}  // namespace

extern "C" EXCEPTION_DISPOSITION mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*,
                                                  DISPATCHER_CONTEXT* dc) {
  // Unwind calls (ours or an outer handler's) just pass through.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  auto* frame = *reinterpret_cast<GuardFrame**>(static_cast<char*>(establisher) + kFrameSlot);
  spi::detail::GuardScope& scope = *frame->scope;
  // A fault while our unwind runs the plug-in's unwind handlers: unwinding
  // again would meet the same handler, for ever.
  if (scope.unwinding) ResumeNow(establisher, dc);
  if (!spi::detail::TakeFault(scope, *rec)) return ExceptionContinueSearch;
  // An overflow leaves too little stack for an unwind (RtlUnwindEx alone
  // needs a few KB): the plug-in's frames are simply dropped.
  if (rec->ExceptionCode == EXCEPTION_STACK_OVERFLOW) ResumeNow(establisher, dc);
  scope.unwinding = true;
  // Runs the plug-in frames' unwind handlers, then continues at
  // mv_guard_resume on the entry's frame. The dispatcher's context record
  // serves as scratch, as the system's own language handlers use it.
  ::RtlUnwindEx(establisher, reinterpret_cast<void*>(&mv_guard_resume), rec, nullptr, dc->ContextRecord,
                dc->HistoryTable);
  __builtin_unreachable();
}

namespace spi::detail {

// No objects with destructors here: nothing between the entry and the
// plug-in may need unwinding.
bool RunGuarded(GuardScope& scope, int (*thunk)(void* ctx), void* ctx, int& result) {
  GuardFrame frame{};
  frame.scope = &scope;
  return mv_guard_enter(&frame, thunk, ctx, &result) != 0;
}

}  // namespace spi::detail
#endif  // __x86_64__
