// Options of the reference tools library.
//
// An option is looked up by name on every use: a value set with
// VxToolsSetOption (exported) wins, otherwise the process environment variable
// of the same name is read. Reading on use means a test or host program can
// switch an option at any time, before or after the library was loaded, and
// the next log line, translation or message box follows it.
//
// Thread-safe; one process-wide instance.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "foundation/VxString.h"

inline constexpr char16_t kVxOptLogFile[] = u"VXTOOLS_LOG_FILE";
inline constexpr char16_t kVxOptLogConsole[] = u"VXTOOLS_LOG_CONSOLE";
inline constexpr char16_t kVxOptTranslationFile[] = u"VXTOOLS_TRANSLATION_FILE";
inline constexpr char16_t kVxOptPseudoTranslate[] = u"VXTOOLS_PSEUDO_TRANSLATE";
inline constexpr char16_t kVxOptLanguage[] = u"VXTOOLS_LANGUAGE";
inline constexpr char16_t kVxOptProductFail[] = u"VXTOOLS_PRODUCT_FAIL";
inline constexpr char16_t kVxOptProductError[] = u"VXTOOLS_PRODUCT_ERROR";
inline constexpr char16_t kVxOptHeadless[] = u"VXTOOLS_HEADLESS";
inline constexpr char16_t kVxOptMessageBoxAnswer[] = u"VXTOOLS_MESSAGEBOX_ANSWER";
inline constexpr char16_t kVxOptScale[] = u"VXTOOLS_SCALE";
inline constexpr char16_t kVxOptSettingsRoot[] = u"VXTOOLS_SETTINGS_ROOT";
inline constexpr char16_t kVxOptLogSettings[] = u"VXTOOLS_LOG_SETTINGS";

class VxToolsOptions {
 public:
  static VxToolsOptions& Instance();

  // Sets an override; a null value removes it (the environment counts again).
  void Set(std::u16string_view name, const char16_t* value);
  // The override, else the environment variable, else empty.
  VxString Get(std::u16string_view name) const;
  // "1", "true", "yes" and "on" (any case) are true; anything else is false.
  bool GetFlag(std::u16string_view name) const;
  // Changes with every Set, so services that cache a file can reload it.
  uint32_t Generation() const;

 private:
  VxToolsOptions() = default;
  std::optional<VxString> Override(std::u16string_view name) const;

  mutable std::mutex mutex_;
  std::map<VxString, VxString> overrides_;  // keys upper-cased
  uint32_t generation_ = 0;
};
