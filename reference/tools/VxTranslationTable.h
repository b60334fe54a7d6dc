// The translation service of the reference tools library.
//
// Translations come from a UTF-8 table file named by VXTOOLS_TRANSLATION_FILE:
// one entry per line, "source<TAB>translation"; empty lines and lines starting
// with "#" are skipped, a leading byte-order mark is ignored, and inside both
// fields \t, \r, \n and \\ stand for a tab, carriage return, line feed and
// backslash (so multi-line texts fit on one line). A text without an entry
// stays as it is. The file is read again whenever the option's value or any
// option changed since the last read.
//
// With VXTOOLS_PSEUDO_TRANSLATE on, every text passed through Translate comes
// back wrapped as "[[text]]" (after the table lookup), which proves which texts
// went through translation.
//
// Any thread may translate; the table is guarded by one lock.
#pragma once

#include <map>
#include <mutex>

#include "live_Main/host/IVxTools.h"

class VxToolsOptions;

class VxTranslationTable final : public IVxTranslator {
 public:
  explicit VxTranslationTable(const VxToolsOptions& options);

  const char16_t* GetLanguage() override;
  void Translate(IVxDllString* text) override;

  // The translation of `text` (the same text when the table has none).
  VxString Lookup(const VxString& text);
  // Parses table text; exposed for the library's tests.
  static std::map<VxString, VxString> Parse(std::string_view utf8);

 private:
  void ReloadIfChanged();  // under mutex_

  const VxToolsOptions& options_;
  std::mutex mutex_;
  std::map<VxString, VxString> entries_;
  VxString loadedPath_;
  uint32_t loadedGeneration_ = 0;
  bool loaded_ = false;
  VxString language_;
};
