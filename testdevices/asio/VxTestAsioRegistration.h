// Registration of the test driver's class IDs, as real ASIO drivers do it:
//   HKEY_CLASSES_ROOT\CLSID\{id}                  default: "VxTestAsio driver"
//   HKEY_CLASSES_ROOT\CLSID\{id}\InprocServer32   default: the DLL's path,
//                                                 ThreadingModel: "Apartment"
//   HKEY_LOCAL_MACHINE\Software\ASIO\<name>       CLSID: "{id}", Description
// <name> and the description come from the driver's configuration
// (VxTestAsioConfig.h) at the time of registration.
// Used by the DLL's DllRegisterServer/DllUnregisterServer and by the control
// library. Windows only; registry writes of the running process's view.
#pragma once

#include <string>

// Writes the keys of driver `index` for the DLL at `dllPath`. False (last
// error set) when a key cannot be written.
[[nodiscard]] bool VxTestAsioRegister(int index, const std::wstring& dllPath);
// Removes the class key of driver `index` and every HKLM\Software\ASIO subkey
// whose CLSID value names it (whatever its name). Missing keys are no error.
void VxTestAsioUnregister(int index);
