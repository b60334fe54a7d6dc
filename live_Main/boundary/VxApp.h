// VxApp: the application object of a module, base of VxDllApp and VxLiveApp.
//
// One application object exists per module, created by static initialisation;
// its constructor makes it the module's current application object, which the
// module entry point forwards the loader's notifications to. The virtual
// table stays inside the module; its order is the family's own:
//   destructor, ProcessAttachDetach, RunModule, RunProgram, InitInstance,
//   ExitInstance, Run, then four reserved operations, LoadHostLibraries, two
//   more reserved, WantsHostLibraries.
//
// Threads: ProcessAttachDetach runs under the loader's serialisation; the
// attach count is atomic anyway because a module may be attached through
// several paths in one process.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>

#include "foundation/VxString.h"

class VxApp {
 public:
  // What the module registered for a window class it owns.
  struct WindowClassEntry {
    ATOM atom = 0;
  };

  VxApp();
  virtual ~VxApp();
  VxApp(const VxApp&) = delete;
  VxApp& operator=(const VxApp&) = delete;

  // Loader notification: reason 1 attach, 0 detach; answers the loader.
  virtual bool ProcessAttachDetach(HINSTANCE module, uint32_t reason);
  // Runs the object as a program with `module`: InitInstance, Run when that
  // succeeded, ExitInstance; returns the exit code. Not used by libraries.
  virtual int32_t RunModule(HINSTANCE module);
  // As RunModule with the process's own executable.
  virtual int32_t RunProgram();
  virtual bool InitInstance();
  // Unregisters every window class in the map for the module handle.
  virtual bool ExitInstance();
  virtual void Run();
  virtual bool Reserved7();
  virtual void Reserved8();
  virtual bool Reserved9();
  virtual bool LoadHostLibraries();
  virtual bool Reserved11();
  virtual void Reserved12();
  virtual bool WantsHostLibraries();

  // The module's current application object, or null.
  static VxApp* Current();

  HINSTANCE ModuleInstance() const { return module_; }
  const VxStringArray& Arguments() const { return arguments_; }
  int32_t AttachCount() const { return attachCount_.load(); }
  // Records a window class this module registered, so that exit unregisters it.
  void AddWindowClass(const VxString& name, ATOM atom);

 protected:
  // Splits the process command line into arguments_.
  void SplitCommandLine();

  HINSTANCE module_ = nullptr;
  VxStringArray arguments_;
  std::map<VxString, WindowClassEntry> windowClasses_;
  std::atomic<int32_t> attachCount_{0};
  int32_t exitCode_ = 0;
};
