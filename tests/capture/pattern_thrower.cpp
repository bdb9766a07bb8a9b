// ThrowWithPatterns for each width, with unwind information (SEH directives on 64-bit, DWARF
// call-frame directives on 32-bit) so that the throw can pass it. It throws an int (42).
#include "capture/pattern_thrower.h"

#if defined(__x86_64__)
asm(R"(
  .text
  .globl ThrowWithPatterns
  .def ThrowWithPatterns; .scl 2; .type 32; .endef
  .seh_proc ThrowWithPatterns
ThrowWithPatterns:
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
  pushq %rbp
  .seh_pushreg %rbp
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  movabsq $0x1111111111111111, %rbx
  movabsq $0x2222222222222222, %rsi
  movabsq $0x3333333333333333, %rdi
  movabsq $0x4444444444444444, %r12
  movabsq $0x5555555555555555, %r13
  movabsq $0x6666666666666666, %r14
  movabsq $0x7777777777777777, %r15
  movabsq $0x1999999999999999, %rbp
  movl $4, %ecx
  call __cxa_allocate_exception
  movl $42, (%rax)
  movq %rax, %rcx
  leaq _ZTIi(%rip), %rdx
  xorl %r8d, %r8d
  call __cxa_throw
  nop
  addq $40, %rsp
  popq %rbp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rdi
  popq %rsi
  popq %rbx
  ret
  .seh_endproc
)");
#else
asm(R"(
  .text
  .globl _ThrowWithPatterns
  .def _ThrowWithPatterns; .scl 2; .type 32; .endef
_ThrowWithPatterns:
  .cfi_startproc
  pushl %ebp
  .cfi_def_cfa_offset 8
  .cfi_offset 5, -8
  pushl %ebx
  .cfi_def_cfa_offset 12
  .cfi_offset 3, -12
  pushl %esi
  .cfi_def_cfa_offset 16
  .cfi_offset 6, -16
  pushl %edi
  .cfi_def_cfa_offset 20
  .cfi_offset 7, -20
  subl $12, %esp
  .cfi_def_cfa_offset 32
  movl $0x11111111, %ebx
  movl $0x22222222, %esi
  movl $0x33333333, %edi
  movl $0x19999999, %ebp
  movl $4, (%esp)
  call ___cxa_allocate_exception
  movl $42, (%eax)
  movl %eax, (%esp)
  movl $__ZTIi, 4(%esp)
  movl $0, 8(%esp)
  call ___cxa_throw
  .cfi_endproc
)");
#endif
