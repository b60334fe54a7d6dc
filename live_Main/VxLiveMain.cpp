// The plug-in module's entry point and its one application object.
#include <windows.h>

#include "live_Main/boundary/VxLiveApp.h"
#include "live_Main/host/VxHostLibraries.h"

namespace {
VxLiveApp gLiveApp;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  // A non-null `reserved` at detach means the process is ending: Windows has
  // already killed the other threads and may have detached the libraries this
  // module loaded after itself, so calling into them, freeing them or waiting
  // would crash or hang. The operating system reclaims everything anyway.
  if (reason == DLL_PROCESS_DETACH && reserved) {
    VxHostLibraries::Instance().AbandonAtProcessExit();
    return TRUE;
  }
  VxApp* app = VxApp::Current();
  if (!app)
    return FALSE;
  return app->ProcessAttachDetach(module, reason) ? TRUE : FALSE;
}
