// The plug-in's version resource and the registration keys DllRegisterServer
// writes, checked against each other.
#include <cwchar>
#include <set>

#include "reference/host/VxPluginValidator.h"

namespace {

constexpr DWORD kRegisterLimitMs = 5000;

std::wstring ReadRegText(HKEY key, const wchar_t* name, bool& found) {
  wchar_t text[2100] = {};
  DWORD bytes = sizeof text - sizeof(wchar_t);
  found = ::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, text, &bytes) ==
          ERROR_SUCCESS;
  return text;
}

bool ReadRegNumber(HKEY key, const wchar_t* name, DWORD& value) {
  DWORD bytes = sizeof value;
  return ::RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) ==
         ERROR_SUCCESS;
}

std::wstring VersionString(const std::vector<uint8_t>& block, DWORD translation, const wchar_t* n) {
  wchar_t path[128];
  std::swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", LOWORD(translation),
                HIWORD(translation), n);
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&value), &length) || !value)
    return {};
  return std::wstring(value, length && value[length - 1] == 0 ? length - 1 : length);
}

}  // namespace

void VxPluginValidator::CheckVersionResource() {
  VxCheckResult r{L"module.version"};
  r.expected = L"a version resource: file and product version, description, company, copyright";
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(setup_.pluginPath.c_str(), &ignored);
  std::vector<uint8_t> block(size ? size : 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  DWORD* translation = nullptr;
  UINT length = 0;
  if (!size || !::GetFileVersionInfoW(setup_.pluginPath.c_str(), 0, size, block.data()) ||
      !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      !::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      !translation || length < sizeof(DWORD)) {
    Fail(r, L"no version resource");
    Report(r);
    return;
  }
  const std::wstring fileVersion = VersionString(block, *translation, L"FileVersion");
  const std::wstring description = VersionString(block, *translation, L"FileDescription");
  resource_.present = true;
  resource_.productVersion = VersionString(block, *translation, L"ProductVersion");
  resource_.company = VersionString(block, *translation, L"CompanyName");
  resource_.copyright = VersionString(block, *translation, L"LegalCopyright");
  wchar_t numbers[64];
  std::swprintf(numbers, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS));
  r.seen = std::wstring(numbers) + L", \"" + fileVersion + L"\", \"" + resource_.productVersion +
           L"\", \"" + description + L"\", \"" + resource_.company + L"\", \"" +
           resource_.copyright + L"\"";
  if (fileVersion.empty() || resource_.productVersion.empty() || description.empty() ||
      resource_.company.empty() || resource_.copyright.empty() ||
      std::wstring(numbers).rfind(resource_.productVersion, 0) != 0)
    Fail(r, L"a field is empty or the numbers differ from the product version");
  Report(r);
}

void VxPluginValidator::CheckRegistration() {
  VxCheckResult r{L"registration"};
  r.expected = L"DllRegisterServer 0; one key under Plugins\\Live per source, named as it";
  ::RegDeleteTreeW(HKEY_CURRENT_USER, setup_.settingsRoot.c_str());
  auto result = std::make_shared<HRESULT>(E_FAIL);
  const VxRawRegisterServer registerServer = setup_.registerServer;
  if (!Call([=] { *result = registerServer(); }, kRegisterLimitMs, r, L"DllRegisterServer")) {
    Report(r);
    return;
  }
  const std::wstring livePath = setup_.settingsRoot + L"\\Plugins\\Live";
  VxRegKey live;
  std::set<std::wstring> keys;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, livePath.c_str(), 0, KEY_READ, live.put()) ==
      ERROR_SUCCESS) {
    wchar_t name[256];
    DWORD length = 256;
    for (DWORD i = 0; ::RegEnumKeyExW(live.get(), i, name, &length, nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
      keys.insert(name);
  }
  std::set<std::wstring> names;
  for (const Source& s : sources_)
    names.insert(s.name);
  std::wstring listed;
  for (const std::wstring& k : keys)
    listed += (listed.empty() ? L"" : L", ") + k;
  r.seen =
      L"DllRegisterServer = " + Number(*result) + L", keys: " + (listed.empty() ? L"none" : listed);
  if (*result != S_OK || keys != names)
    Fail(r, L"not one key per source");
  Report(r);

  for (const Source& s : sources_) {
    VxCheckResult k{L"registration." + s.name};
    k.expected = L"IVersion 1, Index " + Number(s.index) + L", Path of the plug-in, Version" +
                 (resource_.present ? L" \"" + resource_.productVersion + L"\"" : L"") +
                 L", Company, URL, Copyright (as in the version resource), Description \"" +
                 s.name + L" (part of main Vexmoor main live plug-ins)\": 8 values";
    VxRegKey key;
    if (!live ||
        ::RegOpenKeyExW(live.get(), s.name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
      Fail(k, L"no key");
      Report(k);
      continue;
    }
    std::vector<std::wstring> wrong;
    DWORD number = 0;
    if (!ReadRegNumber(key.get(), L"IVersion", number) || number != 1)
      wrong.push_back(L"IVersion");
    if (!ReadRegNumber(key.get(), L"Index", number) || number != static_cast<DWORD>(s.index))
      wrong.push_back(L"Index");
    bool found = false;
    const std::wstring path = ReadRegText(key.get(), L"Path", found);
    if (!found || _wcsicmp(path.c_str(), setup_.pluginPath.c_str()) != 0)
      wrong.push_back(L"Path \"" + path + L"\"");
    const std::wstring version = ReadRegText(key.get(), L"Version", found);
    if (!found || version.empty() || (resource_.present && version != resource_.productVersion))
      wrong.push_back(L"Version \"" + version + L"\"");
    const std::wstring company = ReadRegText(key.get(), L"Company", found);
    if (!found || company.empty() || (resource_.present && company != resource_.company))
      wrong.push_back(L"Company \"" + company + L"\"");
    if (ReadRegText(key.get(), L"URL", found).empty())
      wrong.push_back(L"URL");
    const std::wstring copyright = ReadRegText(key.get(), L"Copyright", found);
    if (!found || copyright.empty() || (resource_.present && copyright != resource_.copyright))
      wrong.push_back(L"Copyright \"" + copyright + L"\"");
    if (ReadRegText(key.get(), L"Description", found) !=
        s.name + L" (part of main Vexmoor main live plug-ins)")
      wrong.push_back(L"Description");
    DWORD values = 0;
    ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr);
    if (values != 8)
      wrong.push_back(Number(values) + L" values");
    if (wrong.empty())
      k.seen = L"as expected, Version \"" + version + L"\"";
    else
      Fail(k, L"wrong: " + Join(wrong));
    Report(k);
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, setup_.settingsRoot.c_str());
}
