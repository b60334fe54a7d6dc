#include "sources/asio/ASIODriverList.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "foundation/VxNumber.h"

namespace {

// Copies `text` into `out` of `size` bytes, cut to fit and always terminated.
void CopyCut(char* out, size_t size, const char* text) {
  const size_t length = strnlen(text, size - 1);
  std::memcpy(out, text, length);
  out[length] = 0;
}

constexpr DWORD kKeyNameBytes = 128;
constexpr DWORD kClsidValueBytes = 256;
constexpr DWORD kDescriptionBytes = 256;
constexpr DWORD kServerPathBytes = 512;

// Reads a string value of at most `size` bytes, terminator included, into
// `out`; a value stored without terminator that fills all `size` bytes loses
// its last byte to the terminator. `expandable` tells whether it was stored
// as REG_EXPAND_SZ.
bool ReadString(HKEY key, const char* name, char* out, DWORD size, bool* expandable = nullptr) {
  DWORD type = 0;
  DWORD bytes = size;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes) !=
      ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return false;
  out[bytes < size ? bytes : size - 1] = 0;
  if (expandable)
    *expandable = type == REG_EXPAND_SZ;
  return true;
}

VxRegKey OpenForReading(HKEY parent, const char* path) {
  VxRegKey key;
  if (::RegOpenKeyExA(parent, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    key.reset();
  return key;
}

std::wstring Expand(const std::wstring& text) {
  const DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (n == 0)
    return std::wstring();
  std::wstring out(n, L'\0');
  if (::ExpandEnvironmentStringsW(text.c_str(), out.data(), n) == 0 || n > out.size())
    return std::wstring();
  out.resize(std::wcslen(out.c_str()));
  return out;
}

// A string that a `Get(buffer, size)` routine writes, with its answer in
// characters as the system's folder routines give it.
template <typename Get>
std::wstring SystemText(Get get) {
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = get(out.data(), static_cast<DWORD>(out.size()));
  if (n >= out.size()) {
    out.assign(n + 1, L'\0');
    n = get(out.data(), static_cast<DWORD>(out.size()));
  }
  out.resize(n < out.size() ? n : 0);
  return out;
}

bool IsFile(const std::wstring& path) {
  if (path.empty())
    return false;
  const std::wstring full = SystemText(
      [&](wchar_t* b, DWORD n) { return ::GetFullPathNameW(path.c_str(), n, b, nullptr); });
  const DWORD attributes = ::GetFileAttributesW(full.empty() ? path.c_str() : full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folders where the loader looks for a DLL named without a full path: the
// program's folder, the system folder, the Windows folder, the current folder
// and those of PATH. COM hands the server value to the loader as it stands,
// and regsvr32 (Wine's in particular) registers a DLL in the system folder by
// its bare file name, so the existence test must look where the loader looks.
std::vector<std::wstring> SearchFolders() {
  std::vector<std::wstring> folders;
  std::wstring program =
      SystemText([](wchar_t* b, DWORD n) { return ::GetModuleFileNameW(nullptr, b, n); });
  program.resize(program.find_last_of(L"\\/") == std::wstring::npos ? 0
                                                                    : program.find_last_of(L"\\/"));
  folders.push_back(program);
  folders.push_back(SystemText([](wchar_t* b, DWORD n) { return ::GetSystemDirectoryW(b, n); }));
  folders.push_back(SystemText([](wchar_t* b, DWORD n) { return ::GetWindowsDirectoryW(b, n); }));
  folders.push_back(SystemText([](wchar_t* b, DWORD n) { return ::GetCurrentDirectoryW(n, b); }));
  const std::wstring path =
      SystemText([](wchar_t* b, DWORD n) { return ::GetEnvironmentVariableW(L"PATH", b, n); });
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(L';', start);
    if (end == std::wstring::npos)
      end = path.size();
    folders.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

// True when the server value names an existing file: a full path as it
// stands, a bare name or relative path in one of the search folders (with
// ".dll" added when the name has no extension, as the loader does).
bool ServerFileExists(const char* value,
                      bool expandable,
                      const std::vector<std::wstring>& folders) {
  std::wstring name = VxAsioFromAnsi(value);
  if (expandable)
    name = Expand(name);
  if (name.empty())
    return false;
  const bool rooted = name[0] == L'\\' || name[0] == L'/' || name.find(L':') != std::wstring::npos;
  if (rooted)
    return IsFile(name);
  const size_t lastPart = name.find_last_of(L"\\/");
  if (name.find(L'.', lastPart == std::wstring::npos ? 0 : lastPart) == std::wstring::npos)
    name += L".dll";
  for (const std::wstring& folder : folders) {
    if (!folder.empty() && IsFile(folder + L"\\" + name))
      return true;
  }
  return false;
}

// True when HKCR\clsid\<clsidText>\InprocServer32 names a file that exists.
// Registry key names compare without regard to case, so opening the class key
// by name finds it in whatever case it was registered.
bool HasServerFile(const char* clsidText, const std::vector<std::wstring>& folders) {
  if (!clsidText[0] || std::strchr(clsidText, '\\'))
    return false;
  VxRegKey classes = OpenForReading(HKEY_CLASSES_ROOT, "clsid");
  if (!classes)
    return false;
  VxRegKey classKey = OpenForReading(classes.get(), clsidText);
  if (!classKey)
    return false;
  VxRegKey server = OpenForReading(classKey.get(), "InprocServer32");
  if (!server)
    return false;
  char path[kServerPathBytes] = {};
  bool expandable = false;
  return ReadString(server.get(), nullptr, path, sizeof path, &expandable) &&
         ServerFileExists(path, expandable, folders);
}

std::unique_ptr<ASIODriverRecord> MakeRecord(HKEY asio,
                                             const char* keyName,
                                             int32_t id,
                                             const std::vector<std::wstring>& folders) {
  VxRegKey key = OpenForReading(asio, keyName);
  if (!key)
    return nullptr;
  char clsidText[kClsidValueBytes] = {};
  if (!ReadString(key.get(), "clsid", clsidText, sizeof clsidText))
    return nullptr;
  if (!HasServerFile(clsidText, folders))
    return nullptr;
  auto record = std::make_unique<ASIODriverRecord>();
  record->id = id;
  record->clsid = VxAsioParseDeviceId(VxString::FromAscii(clsidText));
  char description[kDescriptionBytes] = {};
  const char* name =
      ReadString(key.get(), "description", description, sizeof description) ? description : keyName;
  // Longer descriptions are cut to the record's field.
  CopyCut(record->name, sizeof record->name, name);
  return record;
}

// Parses exactly `digits` hexadecimal digits.
bool ParseHex(const char16_t* text, int digits, uint64_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = VxHexDigitValue(text[i]);
    if (v < 0)
      return false;
    out = (out << 4) | static_cast<uint64_t>(v);
  }
  return true;
}

// The 36-character form 8-4-4-4-12.
bool ParseBare(const char16_t* t, GUID& out) {
  static constexpr int kDashes[] = {8, 13, 18, 23};
  for (int pos : kDashes) {
    if (t[pos] != u'-')
      return false;
  }
  uint64_t d1, d2, d3, d4, d5;
  if (!ParseHex(t, 8, d1) || !ParseHex(t + 9, 4, d2) || !ParseHex(t + 14, 4, d3) ||
      !ParseHex(t + 19, 4, d4) || !ParseHex(t + 24, 12, d5))
    return false;
  out.Data1 = static_cast<unsigned long>(d1);
  out.Data2 = static_cast<unsigned short>(d2);
  out.Data3 = static_cast<unsigned short>(d3);
  out.Data4[0] = static_cast<unsigned char>(d4 >> 8);
  out.Data4[1] = static_cast<unsigned char>(d4);
  for (int i = 0; i < 6; ++i)
    out.Data4[2 + i] = static_cast<unsigned char>(d5 >> (40 - 8 * i));
  return true;
}

}  // namespace

std::wstring VxAsioFromAnsi(const char* text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0)
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(std::wcslen(out.c_str()));
  return out;
}

VxString VxAsioDriverName(const ASIODriverRecord& record) {
  return VxString(VxAsioFromAnsi(record.name).c_str());
}

VxString VxAsioDeviceId(const GUID& g) {
  wchar_t text[40] = {};
  std::swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                g.Data4[6], g.Data4[7]);
  return VxString(text);
}

GUID VxAsioParseDeviceId(const VxString& text) {
  GUID id = {};
  if (text.size() == 38 && text.front() == u'{' && text.back() == u'}' &&
      ParseBare(text.c_str() + 1, id))
    return id;
  if (text.size() == 36 && ParseBare(text.c_str(), id))
    return id;
  VxString copy = text;
  if (!text.empty() && SUCCEEDED(::CLSIDFromString(copy.WideData(), &id)))
    return id;
  return GUID{};
}

ASIODriverList::ASIODriverList() {
  VxRegKey asio = OpenForReading(HKEY_LOCAL_MACHINE, "software\\asio");
  if (!asio)
    return;
  const std::vector<std::wstring> folders = SearchFolders();
  std::unique_ptr<ASIODriverRecord>* tail = &first_;
  for (DWORD index = 0;; ++index) {
    char keyName[kKeyNameBytes] = {};
    DWORD length = kKeyNameBytes;
    if (::RegEnumKeyExA(asio.get(), index, keyName, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::unique_ptr<ASIODriverRecord> record = MakeRecord(asio.get(), keyName, count_, folders);
    if (!record)
      continue;
    *tail = std::move(record);
    tail = &(*tail)->next;
    ++count_;
  }
}

ASIODriverList::~ASIODriverList() {
  // Unlinks iteratively so a long list cannot exhaust the stack.
  std::unique_ptr<ASIODriverRecord> record = std::move(first_);
  while (record)
    record = std::move(record->next);
}

const ASIODriverRecord* ASIODriverList::Record(int32_t id) const {
  for (const ASIODriverRecord* r = first_.get(); r; r = r->next.get()) {
    if (r->id == id)
      return r;
  }
  return nullptr;
}

IASIO* ASIODriverList::LoadDriver(const GUID& clsid) noexcept {
  ASIODriverRecord* record = first_.get();
  while (record && !IsEqualGUID(record->clsid, clsid))
    record = record->next.get();
  if (!record)
    return nullptr;
  RemoveCurrentDriver();
  if (record->driver)
    return nullptr;
  IASIO* driver = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid,
                                reinterpret_cast<void**>(&driver))) ||
      !driver)
    return nullptr;
  record->driver.reset(driver);
  current_ = record->id;
  return driver;
}

void ASIODriverList::RemoveCurrentDriver() noexcept {
  for (ASIODriverRecord* r = first_.get(); r && current_ != -1; r = r->next.get()) {
    if (r->id == current_)
      r->driver.reset();
  }
  current_ = -1;
}
