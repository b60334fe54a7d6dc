#include "reference/tools/VxFileLog.h"

#include <cstdio>
#include <string>

#include "reference/tools/VxToolsExitWatch.h"
#include "reference/tools/VxToolsOptions.h"

namespace {

void AppendEscaped(std::string& line, const VxString& text) {
  VxString escaped;
  escaped.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\r')
      escaped += u"\\r";
    else if (c == u'\n')
      escaped += u"\\n";
    else if (c == u'\t')
      escaped += u"\\t";
    else
      escaped.push_back(c);
  }
  line += escaped.ToUtf8();
}

}  // namespace

VxFileLog::VxFileLog(const VxToolsOptions& options, VxString defaultPath)
    : options_(options), defaultPath_(std::move(defaultPath)) {}

bool VxFileLog::IsEnabled(int32_t) {
  return true;
}

void VxFileLog::WriteW(int32_t category,
                       const char16_t* source,
                       const char16_t* format,
                       const VxArg* const* args,
                       int32_t capacity) {
  VxToolsExitWatch::Check("IVxLog::WriteW");
  Write(category, VxString::From(source), VxFormatArgs(format, args, capacity));
}

void VxFileLog::WriteA(int32_t category,
                       const char* source,
                       const char* format,
                       const VxArg* const* args,
                       int32_t capacity) {
  VxToolsExitWatch::Check("IVxLog::WriteA");
  const VxString wideFormat = VxString::FromUtf8(format ? format : "");
  Write(category, VxString::FromUtf8(source ? source : ""),
        VxFormatArgs(wideFormat.c_str(), args, capacity));
}

VxString VxFileLog::Path() const {
  VxString path = options_.Get(kVxOptLogFile);
  return path.empty() ? defaultPath_ : path;
}

void VxFileLog::OpenCurrentFile() {
  const VxString path = Path();
  if (file_ && path == openPath_)
    return;
  file_.reset(::CreateFileW(path.Wide(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  openPath_ = path;
}

void VxFileLog::Write(int32_t category, const VxString& source, const VxString& message) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u\t%d\t%lu\t", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                static_cast<int>(category), static_cast<unsigned long>(::GetCurrentThreadId()));
  std::string line = stamp;
  AppendEscaped(line, source);
  line += '\t';
  AppendEscaped(line, message);
  line += "\r\n";

  const DWORD lastError = ::GetLastError();  // logging must not disturb the caller's error
  {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenCurrentFile();
    DWORD written = 0;
    if (file_)
      (void)::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                        nullptr);
    if (options_.GetFlag(kVxOptLogConsole)) {
      HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
      if (out && out != INVALID_HANDLE_VALUE)
        (void)::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (listener_)
      listener_(listenerContext_, category, source.Wide(), message.Wide());
  }
  ::SetLastError(lastError);
}

void VxFileLog::SetListener(VxToolsLogListener listener, void* context) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = listener;
  listenerContext_ = context;
}
