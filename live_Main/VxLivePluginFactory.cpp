#include "live_Main/VxLivePluginFactory.h"

#include <atomic>
#include <cstring>

#include "foundation/VxFormat.h"
#include "foundation/VxSettingsKey.h"
#include "live_Main/IVxAudioLive.h"
#include "live_Main/VxHostLibraries.h"
#include "live_Main/VxLoadLibrary.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "sources/ipc/CIPCLivePlugin.h"
#include "sources/loopback/CLoopbackLivePlugin.h"

CASIOLivePlugin* gVxAsioInstances[kVxAsioInstanceCount] = {};

int32_t VxTakeAsioInstanceSlot(CASIOLivePlugin* source) {
  for (int32_t slot = 0; slot < kVxAsioInstanceCount; ++slot) {
    // Atomic stores: the driver threads of other sources read the table.
    std::atomic_ref<CASIOLivePlugin*> entry(gVxAsioInstances[slot]);
    if (!entry.load()) {
      entry.store(source);
      return slot;
    }
  }
  return -1;
}

void VxReleaseAsioInstanceSlot(int32_t slot) {
  if (slot >= 0 && slot < kVxAsioInstanceCount)
    std::atomic_ref<CASIOLivePlugin*>(gVxAsioInstances[slot]).store(nullptr);
}

void VxWriteSourceName(void* buffer, const char16_t* name) noexcept {
  if (!buffer || !name)
    return;
  std::memcpy(buffer, name, (std::char_traits<char16_t>::length(name) + 1) * sizeof(char16_t));
}

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
// Writes the registration key of `source` and deletes the source.
void RegisterSource(int32_t index, IVxAudioLive* source) {
  char16_t name[kNameBufferChars] = {};
  source->GetInfo(0, name);
  name[kNameBufferChars - 1] = 0;

  VxSettingsKey key =
      VxSettingsKey::Open(VxString(u"Plugins\\Live\\") + name, VxSettingsKey::kCreate);
  // Write results are not checked: a key that fails is simply incomplete.
  if (key) {
    (void)key.WriteInt(u"IVersion", 1);
    (void)key.WriteString(u"Company", VxString(u"Vexmoor"));
  }
  const VxString path = VxModuleFileName(VxHostLibraries::Instance().ModuleInstance());
  if (key) {
    (void)key.WriteString(u"Path", path);
    (void)key.WriteInt(u"Index", index);
    (void)key.WriteString(u"Version", VxString(u"1.0.7"));
    (void)key.WriteString(u"URL", VxString(u"https://www.vexmoor.com/"));
    (void)key.WriteString(u"Copyright", VxString(u"Copyright (c) Vexmoor. All rights reserved."));
  }
  const VxString description = VxFormat(u"%s (part of main Vexmoor main live plug-ins)",
                                        {static_cast<const char16_t*>(name)});
  if (key)
    (void)key.WriteString(u"Description", description);
  VxDeleteSource(source);
  key.Reset();
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
    RegisterSource(index, source);
  }
  return S_OK;
}
