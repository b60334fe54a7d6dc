// The plug-in module's entry point and its one application object.
#include <windows.h>

#include "live_Main/boundary/VxLiveApp.h"

namespace {
VxLiveApp gLiveApp;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  VxApp* app = VxApp::Current();
  if (!app)
    return FALSE;
  return app->ProcessAttachDetach(module, reason) ? TRUE : FALSE;
}
