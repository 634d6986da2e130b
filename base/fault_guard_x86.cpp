// The 32-bit guard: a registration record linked into the fs:0 chain.
#if defined(__i386__)
#include "base/fault_guard.h"

#include <cstddef>

namespace {

// The registration record. The first two fields are the layout the system
// walks; the rest is ours and is found again through EstablisherFrame, or
// through the thread's innermost GuardScope. Offsets are used by the
// assembly below.
struct GuardFrame {
  GuardFrame* prev;        // 0: the chain as it was before the call
  void* handler;           // 4
  void* resume_esp;        // 8: stack pointer of the entry code after its pushes
  spi::detail::GuardScope* scope;  // 12
  unsigned short x87_cw;   // 16: control word before the call
};
static_assert(offsetof(GuardFrame, resume_esp) == 8 && offsetof(GuardFrame, x87_cw) == 16);

}  // namespace

extern "C" {
// int mv_guard_enter(GuardFrame*, int (*thunk)(void*), void* ctx, int* result)
// Returns 0 when the thunk returned (its value stored in *result), 1 when the
// handler resumed here after a fault.
int mv_guard_enter(GuardFrame* frame, int (*thunk)(void*), void* ctx, int* result);
// Unwinds the frames above `frame` and resumes mv_guard_enter's fault path.
[[noreturn]] void mv_guard_unwind_and_resume(GuardFrame* frame, EXCEPTION_RECORD* rec);
// Resumes the fault path at once, leaving the frames above as they are.
[[noreturn]] void mv_guard_resume_now(GuardFrame* frame);
EXCEPTION_DISPOSITION __cdecl mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*, void*);
// The record of the call that just returned. The callee's last error is
// kept (TlsGetValue clears it).
GuardFrame* mv_guard_frame() {
  const DWORD error = ::GetLastError();
  auto* frame = static_cast<GuardFrame*>(spi::detail::InnermostGuard()->frame);
  ::SetLastError(error);
  return frame;
}
}

// Written in assembly so that no compiler-generated code sits between
// linking the record and the call, and so that the fault path can return
// through the same epilogue with the callee-saved registers it pushed.
// After the four pushes: 20(%esp) frame, 24 thunk, 28 ctx, 32 result; ebp
// keeps that address while the thunk runs on a 16-byte aligned stack (the
// system promises only 4, some compilers' code wants 16). A callee may
// return with ebp (or any register) changed: the stack pointer then comes
// back from the record, found through the thread's guard slot.
asm(R"(
    .text
    .globl _mv_guard_enter
    .def _mv_guard_enter; .scl 2; .type 32; .endef
_mv_guard_enter:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %ebp
    movl 20(%ebp), %eax
    fnstcw 16(%eax)
    movl %esp, 8(%eax)
    movl $_mv_guard_handler, 4(%eax)
    movl %fs:0, %edx
    movl %edx, (%eax)
    movl %eax, %fs:0
    andl $-16, %esp
    subl $12, %esp
    pushl 28(%ebp)
    call *24(%ebp)
    cld
    movl %eax, %esi
    call _mv_guard_frame
    movl 8(%eax), %esp
    movl 32(%esp), %ecx
    movl %esi, (%ecx)
    xorl %ecx, %ecx
    fnclex
    emms
    jmp 1f
_mv_guard_resume:
    movl 20(%esp), %eax
    cld
    movl $1, %ecx
    fninit
1:  movl (%eax), %edx
    movl %edx, %fs:0
    fldcw 16(%eax)
    movl %ecx, %eax
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _mv_guard_unwind_and_resume
    .def _mv_guard_unwind_and_resume; .scl 2; .type 32; .endef
_mv_guard_unwind_and_resume:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    pushl $0
    pushl %ecx
    pushl $0
    pushl %eax
    call *__imp__RtlUnwind@16
    movl 4(%esp), %eax
    movl 8(%eax), %esp
    jmp _mv_guard_resume

    .globl _mv_guard_resume_now
    .def _mv_guard_resume_now; .scl 2; .type 32; .endef
_mv_guard_resume_now:
    movl 4(%esp), %eax
    movl 8(%eax), %esp
    jmp _mv_guard_resume
)");
// Notes on the assembly:
// - RtlUnwind calls the unwind handlers of the plug-in's frames, removes
//   them and leaves our record at the head; it may not keep ebx/esi/edi, so
//   the frame pointer is read back from our own argument slot.
// - Both paths clear the direction flag and empty the x87 registers: the
//   plug-in may have left DF set, values on the x87 stack or MMX state
//   (which marks every x87 register in use), any of which breaks the host's
//   next string or float operation. A return needs only fnclex (first: a
//   pending unmasked exception would fault the next x87 or MMX instruction,
//   emms included) and emms; the fault path, rare and left at any point,
//   reinitialises the whole unit (fninit is costly enough to show in the
//   cost of every call).

extern "C" EXCEPTION_DISPOSITION __cdecl mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*,
                                                          void*) {
  // Unwind calls (ours or an outer handler's) just pass through.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  auto* frame = static_cast<GuardFrame*>(establisher);
  spi::detail::GuardScope& scope = *frame->scope;
  // A fault while our unwind runs the plug-in's unwind handlers: unwinding
  // again would meet the same handler, for ever. What is left above us is
  // abandoned.
  if (scope.unwinding) mv_guard_resume_now(frame);
  if (!spi::detail::TakeFault(scope, *rec)) return ExceptionContinueSearch;
  // An overflow leaves too little stack for an unwind: the plug-in's frames
  // are simply dropped.
  if (rec->ExceptionCode == EXCEPTION_STACK_OVERFLOW) mv_guard_resume_now(frame);
  scope.unwinding = true;
  // Leaving the handler by a jump, not by ExceptionContinueExecution: the
  // latter is refused for non-continuable exceptions.
  mv_guard_unwind_and_resume(frame, rec);
}

namespace spi::detail {

// No objects with destructors here: the frame record must be a plain local,
// and nothing between it and the plug-in may need unwinding.
bool RunGuarded(GuardScope& scope, int (*thunk)(void* ctx), void* ctx, int& result) {
  GuardFrame frame{};
  frame.scope = &scope;
  scope.frame = &frame;
  // Plug-ins built with other compilers change the SSE control register as
  // well (the C runtime's _control87 sets both units): it is put back on
  // both paths, like the x87 control word.
  unsigned mxcsr = 0;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  const int entered = mv_guard_enter(&frame, thunk, ctx, &result);
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  return entered != 0;
}

}  // namespace spi::detail
#endif  // __i386__
