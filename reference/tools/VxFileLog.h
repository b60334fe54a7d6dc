// The log service of the reference tools library.
//
// Every entry becomes one UTF-8 line, written with a single WriteFile call so
// that readers in the same or another process see whole lines at once:
//
//   2026-12-06 09:30:00.123<TAB>category<TAB>thread id<TAB>source<TAB>message<CR><LF>
//
// Local time with milliseconds; the category and the writing thread's id in
// decimal; carriage returns, line feeds and tabs inside source and message are
// written as \r, \n and \t so that an entry never spans lines. The file is
// opened for appending and shared for reading, writing and deleting; it is
// reopened when the VXTOOLS_LOG_FILE option names another file (default:
// VxTools.log beside the library). With VXTOOLS_LOG_CONSOLE on, each line is
// also written to standard output.
//
// Any thread may write; entries are serialised by one lock. A listener
// (VxToolsLogListener.h) receives each entry after it is written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>

#include "foundation/VxHandle.h"
#include "live_Main/host/IVxTools.h"
#include "reference/tools/VxToolsLogListener.h"

class VxToolsOptions;

class VxFileLog final : public IVxLog {
 public:
  VxFileLog(const VxToolsOptions& options, VxString defaultPath);

  bool IsEnabled(int32_t category) override;
  void WriteW(int32_t category,
              const char16_t* source,
              const char16_t* format,
              const VxArg* const* args,
              int32_t capacity) override;
  void WriteA(int32_t category,
              const char* source,
              const char* format,
              const VxArg* const* args,
              int32_t capacity) override;

  // Writes an already formatted message (the library's own entries).
  void Write(int32_t category, const VxString& source, const VxString& message);
  // The file the next entry goes to.
  VxString Path() const;
  // Installs the listener (null removes it); waits for a running call.
  void SetListener(VxToolsLogListener listener, void* context);

 private:
  void OpenCurrentFile();  // under mutex_

  const VxToolsOptions& options_;
  const VxString defaultPath_;
  std::mutex mutex_;
  VxFileHandle file_;
  VxString openPath_;
  VxToolsLogListener listener_ = nullptr;
  void* listenerContext_ = nullptr;
};
