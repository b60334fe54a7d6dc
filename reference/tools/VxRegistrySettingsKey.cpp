#include "reference/tools/VxRegistrySettingsKey.h"

#include <cstring>
#include <new>
#include <vector>

#include "reference/tools/VxFileLog.h"
#include "reference/tools/VxToolsOptions.h"

namespace {

constexpr char16_t kBasePath[] = u"Software\\Vexmoor\\VxTools Reference\\";

const wchar_t* W(const char16_t* s) {
  return reinterpret_cast<const wchar_t*>(s);
}

// Reads a value of the given type; false when it is missing or of another type.
bool QueryValue(HKEY key, const VxString& name, DWORD wantedType, std::vector<BYTE>& data) {
  if (!key)
    return false;  // the key was never written: every value is missing
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.Wide(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  if (type != wantedType)
    return false;
  data.resize(size);
  if (::RegQueryValueExW(key, name.Wide(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return false;
  data.resize(size);
  return type == wantedType;
}

BSTR AllocString(const VxString& s) {
  return ::SysAllocStringLen(s.Wide(), static_cast<UINT>(s.size()));
}

}  // namespace

VxString VxRegistrySettingsKey::RootPath(const VxString& root) {
  return VxString(kBasePath) + (root.empty() ? VxString(u"Default") : root);
}

VxRegistrySettingsKey* VxRegistrySettingsKey::Open(const VxString& root,
                                                   const char16_t* path,
                                                   int32_t create,
                                                   VxFileLog* log) {
  VxString full = RootPath(root);
  const VxString relative = VxString::From(path);
  if (!relative.empty())
    full += u"\\" + relative;
  VxRegKey key;
  LSTATUS status;
  if (create == 1) {
    status = ::RegCreateKeyExW(HKEY_CURRENT_USER, full.Wide(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                               nullptr, key.put(), nullptr);
  } else {
    status = ::RegOpenKeyExW(HKEY_CURRENT_USER, full.Wide(), 0, KEY_READ | KEY_WRITE, key.put());
    // A key that does not exist yet is made by the first write through it.
    if (status == ERROR_FILE_NOT_FOUND)
      status = ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return nullptr;
  }
  return new (std::nothrow) VxRegistrySettingsKey(std::move(key), std::move(full), relative, log);
}

HKEY VxRegistrySettingsKey::WritableKey() {
  if (!key_ &&
      ::RegCreateKeyExW(HKEY_CURRENT_USER, fullPath_.Wide(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, key_.put(), nullptr) != ERROR_SUCCESS)
    key_.reset();
  return key_.get();
}

VxString VxRegistrySettingsKey::ZoneValueName(const char16_t* name, int32_t zone) {
  VxString base = VxString::From(name);
  if (zone == 0)
    return base;
  return VxFormat(u"%s (Zone %d)", {base, zone});
}

void* VxRegistrySettingsKey::DeletingDestructor(unsigned int flags) noexcept {
  this->~VxRegistrySettingsKey();
  if (flags & 1)
    ::operator delete(this);
  return this;
}

bool VxRegistrySettingsKey::ReadBinary(const char16_t* name, IVxDllBuffer* buffer, int, int) {
  std::vector<BYTE> data;
  if (!buffer || !QueryValue(key_.get(), VxString::From(name), REG_BINARY, data))
    return false;
  if (!buffer->SetSize(static_cast<uint32_t>(data.size())))
    return false;
  if (data.empty())
    return true;
  void* target = buffer->GetData();
  if (!target || buffer->GetSize() < data.size())
    return false;
  std::memcpy(target, data.data(), data.size());
  return true;
}

int32_t VxRegistrySettingsKey::ReadInt(const char16_t* name,
                                       int32_t defaultValue,
                                       int32_t zone,
                                       int) {
  std::vector<BYTE> data;
  if (!QueryValue(key_.get(), ZoneValueName(name, zone), REG_DWORD, data) || data.size() != 4)
    return defaultValue;
  int32_t value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

void VxRegistrySettingsKey::ReadString(BSTR* out,
                                       const char16_t* name,
                                       const char16_t* defaultValue,
                                       int32_t zone,
                                       const char16_t*,
                                       int) {
  if (!out)
    return;
  std::vector<BYTE> data;
  if (!QueryValue(key_.get(), ZoneValueName(name, zone), REG_SZ, data)) {
    *out = AllocString(VxString::From(defaultValue));
    return;
  }
  VxString text(reinterpret_cast<const char16_t*>(data.data()), data.size() / sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0')
    text.pop_back();
  *out = AllocString(text);
}

bool VxRegistrySettingsKey::WriteBinary(const char16_t* name,
                                        const void* data,
                                        int32_t byteCount,
                                        int,
                                        int) {
  if (byteCount < 0 || (byteCount > 0 && !data))
    return false;
  NoteChange(u"WriteBinary", name, VxFormat(u"%d bytes", {byteCount}));
  return ::RegSetValueExW(WritableKey(), W(name), 0, REG_BINARY, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(byteCount)) == ERROR_SUCCESS;
}

bool VxRegistrySettingsKey::WriteInt(const char16_t* name, int32_t value, int, int) {
  NoteChange(u"WriteInt", name, VxFormat(u"%d", {value}));
  return ::RegSetValueExW(WritableKey(), W(name), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool VxRegistrySettingsKey::WriteString(const char16_t* name,
                                        const char16_t* value,
                                        int,
                                        const char16_t*,
                                        int) {
  const VxString text = VxString::From(value);
  NoteChange(u"WriteString", name, u"\"" + text + u"\"");
  return ::RegSetValueExW(
             WritableKey(), W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
             static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

bool VxRegistrySettingsKey::DeleteValue(const char16_t* name) {
  NoteChange(u"DeleteValue", name, VxString());
  return key_ && ::RegDeleteValueW(key_.get(), W(name)) == ERROR_SUCCESS;
}

void VxRegistrySettingsKey::GetZoneValueName(BSTR* out, const char16_t* name, int32_t zone) {
  if (out)
    *out = AllocString(ZoneValueName(name, zone));
}

void VxRegistrySettingsKey::NoteChange(const char16_t* operation,
                                       const char16_t* name,
                                       const VxString& value) {
  if (!log_ || !VxToolsOptions::Instance().GetFlag(kVxOptLogSettings))
    return;
  VxString line =
      VxString::From(operation) + u" (key: " + path_ + u", name: " + VxString::From(name);
  if (!value.empty())
    line += u", value: " + value;
  log_->Write(1, u"VxTools::Settings", line + u")");
}

void VxRegistrySettingsKey::Unexpected(int slot) {
  if (log_)
    log_->Write(1, u"VxTools", VxFormat(u"Unexpected call: IVxSettingsKey slot %d", {slot}));
}

void VxRegistrySettingsKey::Unused7() {
  Unexpected(7);
}
void VxRegistrySettingsKey::Unused8() {
  Unexpected(8);
}
void VxRegistrySettingsKey::Unused10() {
  Unexpected(10);
}
void VxRegistrySettingsKey::Unused11() {
  Unexpected(11);
}
void VxRegistrySettingsKey::Unused12() {
  Unexpected(12);
}
void VxRegistrySettingsKey::Unused13() {
  Unexpected(13);
}
void VxRegistrySettingsKey::Unused14() {
  Unexpected(14);
}
