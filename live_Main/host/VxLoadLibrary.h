// VxLoadLibrary: holds one loaded module.
//
// Load() frees what was loaded before, then loads `path` with
// LoadLibraryExW(path, null, flags & 0x7FFFFFFF). On failure it prints
// "\n\nERROR in VxLoadLibrary: errno=%d, file=%s\n\n" to standard output and,
// when bit 31 of `flags` is set, logs "Loading %s failed, error: %d" (category
// 1, source "VxLoadLibrary"). Not thread-safe; the host library set guards its
// own instances with its lock.
//
// LoadFromInstallation() applies the host's search rule for its libraries: an
// absolute file name as given; with no install path the bare name; else the
// install path joined with the name, then with "x64\" and the name.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"

// `folder` and `name` with one backslash between them; `name` alone when
// `folder` is empty.
VxString VxJoinPath(const VxString& folder, std::u16string_view name);

// The full path of a loaded module (null: the process's executable), of any
// length; empty when the module is unknown.
VxString VxModuleFileName(HMODULE module);

class VxLoadLibrary {
 public:
  static constexpr uint32_t kLogFailure = 0x80000000u;

  VxLoadLibrary() = default;
  ~VxLoadLibrary() = default;
  VxLoadLibrary(const VxLoadLibrary&) = delete;
  VxLoadLibrary& operator=(const VxLoadLibrary&) = delete;

  [[nodiscard]] bool Load(const char16_t* path, uint32_t flags);
  [[nodiscard]] bool LoadFromInstallation(const VxString& installPath, const VxString& fileName);
  void Free() { module_.reset(); }
  // Forgets the module without freeing it.
  void Abandon() { (void)module_.release(); }
  HMODULE Get() const { return module_.get(); }
  bool IsLoaded() const { return static_cast<bool>(module_); }

 private:
  VxModule module_;
};
