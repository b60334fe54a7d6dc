// A settings key of the reference tools library, backed by the registry.
//
// Keys live under HKEY_CURRENT_USER\Software\Vexmoor\VxTools Reference\<root>,
// where <root> is the VXTOOLS_SETTINGS_ROOT option ("Default" when empty), so
// each test process can keep its own settings. A key path is relative to that
// root, with backslashes.
//
// Values: binary as REG_BINARY, integers as REG_DWORD, text as REG_SZ. A value
// of another type reads as missing (the default). Zone-specific values use the
// name that GetZoneValueName gives: the name itself for zone 0, and
// "<name> (Zone <n>)" for any other zone; ReadInt and ReadString with a zone
// number read that name, so deleting it removes what such a read finds.
//
// With the VXTOOLS_LOG_SETTINGS flag every write and delete is logged (category
// 1, source "VxTools::Settings") with the key's path, so tests can check what a
// module stored and in which order.
//
// Out strings are allocated with SysAllocString; the caller frees them.
// Ownership: the module deletes the object through slot 0, the scalar deleting
// destructor (flags bit 0 frees the memory; returns the object pointer).
#pragma once

#include "foundation/VxHandle.h"
#include "live_Main/host/IVxTools.h"

class VxFileLog;

class VxRegistrySettingsKey final : public IVxSettingsKey {
 public:
  // The registry path of the settings root for `root` (relative to HKCU).
  static VxString RootPath(const VxString& root);
  // Opens (create 0) or creates (create 1) the key `path` below the root.
  // With create 0 a key that does not exist yet is still answered: it reads
  // as empty, and the first write through it makes it, so writes are kept
  // whatever the flag. Null when the key cannot be opened or made.
  static VxRegistrySettingsKey* Open(const VxString& root,
                                     const char16_t* path,
                                     int32_t create,
                                     VxFileLog* log);
  static VxString ZoneValueName(const char16_t* name, int32_t zone);

  void* DeletingDestructor(unsigned int flags) noexcept override;
  bool ReadBinary(const char16_t* name,
                  IVxDllBuffer* buffer,
                  int reserved1,
                  int reserved2) override;
  int32_t ReadInt(const char16_t* name, int32_t defaultValue, int32_t zone, int reserved) override;
  void ReadString(BSTR* out,
                  const char16_t* name,
                  const char16_t* defaultValue,
                  int32_t zone,
                  const char16_t* empty,
                  int reserved) override;
  bool WriteBinary(const char16_t* name,
                   const void* data,
                   int32_t byteCount,
                   int reserved1,
                   int reserved2) override;
  bool WriteInt(const char16_t* name, int32_t value, int reserved1, int reserved2) override;
  bool WriteString(const char16_t* name,
                   const char16_t* value,
                   int reserved1,
                   const char16_t* empty,
                   int reserved2) override;
  void Unused7() override;
  void Unused8() override;
  bool DeleteValue(const char16_t* name) override;
  void Unused10() override;
  void Unused11() override;
  void Unused12() override;
  void Unused13() override;
  void Unused14() override;
  void GetZoneValueName(BSTR* out, const char16_t* name, int32_t zone) override;

 private:
  VxRegistrySettingsKey(VxRegKey key, VxString fullPath, VxString path, VxFileLog* log)
      : key_(std::move(key)), fullPath_(std::move(fullPath)), path_(std::move(path)), log_(log) {}
  ~VxRegistrySettingsKey() = default;
  // The registry key, made now when it does not exist yet; null on failure.
  HKEY WritableKey();
  void Unexpected(int slot);
  void NoteChange(const char16_t* operation, const char16_t* name, const VxString& value);

  VxRegKey key_;       // null until the first write when the key did not exist
  VxString fullPath_;  // relative to HKEY_CURRENT_USER
  VxString path_;
  VxFileLog* log_;
};
