#include "live_Main/VxLivePluginFactory.h"

#include <cstring>

#include "foundation/VxFormat.h"
#include "foundation/VxHandle.h"
#include "live_Main/IVxAudioLive.h"
#include "live_Main/VxHostLibraries.h"
#include "sources/ipc/CIPCLivePlugin.h"

CASIOLivePlugin* gVxAsioInstances[kVxAsioInstanceCount] = {};

int32_t VxTakeAsioInstanceSlot(CASIOLivePlugin* source) {
  for (int32_t slot = 0; slot < kVxAsioInstanceCount; ++slot) {
    if (!gVxAsioInstances[slot]) {
      gVxAsioInstances[slot] = source;
      return slot;
    }
  }
  return -1;
}

void VxReleaseAsioInstanceSlot(int32_t slot) {
  if (slot >= 0 && slot < kVxAsioInstanceCount) gVxAsioInstances[slot] = nullptr;
}

void VxWriteSourceName(void* buffer, const char16_t* name) noexcept {
  if (!buffer || !name) return;
  std::memcpy(buffer, name, (std::char_traits<char16_t>::length(name) + 1) * sizeof(char16_t));
}

namespace {

// Creates the source behind a factory index; null for an index that yields none.
IVxAudioLive* CreateSource(int32_t index) noexcept {
  switch (index) {
    case 0:  // ASIO: created here and given its instance-table slot
      return nullptr;
    case 1:  // Loopback
      return nullptr;
    case 2:  // IPC
      return VxCreateIpcLivePlugin();
    default:
      return nullptr;
  }
}

// A host settings key, deleted through its slot 0 like every host key.
struct SettingsKeyTraits {
  using Type = IVxSettingsKey*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type key) { return key != nullptr; }
  static void Close(Type key) { key->DeletingDestructor(1); }
};
using SettingsKey = VxUniqueHandle<SettingsKeyTraits>;

constexpr int32_t kCreateKey = 1;
constexpr size_t kNameBufferChars = 1024;
constexpr DWORD kModulePathChars = 2080;

SettingsKey OpenRegistrationKey(const VxString& path) {
  VxHostLibraries& libraries = VxHostLibraries::Instance();
  if (!libraries.LoadTools()) return SettingsKey();
  IVxTools* tools = libraries.Tools();
  if (!tools) return SettingsKey();
  return SettingsKey(tools->OpenSettingsKey(path.c_str(), kCreateKey, 0));
}

VxString ThisModulePath() {
  wchar_t path[kModulePathChars] = {};
  ::GetModuleFileNameW(VxHostLibraries::Instance().ModuleInstance(), path, kModulePathChars);
  return VxString(path);
}

// Writes the registration key of `source` and deletes the source.
void RegisterSource(int32_t index, IVxAudioLive* source) {
  char16_t name[kNameBufferChars] = {};
  source->GetInfo(0, name);
  name[kNameBufferChars - 1] = 0;

  SettingsKey key = OpenRegistrationKey(VxString(u"Plugins\\Live\\") + name);
  if (key) {
    (void)key.get()->WriteInt(u"IVersion", 1, 0, 0);
    (void)key.get()->WriteString(u"Company", u"Vexmoor", 0, u"", 0);
  }
  const VxString path = ThisModulePath();
  if (key) {
    (void)key.get()->WriteString(u"Path", path.c_str(), 0, u"", 0);
    (void)key.get()->WriteInt(u"Index", index, 0, 0);
    (void)key.get()->WriteString(u"Version", u"1.0.7", 0, u"", 0);
    (void)key.get()->WriteString(u"URL", u"https://www.vexmoor.com/", 0, u"", 0);
    (void)key.get()->WriteString(u"Copyright", u"Copyright (c) Vexmoor. All rights reserved.", 0,
                                 u"", 0);
  }
  const VxString description =
      VxFormat(u"%s (part of main Vexmoor main live plug-ins)", {static_cast<const char16_t*>(name)});
  if (key) (void)key.get()->WriteString(u"Description", description.c_str(), 0, u"", 0);
  VxDeleteSource(source);
  key.reset();
}

}  // namespace

extern "C" int32_t GetLivePlugin(int32_t index, IVxAudioLive** out) noexcept {
  if (!out) return -1;
  *out = nullptr;
  IVxAudioLive* source = CreateSource(index);
  if (!source) return -1;
  *out = source;
  return 0;
}

extern "C" HRESULT DllRegisterServer() noexcept {
  for (int32_t index = kVxFirstFactoryIndex; index <= kVxLastFactoryIndex; ++index) {
    IVxAudioLive* source = nullptr;
    if (GetLivePlugin(index, &source) != 0 || !source) continue;
    RegisterSource(index, source);
  }
  return S_OK;
}
