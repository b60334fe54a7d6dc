#include "testdevices/asio/VxTestAsioClassFactory.h"

#include "testdevices/asio/VxTestAsioConfig.h"
#include "testdevices/asio/VxTestAsioDriver.h"

namespace {

std::atomic<long> g_references{0};

}  // namespace

VxTestAsioClassFactory& VxTestAsioClassFactory::Of(int index) {
  static VxTestAsioClassFactory factories[kVxTestAsioDriverCount] = {
      VxTestAsioClassFactory(0), VxTestAsioClassFactory(1), VxTestAsioClassFactory(2),
      VxTestAsioClassFactory(3), VxTestAsioClassFactory(4), VxTestAsioClassFactory(5),
      VxTestAsioClassFactory(6), VxTestAsioClassFactory(7)};
  return factories[index];
}

bool VxTestAsioClassFactory::InUse() noexcept {
  return g_references.load() > 0;
}

HRESULT VxTestAsioClassFactory::QueryInterface(REFIID riid, void** out) noexcept {
  if (!out)
    return E_POINTER;
  if (::IsEqualGUID(riid, IID_IUnknown) || ::IsEqualGUID(riid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG VxTestAsioClassFactory::AddRef() noexcept {
  return static_cast<ULONG>(++g_references);
}

ULONG VxTestAsioClassFactory::Release() noexcept {
  return static_cast<ULONG>(--g_references);
}

HRESULT VxTestAsioClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** out) noexcept {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (outer)
    return CLASS_E_NOAGGREGATION;
  return VxTestAsioDriver::Create(index_, riid, out);
}

HRESULT VxTestAsioClassFactory::LockServer(BOOL lock) noexcept {
  if (lock)
    ++g_references;
  else
    --g_references;
  return S_OK;
}
