// VxLiveApp: the live plug-in module's application object.
//
// At attach it sets the runtime locale to the user's default, rebuilds the
// string library's character tables and loads the host libraries: the tools
// library must load and its product information must load, otherwise a
// "Critical Error" message box explains why and the module refuses to load.
// At detach (ExitInstance) it unloads the host libraries, telling the tools
// library first that this module is going away.
#pragma once

#include "foundation/VxString.h"
#include "live_Main/boundary/VxDllApp.h"

class VxLiveApp : public VxDllApp {
 public:
  VxLiveApp() = default;
  ~VxLiveApp() override = default;

  bool InitInstance() override;
  bool ExitInstance() override;
  bool LoadHostLibraries() override;
  bool WantsHostLibraries() override { return true; }

  // The text of the start-up failure box for module `modulePath` and `error`.
  static VxString CriticalErrorText(const VxString& modulePath, const VxString& error);
};
