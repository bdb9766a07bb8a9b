// Routines of the test executable with known prologues, for the hooking tests.
#pragma once

extern "C" {
// Hot-patch prologue (8B FF 55 8B EC on 32-bit, 48 8D A4 24 00000000 on 64-bit): a * b.
int ExeMultiply(int a, int b);
// Prologue with a call rel32 among the moved instructions (push ebx; sub esp,18h; call on
// 32-bit as in the language raise routine, sub rsp,28h; call on 64-bit): 1000 + value.
int HookAsm_CallPrologue(int value);
}

// The executable's own import jump stub for GetTickCount (FF 25 [slot] 90 90).
void* ImportStubOfGetTickCount();
