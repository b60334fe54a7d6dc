#include "testdevices/asio/VxTestAsioRegistration.h"

#include <windows.h>

#include <vector>

#include "foundation/VxHandle.h"
#include "testdevices/asio/VxTestAsioConfig.h"

namespace {

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  const LSTATUS status =
      ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS)
    ::SetLastError(status);
  return status == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::wstring& path, VxRegKey& key) {
  const LSTATUS status =
      ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS)
    ::SetLastError(status);
  return status == ERROR_SUCCESS;
}

}  // namespace

bool VxTestAsioRegister(int index, const std::wstring& dllPath) {
  const VxTestAsioConfig config = VxTestAsioConfig::Load(index);
  const std::wstring id = VxTestAsioClassIdText(index);
  VxRegKey classKey, serverKey, asioKey;
  return CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + id, classKey) &&
         SetText(classKey.get(), nullptr, L"VxTestAsio driver") &&
         CreateKey(classKey.get(), L"InprocServer32", serverKey) &&
         SetText(serverKey.get(), nullptr, dllPath) &&
         SetText(serverKey.get(), L"ThreadingModel", L"Apartment") &&
         CreateKey(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\" + config.name, asioKey) &&
         SetText(asioKey.get(), L"CLSID", id) &&
         SetText(asioKey.get(), L"Description", config.description);
}

void VxTestAsioUnregister(int index) {
  const std::wstring id = VxTestAsioClassIdText(index);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + id).c_str());
  VxRegKey asio;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\ASIO", 0, KEY_READ | KEY_WRITE, asio.put()) !=
      ERROR_SUCCESS)
    return;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(asio.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (::RegGetValueW(asio.get(), name, L"CLSID", RRF_RT_REG_SZ, nullptr, value, &size) ==
            ERROR_SUCCESS &&
        _wcsicmp(value, id.c_str()) == 0)
      names.push_back(name);
  }
  for (const std::wstring& n : names)
    ::RegDeleteTreeW(asio.get(), n.c_str());
}
