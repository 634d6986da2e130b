// The 32-bit guard: a registration record linked into the fs:0 chain.
#if defined(__i386__)
#include "plugins/fault_guard.h"

#include <malloc.h>

#include <cstddef>

namespace {

// The registration record. The first two fields are the layout the system
// walks; the rest is ours and is found again through EstablisherFrame.
// Offsets are used by the assembly below.
struct GuardFrame {
  GuardFrame* prev;        // 0: the chain as it was before the call
  void* handler;           // 4
  void* resume_esp;        // 8: stack pointer of the entry code after its pushes
  DWORD code;              // 12: exception code, set by the handler
  unsigned short x87_cw;   // 16: control word before the call
  ULONG_PTR address;       // the address a fault could not access
};
static_assert(offsetof(GuardFrame, resume_esp) == 8 && offsetof(GuardFrame, code) == 12 &&
              offsetof(GuardFrame, x87_cw) == 16);

}  // namespace

extern "C" {
// int mv_guard_enter(GuardFrame*, int (*thunk)(void*), void* ctx, int* result)
// Returns 0 when the thunk returned (its value stored in *result), 1 when the
// handler resumed here after a fault.
int mv_guard_enter(GuardFrame* frame, int (*thunk)(void*), void* ctx, int* result);
// Unwinds the frames above `frame` and resumes mv_guard_enter's fault path.
[[noreturn]] void mv_guard_unwind_and_resume(GuardFrame* frame, EXCEPTION_RECORD* rec);
EXCEPTION_DISPOSITION __cdecl mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*, void*);
}

// Written in assembly so that no compiler-generated code sits between
// linking the record and the call, and so that the fault path can return
// through the same epilogue with the callee-saved registers it pushed.
// After the four pushes: 20(%esp) frame, 24 thunk, 28 ctx, 32 result; ebp
// keeps that address while the thunk runs on a 16-byte aligned stack (the
// system promises only 4, some compilers' code wants 16).
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
    movl %ebp, %esp
    movl 32(%esp), %ecx
    movl %eax, (%ecx)
    movl 20(%esp), %eax
    movl (%eax), %edx
    movl %edx, %fs:0
    fldcw 16(%eax)
    xorl %eax, %eax
    jmp 1f
_mv_guard_resume:
    movl 20(%esp), %eax
    movl (%eax), %edx
    movl %edx, %fs:0
    cld
    fninit
    fldcw 16(%eax)
    movl $1, %eax
1:  popl %edi
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
)");
// Notes on the assembly:
// - RtlUnwind calls the unwind handlers of the plug-in's frames, removes
//   them and leaves our record at the head; it may not keep ebx/esi/edi, so
//   the frame pointer is read back from our own argument slot.
// - The fault path clears the direction flag and reinitialises the x87
//   unit: the plug-in may have stopped with DF set or values on the x87
//   stack, which would break the host's next string or float operation.

extern "C" EXCEPTION_DISPOSITION __cdecl mv_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*,
                                                          void*) {
  // Unwind calls (ours or an outer handler's) just pass through.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (!spi::GuardCatches(*rec)) return ExceptionContinueSearch;
  auto* frame = static_cast<GuardFrame*>(establisher);
  frame->code = rec->ExceptionCode;
  frame->address = spi::FaultAddress(*rec);
  // Leaving the handler by a jump, not by ExceptionContinueExecution: the
  // latter is refused for non-continuable exceptions.
  mv_guard_unwind_and_resume(frame, rec);
}

namespace spi {

// No objects with destructors here: the frame record must be a plain local,
// and nothing between it and the plug-in may need unwinding.
GuardResult GuardedInvoke(int (*thunk)(void* ctx), void* ctx, int& result) {
  GuardFrame frame{};
  // Plug-ins built with other compilers change the SSE control register as
  // well (the C runtime's _control87 sets both units): it is put back on
  // both paths, like the x87 control word.
  unsigned mxcsr = 0;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  const int entered = mv_guard_enter(&frame, thunk, ctx, &result);
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  if (entered == 0) return {CallOutcome::Returned, 0};
  // The overflow consumed the guard page; without it the next overflow
  // would be an access violation, or kill the process.
  if (frame.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return {CallOutcome::Faulted, frame.code, frame.address};
}

}  // namespace spi
#endif  // __i386__
