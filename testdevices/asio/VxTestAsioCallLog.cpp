#include "testdevices/asio/VxTestAsioCallLog.h"

#include <cstdarg>
#include <cstdio>

std::shared_ptr<VxTestAsioCallLog> VxTestAsioCallLog::Open(const std::wstring& path) {
  auto log = std::make_shared<VxTestAsioCallLog>();
  if (!path.empty())
    log->file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return log;
}

void VxTestAsioCallLog::Line(const char* format, ...) noexcept {
  if (!file_)
    return;
  char text[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text - 1, format, args);
  va_end(args);
  if (n < 0)
    return;
  if (n > static_cast<int>(sizeof text) - 2)
    n = static_cast<int>(sizeof text) - 2;
  text[n++] = '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  DWORD written = 0;
  (void)::WriteFile(file_.get(), text, static_cast<DWORD>(n), &written, nullptr);
}
