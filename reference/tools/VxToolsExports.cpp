// The library's exports (undecorated through VxTools.def).
#include <windows.h>

#include "reference/tools/VxReferenceTools.h"
#include "reference/tools/VxToolsExitWatch.h"
#include "reference/tools/VxToolsLogListener.h"
#include "reference/tools/VxToolsOptions.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_DETACH)
    VxToolsExitWatch::Detached(reserved != nullptr);
  return TRUE;
}

IVxTools* GetVxToolsDLL(int32_t version) noexcept {
  if (version != kVxToolsInterfaceVersion)
    return nullptr;
  return &VxReferenceTools::Instance();
}

// Sets an option for this process (names as the environment variables); a null
// value removes the setting so the environment variable counts again.
void VxToolsSetOption(const wchar_t* name, const wchar_t* value) noexcept {
  if (!name)
    return;
  VxToolsOptions::Instance().Set(reinterpret_cast<const char16_t*>(name),
                                 reinterpret_cast<const char16_t*>(value));
}

// Initialize calls minus Uninitialize calls the library has seen from `module`.
int VxToolsInitializeCount(HINSTANCE module) noexcept {
  return VxReferenceTools::Instance().InitializeCount(module);
}

// A function called from inside Initialize and Uninitialize (after the
// library's own log line) with the call's name; null removes it.
void VxToolsSetCallHook(VxReferenceTools::CallHook hook) noexcept {
  VxReferenceTools::Instance().SetCallHook(hook);
}

// Installs a function that receives every log entry (VxToolsLogListener.h);
// null removes it.
void VxToolsSetLogListener(VxToolsLogListener listener, void* context) noexcept {
  VxReferenceTools::Instance().Log().SetListener(listener, context);
}

}  // extern "C"
