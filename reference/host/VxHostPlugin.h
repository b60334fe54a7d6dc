// The plug-in and the tools library as the reference host loads them: from the
// folder of vxhost.exe, by full path. The modules stay loaded while the object
// lives; Error() tells why a load failed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "reference/tools/VxToolsLogListener.h"

// Folder of vxhost.exe, with a trailing backslash.
std::wstring VxHostFolder();
// A path as given on the command line, made absolute; a Unix path (as the
// build scripts pass under Wine) becomes the matching Windows path.
std::wstring VxHostAbsolutePath(const std::wstring& path);
// A system error number as the user reads it: the system's text for it and the
// number, "The system cannot find the path specified. (error 3)".
std::wstring VxSystemErrorText(DWORD error);

class VxHostPlugin {
 public:
  using GetLivePluginProc = int32_t (*)(int32_t, IVxAudioLive**);
  using DllRegisterServerProc = HRESULT (*)();
  using SetToolsOptionProc = void (*)(const wchar_t*, const wchar_t*);

  // Loads VxTools.dll and resolves VxToolsSetOption.
  [[nodiscard]] bool LoadTools();
  // Checks what the plug-in needs to start (the tools library, the product
  // information), then loads the plug-in (VxLive.dll in the host folder unless
  // `path` names another) and resolves both exports.
  [[nodiscard]] bool LoadPlugin(const std::wstring& path = {});
  void SetToolsOption(const wchar_t* name, const wchar_t* value) const;

  // VxToolsSetLogListener of the tools library (VxToolsLogListener.h), or null.
  VxToolsSetLogListenerProc SetLogListener() const { return setLogListener_; }
  GetLivePluginProc GetLivePlugin() const { return getLivePlugin_; }
  const std::wstring& PluginPath() const { return pluginPath_; }
  DllRegisterServerProc DllRegisterServer() const { return dllRegisterServer_; }
  const std::wstring& Error() const { return error_; }

 private:
  bool CheckStartUp();

  VxModule tools_;
  VxModule plugin_;
  SetToolsOptionProc setToolsOption_ = nullptr;
  VxToolsSetLogListenerProc setLogListener_ = nullptr;
  std::wstring pluginPath_;
  GetLivePluginProc getLivePlugin_ = nullptr;
  DllRegisterServerProc dllRegisterServer_ = nullptr;
  std::wstring error_;
};
