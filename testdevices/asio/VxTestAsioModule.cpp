// Entry points of VxTestAsio.dll, an in-process COM server with one class per
// test driver instance.
#include <windows.h>

#include <olectl.h>

#include <string>

#include "testdevices/asio/VxTestAsioCallLog.h"
#include "testdevices/asio/VxTestAsioClassFactory.h"
#include "testdevices/asio/VxTestAsioConfig.h"
#include "testdevices/asio/VxTestAsioDriver.h"
#include "testdevices/asio/VxTestAsioRegistration.h"

namespace {

HMODULE g_module = nullptr;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(g_module, path, MAX_PATH);
  return path;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  const int index = VxTestAsioIndexOf(clsid);
  if (index < 0)
    return CLASS_E_CLASSNOTAVAILABLE;
  const VxTestAsioConfig config = VxTestAsioConfig::Load(index);
  if (config.faults & kVxTestAsioFailCreate) {
    VxTestAsioCallLog::Open(config.logFile)
        ->Line("DllGetClassObject() = 0x%08lx", static_cast<unsigned long>(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  return VxTestAsioClassFactory::Of(index).QueryInterface(riid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return VxTestAsioDriver::LiveObjects() == 0 && !VxTestAsioClassFactory::InUse() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring path = ModulePath();
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    if (!VxTestAsioRegister(i, path))
      return SELFREG_E_CLASS;
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    VxTestAsioUnregister(i);
  return S_OK;
}
