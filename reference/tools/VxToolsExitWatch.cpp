#include "reference/tools/VxToolsExitWatch.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "reference/tools/VxReferenceTools.h"

namespace {

std::atomic<bool> gDetached{false};
// The log file, kept as plain characters so that it outlives the objects.
wchar_t gLogPath[MAX_PATH] = {};

using ShutdownInProgressProc = BOOLEAN(NTAPI*)();

bool ShutdownInProgress() {
  static const auto proc = reinterpret_cast<ShutdownInProgressProc>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
  return proc && proc() != 0;
}

void RememberLogPath() {
  const VxString path = VxReferenceTools::Instance().Log().Path();
  const size_t n = path.size() < MAX_PATH - 1 ? path.size() : MAX_PATH - 1;
  std::memcpy(gLogPath, path.data(), n * sizeof(wchar_t));
  gLogPath[n] = 0;
}

void Append(const char* message) {
  if (!gLogPath[0])
    return;
  const DWORD lastError = ::GetLastError();
  HANDLE file = ::CreateFileW(gLogPath, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    char line[256];
    const int n = std::snprintf(line, sizeof line, "-\t1\t%lu\tVxTools\t%s\r\n",
                                static_cast<unsigned long>(::GetCurrentThreadId()), message);
    DWORD written = 0;
    if (n > 0)
      (void)::WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    ::CloseHandle(file);
  }
  ::SetLastError(lastError);
}

bool Late() {
  return gDetached.load() || ShutdownInProgress();
}

}  // namespace

void VxToolsExitWatch::Detached(bool processExit) {
  // A FreeLibrary detach needs no line: nothing can call a library that is gone.
  if (!processExit)
    return;
  RememberLogPath();
  gDetached.store(true);
  Append("Process detach (process exit: 1)");
}

void VxToolsExitWatch::Check(const VxString& call) {
  if (Late())
    Check(call.ToUtf8().c_str());
}

void VxToolsExitWatch::Check(const char* call) {
  if (!Late())
    return;
  if (!gLogPath[0])
    RememberLogPath();
  char message[160];
  std::snprintf(message, sizeof message, "Late call during process exit: %s", call);
  Append(message);
}
