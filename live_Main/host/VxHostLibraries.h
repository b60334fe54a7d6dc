// The host library set: the host's tools library and image library, loaded
// from the host installation and released again at unload.
//
// One module-wide object. Every load and unload happens under one lazily
// created critical section, because the settings store and the toolkit may
// load libraries from other threads. Tools() is null before the module's
// attach and after its detach; every caller checks it.
#pragma once

#include <windows.h>

#include "live_Main/host/IVxTools.h"
#include "live_Main/host/VxLoadLibrary.h"

class VxHostLibraries {
 public:
  static VxHostLibraries& Instance();

  // Each loads its library once (from the install path, see VxInstallInfo) and
  // returns whether it is loaded.
  bool LoadTools();
  bool LoadImage();
  // Releases every slot (tools last); with notifyTools, first tells the tools
  // library that this module is unloading.
  void Unload(bool notifyTools);
  // At process exit: forgets every slot without calling or freeing anything,
  // so that no later clean-up (the static one included) reaches a library the
  // system may already have detached. Nothing loads or unloads afterwards.
  void AbandonAtProcessExit();

  IVxTools* Tools() const;
  IVxImageApp* Image() const;

  // Module instance handed to the libraries' initialisation; set at attach.
  void SetModuleInstance(HINSTANCE module);
  HINSTANCE ModuleInstance() const;

 private:
  VxHostLibraries() = default;
};

// Shorthand for VxHostLibraries::Instance().Tools().
IVxTools* VxGetTools();
