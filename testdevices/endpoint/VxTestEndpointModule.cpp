// Exports of VxTestEndpoint.dll: the COM server entry points, self
// registration in front of the system's device enumerator, and the live-object
// report for tests.
#include <mmdeviceapi.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <new>

#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestDeviceEnumerator.h"
#include "testdevices/endpoint/VxTestEndpointRecord.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};

std::shared_ptr<const VxTestEndpointConfig> LoadConfig() {
  auto config = std::make_shared<const VxTestEndpointConfig>(VxTestEndpointConfig::Read());
  VxTestEndpointRecord::Instance().SetPath(config->recordFile);
  return config;
}

class VxTestClassFactory final : public VxTestComObject<IClassFactory> {
 public:
  VxTestClassFactory() noexcept : VxTestComObject("IClassFactory") {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer,
                                           REFIID iid,
                                           void** out) noexcept override {
    if (out == nullptr)
      return E_POINTER;
    *out = nullptr;
    if (outer != nullptr)
      return CLASS_E_NOAGGREGATION;
    auto* enumerator = new (std::nothrow) VxTestDeviceEnumerator(LoadConfig());
    if (enumerator == nullptr)
      return E_OUTOFMEMORY;
    const HRESULT hr = enumerator->QueryInterface(iid, out);
    enumerator->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
    g_locks += lock ? 1 : -1;
    return S_OK;
  }

 private:
  ~VxTestClassFactory() override = default;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (clsid != __uuidof(MMDeviceEnumerator))
    return CLASS_E_CLASSNOTAVAILABLE;
  const auto config = LoadConfig();
  const HRESULT fail = static_cast<HRESULT>(config->failCreate);
  VxTestEndpointRecord::Instance().Write(
      "DllGetClassObject", VxRecordFields("hr=0x%08lx", static_cast<unsigned long>(fail)));
  if (fail != S_OK)
    return fail;
  auto* factory = new (std::nothrow) VxTestClassFactory;
  if (factory == nullptr)
    return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  const bool idle = VxTestObjectTracker::LiveCount() == 0 && g_locks == 0;
  if (idle)
    VxTestEndpointRecord::Instance().Close();
  return idle ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    return E_FAIL;
  return VxTestEndpointRegistration::Install(path) ? S_OK : E_FAIL;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return VxTestEndpointRegistration::Remove() ? S_OK : E_FAIL;
}

// Appends a "live" line per object still alive and a "live-total" line to the
// record; returns how many objects are alive.
extern "C" unsigned int WINAPI VxTestEndpointWriteLive() {
  return VxTestObjectTracker::WriteLive();
}
