// The host tools interface and the services reached through it.
//
// The host's tools library exports "GetVxToolsDLL" (interface version 200048)
// which returns the process-wide IVxTools. Every table in this header crosses
// the module boundary, so the slot order below is binary contract: neither
// IVxTools nor its services have a destructor slot (the module never deletes
// them), and their virtual functions keep declaration order. Slots the module
// never calls are declared as placeholders so later slots keep their numbers.
//
// IVxSettingsKey is the one host object the module deletes: its slot 0 is the
// platform compiler's scalar deleting destructor (flags bit 0 = free memory,
// returns the object pointer), declared explicitly because a GCC virtual
// destructor would take two slots.
//
// Every interface here has a protected, non-virtual C++ destructor: it adds no
// table slot, and no one can delete a host object through the interface.
//
// Threads: the log, translation and settings services may be called from any
// thread; message boxes and the message pump from the thread that runs them.
#pragma once

// windows.h first: oleauto.h relies on what it declares.
#include <windows.h>

#include <oleauto.h>

#include <cstdint>

#include "foundation/VxFormat.h"

inline constexpr int kVxToolsInterfaceVersion = 200048;

class IVxSettingsKey {
 public:
  virtual void* DeletingDestructor(unsigned int flags) noexcept = 0;  // slot 0
  virtual bool ReadBinary(const char16_t* name,
                          IVxDllBuffer* buffer,
                          int reserved1,
                          int reserved2) = 0;  // slot 1
  virtual int32_t ReadInt(const char16_t* name,
                          int32_t defaultValue,
                          int32_t zone,
                          int reserved) = 0;  // slot 2
  virtual void ReadString(BSTR* out,
                          const char16_t* name,
                          const char16_t* defaultValue,
                          int32_t zone,
                          const char16_t* empty,
                          int reserved) = 0;  // slot 3
  virtual bool WriteBinary(const char16_t* name,
                           const void* data,
                           int32_t byteCount,
                           int reserved1,
                           int reserved2) = 0;  // slot 4
  virtual bool WriteInt(const char16_t* name,
                        int32_t value,
                        int reserved1,
                        int reserved2) = 0;  // slot 5
  virtual bool WriteString(const char16_t* name,
                           const char16_t* value,
                           int reserved1,
                           const char16_t* empty,
                           int reserved2) = 0;  // slot 6
  virtual void Unused7() = 0;
  virtual void Unused8() = 0;
  virtual bool DeleteValue(const char16_t* name) = 0;  // slot 9
  virtual void Unused10() = 0;
  virtual void Unused11() = 0;
  virtual void Unused12() = 0;
  virtual void Unused13() = 0;
  virtual void Unused14() = 0;
  virtual void GetZoneValueName(BSTR* out, const char16_t* name, int32_t zone) = 0;  // slot 15
 protected:
  ~IVxSettingsKey() = default;
};

// Text service of the string library: formats with the typed argument list.
class IVxTextService {
 public:
  virtual void Format(IVxDllString* out,
                      const char16_t* format,
                      const VxArg* const* args,
                      int capacity) = 0;  // slot 0
 protected:
  ~IVxTextService() = default;
};

class IVxTranslator {
 public:
  virtual const char16_t* GetLanguage() = 0;       // slot 0
  virtual void Translate(IVxDllString* text) = 0;  // slot 1: replaces the text with its translation
 protected:
  ~IVxTranslator() = default;
};

class IVxProductInfo {
 public:
  virtual const char16_t* GetProductName() = 0;  // slot 0
  // Slot 1: loads the product information; on failure `error` may hold a reason.
  virtual bool Load(const char16_t* productName, IVxDllString* error) = 0;

 protected:
  ~IVxProductInfo() = default;
};

class IVxLog {
 public:
  virtual bool IsEnabled(int32_t category) = 0;  // slot 0
  virtual void WriteW(int32_t category,
                      const char16_t* source,
                      const char16_t* format,
                      const VxArg* const* args,
                      int32_t capacity) = 0;  // slot 1
  virtual void WriteA(int32_t category,
                      const char* source,
                      const char* format,
                      const VxArg* const* args,
                      int32_t capacity) = 0;  // slot 2
 protected:
  ~IVxLog() = default;
};

// A message box request: Prepare fills in the defaults, Show shows it.
struct VxMessageBoxRequest {
  HWND owner;
  const char16_t* text;
  const char16_t* title;
  uint32_t style;  // MB_* flags
  int32_t result;  // IDOK, IDCANCEL, ... after Show
};

class IVxMessageBoxes {
 public:
  virtual void Unused0() = 0;
  virtual int32_t Show(VxMessageBoxRequest* request) = 0;  // slot 1: returns the button pressed
  virtual void Unused2() = 0;
  virtual void Unused3() = 0;
  virtual void Unused4() = 0;
  virtual void Unused5() = 0;
  virtual void Unused6() = 0;
  virtual void Unused7() = 0;
  virtual void Unused8() = 0;
  virtual void Unused9() = 0;
  virtual void Unused10() = 0;
  virtual void Unused11() = 0;
  virtual void Unused12() = 0;
  virtual void Prepare(VxMessageBoxRequest* request,
                       HWND owner,
                       const char16_t* text,
                       const char16_t* title,
                       uint32_t style) = 0;  // slot 13
 protected:
  ~IVxMessageBoxes() = default;
};

// Implemented by the module (VxThread); the host calls slot 0 on its main
// thread for every value posted for this object.
class IMainThreadMessageManagerCallback {
 public:
  virtual bool OnMainThreadMessage(int32_t id, int64_t value) = 0;  // slot 0
 protected:
  ~IMainThreadMessageManagerCallback() = default;
};

class IVxMainThreadMessageManager {
 public:
  virtual void Unused0() = 0;
  virtual void ForgetThread(IMainThreadMessageManagerCallback* thread) = 0;  // slot 1
  virtual bool Post(IMainThreadMessageManagerCallback* thread,
                    int32_t id,
                    int64_t value) = 0;                                      // slot 2
  virtual void DropMessages(IMainThreadMessageManagerCallback* thread) = 0;  // slot 3
 protected:
  ~IVxMainThreadMessageManager() = default;
};

class IVxMessagePump {
 public:
  virtual void Unused0() = 0;
  virtual bool PumpNext() = 0;  // slot 1: false when no message is awaited
  virtual void Unused2() = 0;
  virtual void Dispatch(const MSG* msg) = 0;  // slot 3
 protected:
  ~IVxMessagePump() = default;
};

class IVxDisplayMetrics {
 public:
  virtual double GetScaleFactor() = 0;  // slot 0: 1.0 at 96 dpi
  // Slot 1: a size in pixels before display scaling, in device pixels. The
  // module always passes 0 as `flags`.
  virtual int32_t ScalePixels(int32_t value, int32_t flags) = 0;
  virtual int32_t GetDpi() = 0;  // slot 2
 protected:
  ~IVxDisplayMetrics() = default;
};

class IVxUiServices {
 public:
  virtual IVxMessagePump* GetMessagePump(bool create) = 0;  // slot 0
  virtual void Unused1() = 0;
  virtual void Unused2() = 0;
  virtual void Unused3() = 0;
  virtual IVxDisplayMetrics* GetDisplayMetrics(bool create) = 0;  // slot 4
 protected:
  ~IVxUiServices() = default;
};

class IVxTools {
 public:
  virtual bool Initialize(bool startupFlag, HINSTANCE module) = 0;    // slot 0
  virtual void Uninitialize(bool startupFlag, HINSTANCE module) = 0;  // slot 1
  virtual void Unused2() = 0;
  virtual void ModuleUnloading(HINSTANCE module) = 0;       // slot 3
  virtual void ProductInfoLoaded(bool flag) = 0;            // slot 4
  virtual IVxTextService* GetTextService(bool create) = 0;  // slot 5
  virtual void Unused6() = 0;
  virtual IVxTranslator* GetTranslator(bool create) = 0;  // slot 7
  virtual void Unused8() = 0;
  virtual IVxProductInfo* GetProductInfo(bool create) = 0;    // slot 9
  virtual IVxLog* GetLog(bool create) = 0;                    // slot 10
  virtual IVxMessageBoxes* GetMessageBoxes(bool create) = 0;  // slot 11
  virtual void Unused12() = 0;
  virtual void Unused13() = 0;
  virtual void Unused14() = 0;
  virtual IVxMainThreadMessageManager* GetMainThreadMessageManager(bool create) = 0;  // slot 15
  virtual void Unused16() = 0;
  virtual void Unused17() = 0;
  virtual void Unused18() = 0;
  virtual IVxUiServices* GetUiServices(bool create) = 0;  // slot 19
  virtual void Unused20() = 0;
  virtual void Unused21() = 0;
  virtual void Unused22() = 0;
  virtual void Unused23() = 0;
  virtual void Unused24() = 0;
  // Slot 25: a settings key at `path` (backslash-separated, relative to the
  // host's settings root), created when missing if `create` is 1; null when
  // there is none. The caller owns the key and deletes it through slot 0.
  virtual IVxSettingsKey* OpenSettingsKey(const char16_t* path,
                                          int32_t create,
                                          int32_t reserved) = 0;
  virtual void Unused26() = 0;
  virtual void Unused27() = 0;
  virtual void Unused28() = 0;
  virtual void Unused29() = 0;
  virtual void Unused30() = 0;
  virtual void Unused31() = 0;
  virtual void Unused32() = 0;
  virtual void Unused33() = 0;
  virtual void Unused34() = 0;
  virtual void BeforeInstallPathLogged() = 0;  // slot 35
  virtual void Unused36() = 0;
  virtual void Unused37() = 0;
  virtual void Unused38() = 0;
  virtual void Unused39() = 0;
  virtual void Unused40() = 0;
  virtual void Unused41() = 0;
  virtual void Unused42() = 0;
  virtual void AdoptPopupWindow(HWND window) = 0;  // slot 43
 protected:
  ~IVxTools() = default;
};

// The image library's interface ("GetVxImageAppDLL", no arguments).
class IVxImageApp {
 public:
  virtual bool Initialize(bool startupFlag) = 0;    // slot 0
  virtual void Uninitialize(bool startupFlag) = 0;  // slot 1
 protected:
  ~IVxImageApp() = default;
};

extern "C" {
typedef IVxTools* (*VxGetToolsProc)(int32_t version);
typedef IVxImageApp* (*VxGetImageAppProc)();
}
