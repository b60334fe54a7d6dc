#include "live_Main/host/VxLoadLibrary.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "live_Main/host/VxLog.h"

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

constexpr uint32_t kSearchLibraryFolder = LOAD_WITH_ALTERED_SEARCH_PATH;  // 8

bool IsAbsolutePath(const VxString& name) {
  if (name.find(u'\\') == VxString::npos)
    return false;
  return name.compare(1, 2, u":\\") == 0 || name.compare(0, 2, u"\\\\") == 0;
}

}  // namespace

VxString VxJoinPath(const VxString& folder, std::u16string_view name) {
  VxString path = folder;
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/')
    path.push_back(u'\\');
  path.append(name);
  return path;
}

VxString VxModuleFileName(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = ::GetModuleFileNameW(module, buffer.data(), size);
    if (n == 0)
      return VxString();
    // A cut path fills the buffer exactly (with or without a terminator,
    // depending on the system version).
    if (n < size - 1)
      return VxString(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool VxLoadLibrary::LoadFromInstallation(const VxString& installPath, const VxString& fileName) {
  if (IsAbsolutePath(fileName))
    return Load(fileName.c_str(), kSearchLibraryFolder);
  if (installPath.empty())
    return Load(fileName.c_str(), 0);
  if (Load(VxJoinPath(installPath, fileName).c_str(), kSearchLibraryFolder))
    return true;
  return Load(VxJoinPath(installPath, u"x64\\" + fileName).c_str(), kSearchLibraryFolder);
}

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
