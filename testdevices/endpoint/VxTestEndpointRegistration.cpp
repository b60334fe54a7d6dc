#include "testdevices/endpoint/VxTestEndpointRegistration.h"

#include <windows.h>

#include "foundation/VxHandle.h"

namespace {

constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";
constexpr wchar_t kSavedKey[] = L"Software\\VxTestEndpointRegistration";

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

bool GetString(HKEY root, const wchar_t* path, const wchar_t* name, std::wstring* value) {
  VxRegKey key;
  if (::RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return false;
  wchar_t text[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH * sizeof(wchar_t), type = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  *value = text;
  return true;
}

bool WriteServer(const std::wstring& path, const std::wstring& threadingModel) {
  VxRegKey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  return SetString(key.get(), nullptr, path) &&
         SetString(key.get(), L"ThreadingModel", threadingModel);
}

}  // namespace

bool VxTestEndpointRegistration::Install(const std::wstring& dllPath) noexcept {
  std::wstring saved;
  if (!GetString(HKEY_CURRENT_USER, kSavedKey, L"Server", &saved)) {
    std::wstring previous, model = L"Both";
    (void)GetString(HKEY_LOCAL_MACHINE, kServerKey, nullptr, &previous);
    (void)GetString(HKEY_LOCAL_MACHINE, kServerKey, L"ThreadingModel", &model);
    if (previous == dllPath)
      return true;
    VxRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS ||
        !SetString(key.get(), L"Server", previous) ||
        !SetString(key.get(), L"ThreadingModel", model))
      return false;
  }
  // Both: the object is made in whatever apartment the caller's thread is in.
  return WriteServer(dllPath, L"Both");
}

bool VxTestEndpointRegistration::Remove() noexcept {
  std::wstring saved, model = L"Both";
  if (!GetString(HKEY_CURRENT_USER, kSavedKey, L"Server", &saved))
    return true;
  (void)GetString(HKEY_CURRENT_USER, kSavedKey, L"ThreadingModel", &model);
  if (saved.empty()) {
    // There was no server before: take ours away entirely.
    const LSTATUS status = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServerKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return false;
  } else if (!WriteServer(saved, model)) {
    return false;
  }
  const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kSavedKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::wstring VxTestEndpointRegistration::CurrentServer() noexcept {
  std::wstring path;
  (void)GetString(HKEY_CLASSES_ROOT, kServerKey + 17, nullptr, &path);
  return path;
}
