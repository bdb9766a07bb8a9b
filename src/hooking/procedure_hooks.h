// Code patching: a routine's entry is overwritten with a 5-byte jump (E9 rel32) to its
// replacement, and a trampoline keeps the routine callable as it was.
//
// The trampoline is a copy of the routine's first whole instructions (at least the five bytes
// the patch covers), with relative call/jump operands and RIP-relative operands re-aimed at
// their old destinations, followed by a jump back to the first instruction not copied. Calls
// through it never touch the patched routine, so any number of threads may call the routine and
// its trampoline at the same time, and a routine that never returns (an unwinder's raise
// routine) can be hooked as well. A prologue that cannot be moved (a short jump, a branch into
// the patched bytes, an instruction unknown to the decoder, a routine shorter than the patch) is
// refused with EHookingError.
//
// On 64-bit Windows the trampoline lies within 2 GB of the routine; when the replacement is
// farther away the patch jumps to a 14-byte absolute jump ("relay") beside the trampoline.
// There a call made by the moved instructions runs without unwind data, so an exception that
// passes through such a call cannot be unwound past the trampoline.
//
// Patching is not atomic: hook routines before other threads can run them. A routine that jumps
// back into its own first five bytes is not detected and must not be hooked.
#pragma once

#include <string>

#include "hooking/prologue_relocator.h"

namespace vl::hooking {

// Patches Target (import jump stubs followed first) to jump to Replacement (likewise followed)
// and returns the trampoline. Raises EProcNull for a null target, ESharedArea for a target in
// the shared area of the Windows 9x family, EHookingError when the routine cannot be patched or
// Replacement is null. Name is the routine's display name for the messages.
void* HookProcedure(void* target, void* replacement, const std::string& name);

// Undoes one code patch: writes the saved bytes back over the routine and frees the trampoline
// (identified by the address HookProcedure returned). True when done, also for null or an
// unknown address (nothing to do). False when the bytes could not be written back: the routine
// still jumps to its replacement, so the hook and its trampoline are kept (and the failure is
// traced). The trampoline must not be running on another thread.
bool UnhookProcedure(void* trampoline);

// Writes the routine's original first bytes back and keeps the hook's record and trampoline:
// the routine runs unhooked until RehookProcedure. For a replacement that needs the original
// routine in place for a while. False (traced) for an unknown trampoline or a failed write.
bool UnpatchProcedure(void* trampoline);

// Writes the patch again over the routine that owns Trampoline. False (traced) for an unknown
// trampoline or a failed write.
bool RehookProcedure(void* trampoline);

// Unhooks every routine still hooked, the last hooked first (shut-down). A routine whose memory
// has gone (its module unloaded) is left alone. The trampolines' memory is never freed here:
// at the end of the process other threads may still run in it. A routine whose bytes cannot be
// written back keeps its hook. True when no hook is left.
bool UnhookAllProcedures();

// Number of routines currently hooked.
size_t HookedProcedureCount();

}  // namespace vl::hooking
