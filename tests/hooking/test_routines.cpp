// No <windows.h> here: GetTickCount is declared without dllimport so that its address is the
// executable's import jump stub, not the routine itself.
#include "hooking/test_routines.h"

extern "C" {

__attribute__((noipa, ms_hook_prologue)) int ExeMultiply(int a, int b) { return a * b; }

#if defined(__x86_64__)
__asm__(R"(
  .text
  .globl HookAsm_CallPrologue
  .p2align 4
HookAsm_CallPrologue:
  subq $0x28, %rsp
  call HookAsm_Helper
  addl %ecx, %eax
  addq $0x28, %rsp
  ret
  .p2align 4
HookAsm_Helper:
  movl $1000, %eax
  ret
)");
unsigned long GetTickCount(void);
#else
__asm__(R"(
  .text
  .globl _HookAsm_CallPrologue
  .p2align 4
_HookAsm_CallPrologue:
  pushl %ebx
  subl $0x18, %esp
  call _HookAsm_Helper
  addl 0x20(%esp), %eax
  addl $0x18, %esp
  popl %ebx
  ret
  .p2align 4
_HookAsm_Helper:
  movl $1000, %eax
  ret
)");
__attribute__((stdcall)) unsigned long GetTickCount(void);
#endif
}

void* ImportStubOfGetTickCount() { return reinterpret_cast<void*>(&GetTickCount); }
