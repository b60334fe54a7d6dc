#include "sources/asio/ASIODriverList.h"

#include <cstring>

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

// Reads a string value into `out` (NUL-terminated within `size` bytes); an
// expandable string is expanded.
bool ReadString(HKEY key, const char* name, char* out, DWORD size) {
  DWORD type = 0;
  DWORD bytes = size - 1;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes) !=
      ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return false;
  out[bytes < size ? bytes : size - 1] = 0;
  if (type == REG_EXPAND_SZ) {
    char expanded[kServerPathBytes] = {};
    const DWORD n = ::ExpandEnvironmentStringsA(out, expanded, sizeof expanded);
    if (n == 0 || n > sizeof expanded)
      return false;
    CopyCut(out, size, expanded);
  }
  return true;
}

VxRegKey OpenForReading(HKEY parent, const char* path) {
  VxRegKey key;
  if (::RegOpenKeyExA(parent, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    key.reset();
  return key;
}

// True when HKCR\clsid\<clsidText>\InprocServer32 names a file that exists.
// Registry key names compare without regard to case, so opening the class key
// by name finds it in whatever case it was registered.
bool HasServerFile(const char* clsidText) {
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
  if (!ReadString(server.get(), nullptr, path, sizeof path))
    return false;
  return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<ASIODriverRecord> MakeRecord(HKEY asio, const char* keyName, int32_t id) {
  VxRegKey key = OpenForReading(asio, keyName);
  if (!key)
    return nullptr;
  char clsidText[kClsidValueBytes] = {};
  if (!ReadString(key.get(), "clsid", clsidText, sizeof clsidText))
    return nullptr;
  if (!HasServerFile(clsidText))
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

ASIODriverList::ASIODriverList() noexcept {
  VxRegKey asio = OpenForReading(HKEY_LOCAL_MACHINE, "software\\asio");
  if (!asio)
    return;
  std::unique_ptr<ASIODriverRecord>* tail = &first_;
  for (DWORD index = 0;; ++index) {
    char keyName[kKeyNameBytes] = {};
    DWORD length = kKeyNameBytes;
    if (::RegEnumKeyExA(asio.get(), index, keyName, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::unique_ptr<ASIODriverRecord> record = MakeRecord(asio.get(), keyName, count_);
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
