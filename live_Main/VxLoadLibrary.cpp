#include "live_Main/VxLoadLibrary.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "live_Main/VxLog.h"

namespace {

std::string ToMultiByte(const char16_t* path) {
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(path);
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<size_t>(size - 1));
  return text;
}

}  // namespace

bool VxLoadLibrary::Load(const char16_t* path, uint32_t flags) {
  Free();
  if (!path || !*path)
    return false;
  HMODULE module =
      ::LoadLibraryExW(reinterpret_cast<const wchar_t*>(path), nullptr, flags & ~kLogFailure);
  if (module) {
    module_.reset(module);
    return true;
  }
  const DWORD error = ::GetLastError();
  if (flags & kLogFailure)
    VxLog(kVxLogRuntime, u"VxLoadLibrary", u"Loading %s failed, error: %d",
          {path, static_cast<unsigned long>(error)});
  std::printf("\n\nERROR in VxLoadLibrary: errno=%d, file=%s\n\n", errno,
              ToMultiByte(path).c_str());
  std::fflush(stdout);
  // The caller judges the failure by the loader's error, not by what printing left behind.
  ::SetLastError(error);
  return false;
}
