#include "live_Main/VxLivePluginFactory.h"

#include "foundation/VxBoundaryGuard.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/boundary/VxRegistration.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxLoadLibrary.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "sources/ipc/CIPCLivePlugin.h"
#include "sources/loopback/CLoopbackLivePlugin.h"

namespace {

// Creates the source behind a factory index; null for an index that yields none.
IVxAudioLive* CreateSource(int32_t index) noexcept {
  switch (index) {
    case 0:  // ASIO: takes its instance-table slot
      return VxCreateAsioLivePlugin();
    case 1:  // Loopback
      return VxCreateLoopbackLivePlugin();
    case 2:  // IPC
      return VxCreateIpcLivePlugin();
    default:
      return nullptr;
  }
}

constexpr size_t kNameBufferChars = 1024;
// Writes the registration record of `source`.
void RegisterSource(int32_t index, IVxAudioLive* source) {
  char16_t name[kNameBufferChars] = {};
  source->GetInfo(0, name);
  name[kNameBufferChars - 1] = 0;
  VxWriteRegistration(index, VxString(name),
                      VxModuleFileName(VxHostLibraries::Instance().ModuleInstance()));
}

}  // namespace

extern "C" int32_t GetLivePlugin(int32_t index, IVxAudioLive** out) noexcept {
  if (!out)
    return -1;
  *out = nullptr;
  IVxAudioLive* source = CreateSource(index);
  if (!source)
    return -1;
  *out = source;
  return 0;
}

extern "C" HRESULT DllRegisterServer() noexcept {
  for (int32_t index = kVxFirstFactoryIndex; index <= kVxLastFactoryIndex; ++index) {
    IVxAudioLive* source = nullptr;
    if (GetLivePlugin(index, &source) != 0 || !source)
      continue;
    // A record that could not be written (out of memory) stays incomplete;
    // the source is deleted and the others are registered all the same.
    VxGuardBoundary([&] { RegisterSource(index, source); });
    VxDeleteSource(source);
  }
  return S_OK;
}
