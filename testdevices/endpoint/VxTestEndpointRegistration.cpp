#include "testdevices/endpoint/VxTestEndpointRegistration.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "foundation/VxHandle.h"

namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";
constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";
constexpr wchar_t kSavedKey[] = L"Software\\VxTestEndpointRegistration";
// Saved type of a value that did not exist.
constexpr DWORD kMissing = 0xFFFFFFFFu;

struct SavedValue {
  const wchar_t* name;       // value of the server key (null: its default value)
  const wchar_t* typeName;   // where its type is saved
  const wchar_t* bytesName;  // where its bytes are saved
};
constexpr SavedValue kValues[] = {{nullptr, L"ServerType", L"ServerBytes"},
                                  {L"ThreadingModel", L"ModelType", L"ModelBytes"}};

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}
bool SetDword(HKEY key, const wchar_t* name, DWORD value) {
  return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

// A value's type and bytes as stored; type kMissing when there is none.
DWORD ReadRaw(HKEY key, const wchar_t* name, std::vector<BYTE>* bytes) {
  DWORD type = 0, size = 0;
  bytes->clear();
  if (!key || ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return kMissing;
  bytes->resize(size);
  if (::RegQueryValueExW(key, name, nullptr, &type, bytes->data(), &size) != ERROR_SUCCESS)
    return kMissing;
  bytes->resize(size);
  return type;
}

std::wstring ReadText(HKEY root, const wchar_t* path, const wchar_t* name) {
  VxRegKey key;
  if (::RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return {};
  std::vector<BYTE> bytes;
  const DWORD type = ReadRaw(key.get(), name, &bytes);
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return {};
  bytes.resize(bytes.size() + sizeof(wchar_t), 0);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  VxRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The shortest key on the way to the server key that does not exist yet
// (empty when the server key exists): the one Remove may delete.
std::wstring FirstMissingKey(HKEY root) {
  const std::wstring full = kServerKey;
  for (size_t at = std::wcslen(kClassesKey); at != std::wstring::npos;
       at = full.find(L'\\', at + 1)) {
    if (!KeyExists(root, full.substr(0, at)))
      return full.substr(0, at);
  }
  return KeyExists(root, full) ? std::wstring() : full;
}

// The endpoint as the class's server. Both: the object is made in whatever
// apartment the caller's thread is in.
bool WriteServer(HKEY root, const std::wstring& dllPath) {
  VxRegKey key;
  return ::RegCreateKeyExW(root, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                           nullptr) == ERROR_SUCCESS &&
         SetString(key.get(), nullptr, dllPath) && SetString(key.get(), L"ThreadingModel", L"Both");
}

HKEY RootNamed(const std::wstring& name) {
  return name == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

}  // namespace

bool VxTestEndpointRegistration::UnderWine() noexcept {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool VxTestEndpointRegistration::UsesMachineClasses() noexcept {
  wchar_t force[8] = {};
  if (::GetEnvironmentVariableW(L"VXTESTENDPOINT_MACHINE", force, 8) == 1 &&
      (force[0] == L'0' || force[0] == L'1'))
    return force[0] == L'1';
  return UnderWine();
}

bool VxTestEndpointRegistration::Install(const std::wstring& dllPath) noexcept {
  // Installed before and not removed: the first saved state stays.
  const std::wstring savedRoot = ReadText(HKEY_CURRENT_USER, kSavedKey, L"Root");
  if (!savedRoot.empty())
    return WriteServer(RootNamed(savedRoot), dllPath);
  const bool machine = UsesMachineClasses();
  const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  VxRegKey saved, server;
  (void)::RegOpenKeyExW(root, kServerKey, 0, KEY_READ, server.put());
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        saved.put(), nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = SetString(saved.get(), L"Created", FirstMissingKey(root));
  for (const SavedValue& v : kValues) {
    std::vector<BYTE> bytes;
    const DWORD type = ReadRaw(server.get(), v.name, &bytes);
    ok = ok && SetDword(saved.get(), v.typeName, type) &&
         ::RegSetValueExW(saved.get(), v.bytesName, 0, REG_BINARY, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }
  // The root goes last: it marks the saved state complete.
  ok = ok && SetString(saved.get(), L"Root", machine ? L"HKLM" : L"HKCU");
  saved.reset();
  server.reset();
  if (!ok) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSavedKey);
    return false;
  }
  if (!WriteServer(root, dllPath)) {
    (void)Remove();
    return false;
  }
  return true;
}

bool VxTestEndpointRegistration::Remove() noexcept {
  const std::wstring rootName = ReadText(HKEY_CURRENT_USER, kSavedKey, L"Root");
  if (rootName.empty()) {
    // Nothing saved (or a save that never completed): nothing of ours to undo.
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kSavedKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  const HKEY root = RootNamed(rootName);
  const std::wstring created = ReadText(HKEY_CURRENT_USER, kSavedKey, L"Created");
  if (!created.empty()) {
    const LSTATUS status = ::RegDeleteTreeW(root, created.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return false;
  } else {
    VxRegKey saved, server;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, KEY_READ, saved.put()) != ERROR_SUCCESS ||
        ::RegOpenKeyExW(root, kServerKey, 0, KEY_WRITE, server.put()) != ERROR_SUCCESS)
      return false;
    for (const SavedValue& v : kValues) {
      std::vector<BYTE> type, bytes;
      if (ReadRaw(saved.get(), v.typeName, &type) != REG_DWORD || type.size() != sizeof(DWORD))
        return false;
      const DWORD savedType = *reinterpret_cast<const DWORD*>(type.data());
      (void)ReadRaw(saved.get(), v.bytesName, &bytes);
      const LSTATUS status = savedType == kMissing
                                 ? ::RegDeleteValueW(server.get(), v.name)
                                 : ::RegSetValueExW(server.get(), v.name, 0, savedType,
                                                    bytes.data(), static_cast<DWORD>(bytes.size()));
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return false;
    }
  }
  const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kSavedKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::wstring VxTestEndpointRegistration::CurrentServer() noexcept {
  // HKEY_CLASSES_ROOT: the per-user classes over the machine's, as COM reads them.
  return ReadText(HKEY_CLASSES_ROOT, kServerKey + 17, nullptr);
}
