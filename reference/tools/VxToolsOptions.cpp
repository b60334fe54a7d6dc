#include "reference/tools/VxToolsOptions.h"

#include <windows.h>

namespace {

VxString Upper(std::u16string_view s) {
  VxString out(s);
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

}  // namespace

VxToolsOptions& VxToolsOptions::Instance() {
  static VxToolsOptions options;
  return options;
}

void VxToolsOptions::Set(std::u16string_view name, const char16_t* value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (value)
    overrides_[Upper(name)] = VxString(value);
  else
    overrides_.erase(Upper(name));
  ++generation_;
}

std::optional<VxString> VxToolsOptions::Override(std::u16string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = overrides_.find(Upper(name));
  if (it == overrides_.end())
    return std::nullopt;
  return it->second;
}

VxString VxToolsOptions::Get(std::u16string_view name) const {
  if (auto value = Override(name))
    return *value;
  const VxString key(name);
  const DWORD needed = ::GetEnvironmentVariableW(key.Wide(), nullptr, 0);
  if (needed == 0)
    return VxString();
  VxString value(needed, u'\0');
  const DWORD got = ::GetEnvironmentVariableW(key.Wide(), value.WideData(), needed);
  value.resize(got < needed ? got : 0);
  return value;
}

bool VxToolsOptions::GetFlag(std::u16string_view name) const {
  const VxString v = Upper(Get(name));
  return v == u"1" || v == u"TRUE" || v == u"YES" || v == u"ON";
}

uint32_t VxToolsOptions::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}
