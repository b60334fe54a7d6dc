// The class object of one test driver class ID (IClassFactory).
//
// One static instance per class ID, alive as long as the DLL: AddRef and
// Release only count for DllCanUnloadNow, as does LockServer. Any thread.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>

// COM objects end through Release, never through a pointer to their
// interface, and the platform's interfaces declare no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VxTestAsioClassFactory final : public IClassFactory {
 public:
  // The class object of driver `index` (0 .. kVxTestAsioDriverCount - 1).
  static VxTestAsioClassFactory& Of(int index);
  // True while any class object is referenced or locked.
  static bool InUse() noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer,
                                           REFIID riid,
                                           void** out) noexcept override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

 private:
  explicit VxTestAsioClassFactory(int index) : index_(index) {}
  ~VxTestAsioClassFactory() = default;

  int index_;
};
#pragma GCC diagnostic pop
