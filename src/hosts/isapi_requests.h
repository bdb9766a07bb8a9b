// The ISAPI requests being served, one control block per serving thread. The crash reporter's
// own "HttpExtensionProc" export is redirected to HookedHttpExtensionProc, which notes the
// request's control block for the thread that serves it and restores the previous entry on
// return; an error answer then goes to the faulting thread's own request, never to another
// client's or to a request that has already ended.
#pragma once

#include <windows.h>
// windows.h first: the extension header needs its types.
#include <httpext.h>

namespace vl::hosts {

DWORD WINAPI HookedHttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb);

// Redirects this module's "HttpExtensionProc" export to HookedHttpExtensionProc; false when the
// module has no such export or it cannot be patched (traced). Does nothing when installed.
bool InstallHttpExtensionHook();
// Puts the export back for good (a request may still be inside the trampoline, so the
// trampoline stays).
void RemoveHttpExtensionHook();

// The control block of the request ThreadId is serving; null when it serves none.
EXTENSION_CONTROL_BLOCK* ServingControlBlock(DWORD threadId);

}  // namespace vl::hosts
