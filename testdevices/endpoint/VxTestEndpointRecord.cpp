#include "testdevices/endpoint/VxTestEndpointRecord.h"

#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const char* ApartmentName() {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  if (FAILED(::CoGetApartmentType(&type, &qualifier)))
    return "none";
  switch (type) {
    case APTTYPE_STA:
      return "sta";
    case APTTYPE_MTA:
      return qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA ? "mta-implicit" : "mta";
    case APTTYPE_NA:
      return "na";
    case APTTYPE_MAINSTA:
      return "mainsta";
    default:
      return "other";
  }
}

}  // namespace

VxTestEndpointRecord& VxTestEndpointRecord::Instance() noexcept {
  static VxTestEndpointRecord record;
  return record;
}

void VxTestEndpointRecord::SetPath(const std::wstring& path) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path == path_ && (file_ || path.empty()))
    return;
  file_.reset();
  path_ = path;
  if (path_.empty())
    return;
  // Shared for reading, writing and deleting: tests read and truncate it while
  // the endpoint holds it open.
  file_.reset(::CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void VxTestEndpointRecord::Close() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  file_.reset();
}

void VxTestEndpointRecord::Write(const char* event, const std::string& fields) noexcept {
  const DWORD lastError = ::GetLastError();
  char head[160];
  const char* apartment = ApartmentName();
  // com=1: the thread itself initialised COM (an implicit MTA member did not).
  const bool com =
      std::strcmp(apartment, "none") != 0 && std::strcmp(apartment, "mta-implicit") != 0;
  std::snprintf(head, sizeof head, "%s\ttid=%lu\tapt=%s\tcom=%d", event, ::GetCurrentThreadId(),
                apartment, com ? 1 : 0);
  std::string line = head;
  if (!fields.empty())
    line += '\t' + fields;
  line += '\n';
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) {
      DWORD written = 0;
      ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
  }
  ::SetLastError(lastError);
}

std::string VxRecordFields(const char* format, ...) noexcept {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0)
    return {};
  if (static_cast<size_t>(n) < sizeof buffer)
    return std::string(buffer, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}
