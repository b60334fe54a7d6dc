#include "testdevices/endpoint/VxTestEndpointConfig.h"

#include <cwchar>

#include "foundation/VxHandle.h"

namespace {

struct DwordValue {
  const wchar_t* name;
  uint32_t VxTestEndpointConfig::*field;
};

constexpr DwordValue kDwordValues[] = {
    {L"DefaultEndpoint", &VxTestEndpointConfig::defaultEndpoint},
    {L"FormatTag", &VxTestEndpointConfig::formatTag},
    {L"SubFormatTag", &VxTestEndpointConfig::subTag},
    {L"SampleRate", &VxTestEndpointConfig::sampleRate},
    {L"Channels", &VxTestEndpointConfig::channels},
    {L"BitsPerSample", &VxTestEndpointConfig::bitsPerSample},
    {L"ValidBitsPerSample", &VxTestEndpointConfig::validBitsPerSample},
    {L"ChannelMask", &VxTestEndpointConfig::channelMask},
    {L"PacketFrames", &VxTestEndpointConfig::packetFrames},
    {L"RealTime", &VxTestEndpointConfig::realTime},
    {L"EngineBufferPeriods", &VxTestEndpointConfig::engineBufferPeriods},
    {L"GapAfterFrames", &VxTestEndpointConfig::gapAfterFrames},
    {L"GapMs", &VxTestEndpointConfig::gapMs},
    {L"GapRepeat", &VxTestEndpointConfig::gapRepeat},
    {L"SilentEvery", &VxTestEndpointConfig::silentEvery},
    {L"NotifyDelayMs", &VxTestEndpointConfig::notifyDelayMs},
    {L"FailCreate", &VxTestEndpointConfig::failCreate},
    {L"FailActivate", &VxTestEndpointConfig::failActivate},
    {L"FailActivateVolume", &VxTestEndpointConfig::failActivateVolume},
    {L"FailGetMixFormat", &VxTestEndpointConfig::failGetMixFormat},
    {L"MixFormatOnFailure", &VxTestEndpointConfig::mixFormatOnFailure},
    {L"FailInitialize", &VxTestEndpointConfig::failInitialize},
    {L"FailGetService", &VxTestEndpointConfig::failGetService},
    {L"FailStart", &VxTestEndpointConfig::failStart},
    {L"FailStreamAfterFrames", &VxTestEndpointConfig::failStreamAfterFrames},
    {L"FailStreamMs", &VxTestEndpointConfig::failStreamMs},
    {L"FailStreamHr", &VxTestEndpointConfig::failStreamHr},
    {L"RecordPackets", &VxTestEndpointConfig::recordPackets},
    {L"RealCapture", &VxTestEndpointConfig::realCapture},
};

struct StringValue {
  const wchar_t* name;
  std::wstring VxTestEndpointConfig::*field;
};

constexpr StringValue kStringValues[] = {
    {L"RecordFile", &VxTestEndpointConfig::recordFile},
    {L"RealCaptureEndpoint", &VxTestEndpointConfig::realCaptureEndpoint},
};

std::wstring ReadString(HKEY key, const wchar_t* name, DWORD expectedType, bool* found) {
  DWORD type = 0, size = 0;
  *found = false;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != expectedType)
    return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) !=
      ERROR_SUCCESS)
    return {};
  text.resize(got / sizeof(wchar_t));
  *found = true;
  return text;
}

}  // namespace

VxTestEndpointConfig VxTestEndpointConfig::Read() noexcept {
  VxTestEndpointConfig config;
  VxRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kVxTestEndpointKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return config;
  for (const DwordValue& v : kDwordValues) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegQueryValueExW(key.get(), v.name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
      config.*v.field = value;
  }
  bool found = false;
  // REG_MULTI_SZ: one name per string; an empty list means no endpoint at all.
  std::wstring list = ReadString(key.get(), L"Endpoints", REG_MULTI_SZ, &found);
  if (found) {
    config.endpoints.clear();
    for (size_t pos = 0; pos < list.size();) {
      const size_t end = list.find(L'\0', pos);
      const std::wstring name = list.substr(pos, end == std::wstring::npos ? end : end - pos);
      if (name.empty())
        break;
      config.endpoints.push_back(name);
      if (end == std::wstring::npos)
        break;
      pos = end + 1;
    }
  }
  for (const StringValue& v : kStringValues) {
    std::wstring text = ReadString(key.get(), v.name, REG_SZ, &found);
    while (!text.empty() && text.back() == L'\0')
      text.pop_back();
    if (found)
      config.*v.field = text;
  }
  return config;
}

bool VxTestEndpointConfig::SetValue(const std::wstring& name, const std::wstring& value) noexcept {
  if (::CompareStringOrdinal(name.c_str(), -1, L"Endpoints", -1, TRUE) == CSTR_EQUAL) {
    endpoints.clear();
    for (size_t pos = 0; pos < value.size();) {
      const size_t end = value.find(L'|', pos);
      endpoints.push_back(value.substr(pos, end == std::wstring::npos ? end : end - pos));
      pos = end == std::wstring::npos ? value.size() : end + 1;
    }
    return true;
  }
  for (const StringValue& v : kStringValues) {
    if (::CompareStringOrdinal(name.c_str(), -1, v.name, -1, TRUE) == CSTR_EQUAL) {
      this->*v.field = value;
      return true;
    }
  }
  for (const DwordValue& v : kDwordValues) {
    if (::CompareStringOrdinal(name.c_str(), -1, v.name, -1, TRUE) != CSTR_EQUAL)
      continue;
    wchar_t* end = nullptr;
    const unsigned long long number = std::wcstoull(value.c_str(), &end, 0);
    if (value.empty() || *end != L'\0' || number > 0xFFFFFFFFull)
      return false;
    this->*v.field = static_cast<uint32_t>(number);
    return true;
  }
  return false;
}

bool VxTestEndpointConfig::Write() const noexcept {
  Clear();
  VxRegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kVxTestEndpointKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const DwordValue& v : kDwordValues) {
    const DWORD value = this->*v.field;
    ok &= ::RegSetValueExW(key.get(), v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value) == ERROR_SUCCESS;
  }
  std::wstring list;
  for (const std::wstring& name : endpoints)
    list += name + L'\0';
  list += L'\0';
  ok &= ::RegSetValueExW(key.get(), L"Endpoints", 0, REG_MULTI_SZ,
                         reinterpret_cast<const BYTE*>(list.data()),
                         static_cast<DWORD>(list.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
  for (const StringValue& v : kStringValues) {
    const std::wstring& text = this->*v.field;
    ok &=
        ::RegSetValueExW(key.get(), v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  return ok;
}

void VxTestEndpointConfig::Clear() noexcept {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kVxTestEndpointKey);
}
