// The settings key handle: an owning holder of one host settings key
// (IVxSettingsKey), or null.
//
// Ownership: the handle owns the host object and deletes it through the
// object's slot 0 (the scalar deleting destructor, flags 1) when it is reset,
// reassigned or destroyed; it is move-only. A handle is null when the host
// tools library could not be made available or when the host had no key for
// the path; every operation on a null handle is skipped and gives the result
// stated beside it (reads give their default).
//
// Strings the host returns as BSTR are copied into a VxString and freed with
// SysFreeString at once. The handle has no lock: one thread uses it at a time.
// Windows only.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/host/IVxTools.h"

struct VxSettingsKeyTraits {
  using Type = IVxSettingsKey*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type key) { return key != nullptr; }
  static void Close(Type key) { key->DeletingDestructor(1); }
};

class VxSettingsKey {
 public:
  static constexpr int32_t kOpenExisting = 0;
  static constexpr int32_t kCreate = 1;

  VxSettingsKey() = default;
  explicit VxSettingsKey(IVxSettingsKey* key) : key_(key) {}

  // Loads the host tools library when needed and opens `path` (backslash-
  // separated, below the host's settings root); null when either fails.
  [[nodiscard]] static VxSettingsKey Open(const VxString& path, int32_t create);

  explicit operator bool() const { return static_cast<bool>(key_); }
  IVxSettingsKey* Get() const { return key_.get(); }
  void Reset(IVxSettingsKey* key = nullptr) { key_.reset(key); }

  // Null handle: false, `out` untouched.
  [[nodiscard]] bool ReadBinary(const char16_t* name, std::vector<uint8_t>& out) const;
  // Null handle: the default.
  int32_t ReadInt(const char16_t* name, int32_t defaultValue, int32_t zone = 0) const;
  VxString ReadString(const char16_t* name, const VxString& defaultValue, int32_t zone = 0) const;
  // Null handle: false, nothing written.
  [[nodiscard]] bool WriteBinary(const char16_t* name, const void* data, int32_t byteCount) const;
  [[nodiscard]] bool WriteInt(const char16_t* name, int32_t value) const;
  [[nodiscard]] bool WriteString(const char16_t* name, const VxString& value) const;
  // Null handle: false.
  bool DeleteValue(const char16_t* name) const;
  // The name under which the key keeps `name` for `zone`; null handle: `name`.
  VxString GetZoneValueName(const char16_t* name, int32_t zone) const;

 private:
  VxUniqueHandle<VxSettingsKeyTraits> key_;
};
