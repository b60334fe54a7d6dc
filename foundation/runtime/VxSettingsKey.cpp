#include "foundation/runtime/VxSettingsKey.h"

#include <oleauto.h>

#include "live_Main/host/VxHostLibraries.h"

namespace {

constexpr char16_t kEmpty[] = u"";

VxString TakeString(BSTR text) {
  VxString copy;
  if (text)
    copy.assign(reinterpret_cast<const char16_t*>(text), ::SysStringLen(text));
  ::SysFreeString(text);
  return copy;
}

}  // namespace

VxSettingsKey VxSettingsKey::Open(const VxString& path, int32_t create) {
  VxHostLibraries& libraries = VxHostLibraries::Instance();
  if (!libraries.LoadTools())
    return VxSettingsKey();
  IVxTools* tools = libraries.Tools();
  if (!tools)
    return VxSettingsKey();
  return VxSettingsKey(tools->OpenSettingsKey(path.c_str(), create, 0));
}

bool VxSettingsKey::ReadBinary(const char16_t* name, std::vector<uint8_t>& out) const {
  if (!key_)
    return false;
  VxDllBuffer buffer;
  if (!key_.get()->ReadBinary(name, &buffer, 0, 0))
    return false;
  out = std::move(buffer.Bytes());
  return true;
}

int32_t VxSettingsKey::ReadInt(const char16_t* name, int32_t defaultValue, int32_t zone) const {
  if (!key_)
    return defaultValue;
  return key_.get()->ReadInt(name, defaultValue, zone, 0);
}

VxString VxSettingsKey::ReadString(const char16_t* name,
                                   const VxString& defaultValue,
                                   int32_t zone) const {
  if (!key_)
    return defaultValue;
  BSTR text = nullptr;
  key_.get()->ReadString(&text, name, defaultValue.c_str(), zone, kEmpty, 0);
  return TakeString(text);
}

bool VxSettingsKey::WriteBinary(const char16_t* name, const void* data, int32_t byteCount) const {
  if (!key_)
    return false;
  return key_.get()->WriteBinary(name, data, byteCount, 0, 0);
}

bool VxSettingsKey::WriteInt(const char16_t* name, int32_t value) const {
  if (!key_)
    return false;
  return key_.get()->WriteInt(name, value, 0, 0);
}

bool VxSettingsKey::WriteString(const char16_t* name, const VxString& value) const {
  if (!key_)
    return false;
  return key_.get()->WriteString(name, value.c_str(), 0, kEmpty, 0);
}

bool VxSettingsKey::DeleteValue(const char16_t* name) const {
  if (!key_)
    return false;
  return key_.get()->DeleteValue(name);
}

VxString VxSettingsKey::GetZoneValueName(const char16_t* name, int32_t zone) const {
  if (!key_)
    return VxString::From(name);
  BSTR text = nullptr;
  key_.get()->GetZoneValueName(&text, name, zone);
  return TakeString(text);
}
