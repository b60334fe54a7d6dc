// vxhost register: registers the plug-in into the reference tools library's
// settings (root "vxhost") and prints every key and value it wrote under
// Plugins\Live, read back from the registry.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"

namespace {

constexpr wchar_t kSettingsRoot[] = L"vxhost";
// Where the reference tools library keeps the settings of a root.
constexpr wchar_t kSettingsBase[] = L"Software\\Vexmoor\\VxTools Reference\\";

void PrintValue(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
  if (type == REG_DWORD && data.size() >= 4) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), 4);
    VxPrint(stdout, L"    %ls = %ld\n", name, static_cast<long>(value));
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == 0)
      text.pop_back();
    VxPrint(stdout, L"    %ls = \"%ls\"\n", name, text.c_str());
  } else {
    VxPrint(stdout, L"    %ls = (%lu bytes of type %lu)\n", name,
            static_cast<unsigned long>(data.size()), type);
  }
}

// Prints the values of every subkey of `live`; returns the number of subkeys.
int PrintKeys(HKEY live, const std::wstring& livePath) {
  int keys = 0;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (::RegEnumKeyExW(live, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    ++keys;
    VxPrint(stdout, L"  %ls\\%ls\n", livePath.c_str(), name);
    VxRegKey key;
    if (::RegOpenKeyExW(live, name, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
      continue;
    for (DWORD v = 0;; ++v) {
      wchar_t valueName[16384];
      DWORD valueNameLength = 16384;
      DWORD type = 0;
      DWORD bytes = 0;
      if (::RegEnumValueW(key.get(), v, valueName, &valueNameLength, nullptr, &type, nullptr,
                          &bytes) != ERROR_SUCCESS)
        break;
      std::vector<BYTE> data(bytes + sizeof(wchar_t), 0);
      valueNameLength = 16384;
      if (::RegEnumValueW(key.get(), v, valueName, &valueNameLength, nullptr, &type, data.data(),
                          &bytes) != ERROR_SUCCESS)
        break;
      data.resize(bytes);
      PrintValue(valueName, type, data);
    }
  }
  return keys;
}

}  // namespace

int RunRegisterCommand(int argc, wchar_t**) {
  if (argc != 0) {
    VxPrint(stderr, L"usage: vxhost register\n");
    return 2;
  }
  VxHostPlugin host;
  if (!host.LoadTools()) {
    VxPrint(stderr, L"register: %ls\n", host.Error().c_str());
    return 1;
  }
  host.SetToolsOption(L"VXTOOLS_SETTINGS_ROOT", kSettingsRoot);
  const std::wstring rootPath = std::wstring(kSettingsBase) + kSettingsRoot;
  const std::wstring livePath = rootPath + L"\\Plugins\\Live";
  // Start from an empty Plugins\Live so that what is printed is what this run wrote.
  const LSTATUS cleared = ::RegDeleteTreeW(HKEY_CURRENT_USER, livePath.c_str());
  if (cleared != ERROR_SUCCESS && cleared != ERROR_FILE_NOT_FOUND) {
    VxPrint(stderr, L"register: cannot clear HKCU\\%ls: %ls\n", livePath.c_str(),
            VxSystemErrorText(static_cast<DWORD>(cleared)).c_str());
    return 1;
  }
  if (!host.LoadPlugin()) {
    VxPrint(stderr, L"register: %ls\n", host.Error().c_str());
    return 1;
  }
  const HRESULT hr = host.DllRegisterServer()();
  VxPrint(stdout, L"DllRegisterServer returned 0x%08lx\n", static_cast<unsigned long>(hr));

  VxRegKey live;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, livePath.c_str(), 0, KEY_READ, live.put()) !=
      ERROR_SUCCESS) {
    VxPrint(stderr, L"register: nothing was written under HKCU\\%ls\n", livePath.c_str());
    return 1;
  }
  VxPrint(stdout, L"Written under HKCU\\%ls:\n", rootPath.c_str());
  const int keys = PrintKeys(live.get(), L"Plugins\\Live");
  if (keys == 0 || hr != S_OK) {
    VxPrint(stderr, L"register: %ls\n",
            keys == 0 ? L"no source was registered" : L"DllRegisterServer failed");
    return 1;
  }
  VxPrint(stdout, L"%d source(s) registered\n", keys);
  return 0;
}

namespace {

const VxHostCommandRegistration kRegistration{
    {L"register", L"",
     L"registers VxLive.dll (settings root \"vxhost\") and prints what it wrote under "
     L"Plugins\\Live",
     RunRegisterCommand}};

}  // namespace
