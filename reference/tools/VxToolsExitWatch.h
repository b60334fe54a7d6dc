// Watches for calls that reach the library while the process is ending.
//
// At process exit Windows detaches the libraries in its own order: a library
// that a module loaded after itself is often detached first, and a call into
// it from that module's own detach then lands in a library whose objects are
// gone. Wine detaches in the other order and hides the fault, so this library
// reports, in its log, every watched call that arrives once the loader has
// begun shutting the process down or after its own detach:
//
//   Process detach (process exit: 1)
//   Late call during process exit: <call>
//
// Lines go out through a raw append to the log file, which needs none of the
// library's objects. Any thread may call.
#pragma once

#include "foundation/VxString.h"

namespace VxToolsExitWatch {

// From the library's DllMain at DLL_PROCESS_DETACH; only a process exit is
// logged and watched.
void Detached(bool processExit);
// Logs `call` as a late call when the process is ending or the library is
// detached; does nothing otherwise.
void Check(const char* call);
// The same for a note, converted only when it is late.
void Check(const VxString& call);

}  // namespace VxToolsExitWatch
