// The reference tools library's IVxTools: one process-wide object that serves
// every slot a module calls, with real services behind them.
//
// Bookkeeping: Initialize and Uninitialize are counted per module instance;
// every call of slots 0, 1, 3, 4, 35 and 43 is logged in category 1 under the
// source "VxTools" with the operation's name first, for example
//   Initialize (module: VxLive.dll, flag: 0, count: 1)
// so that tests can check the order in which a module calls them. A call to a
// placeholder slot logs "Unexpected call: IVxTools slot N".
//
// The first Initialize makes its calling thread the main thread of the
// main-thread message manager; the last Uninitialize (all modules' counts back
// at 0) shuts the manager down.
//
// Threads: the services say which threads may call them; the bookkeeping
// slots take one lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "live_Main/host/IVxTools.h"
#include "reference/tools/VxFileLog.h"
#include "reference/tools/VxMainThreadMessenger.h"
#include "reference/tools/VxMessageBoxService.h"
#include "reference/tools/VxProductInfo.h"
#include "reference/tools/VxTextService.h"
#include "reference/tools/VxTranslationTable.h"
#include "reference/tools/VxUiServices.h"

class VxToolsOptions;

class VxReferenceTools final : public IVxTools {
 public:
  static VxReferenceTools& Instance();
  // This library's own module handle.
  static HINSTANCE LibraryInstance();

  bool Initialize(bool startupFlag, HINSTANCE module) override;
  void Uninitialize(bool startupFlag, HINSTANCE module) override;
  void Unused2() override;
  void ModuleUnloading(HINSTANCE module) override;
  void ProductInfoLoaded(bool flag) override;
  IVxTextService* GetTextService(bool create) override;
  void Unused6() override;
  IVxTranslator* GetTranslator(bool create) override;
  void Unused8() override;
  IVxProductInfo* GetProductInfo(bool create) override;
  IVxLog* GetLog(bool create) override;
  IVxMessageBoxes* GetMessageBoxes(bool create) override;
  void Unused12() override;
  void Unused13() override;
  void Unused14() override;
  IVxMainThreadMessageManager* GetMainThreadMessageManager(bool create) override;
  void Unused16() override;
  void Unused17() override;
  void Unused18() override;
  IVxUiServices* GetUiServices(bool create) override;
  void Unused20() override;
  void Unused21() override;
  void Unused22() override;
  void Unused23() override;
  void Unused24() override;
  IVxSettingsKey* OpenSettingsKey(const char16_t* path, int32_t create, int32_t reserved) override;
  void Unused26() override;
  void Unused27() override;
  void Unused28() override;
  void Unused29() override;
  void Unused30() override;
  void Unused31() override;
  void Unused32() override;
  void Unused33() override;
  void Unused34() override;
  void BeforeInstallPathLogged() override;
  void Unused36() override;
  void Unused37() override;
  void Unused38() override;
  void Unused39() override;
  void Unused40() override;
  void Unused41() override;
  void Unused42() override;
  void AdoptPopupWindow(HWND window) override;

  // Initialize calls minus Uninitialize calls for `module`.
  int InitializeCount(HINSTANCE module);
  // Called from inside Initialize and Uninitialize with the call's name, as a
  // host library may call back into the module while it sets up or tears down.
  using CallHook = void (*)(const wchar_t* call, HINSTANCE module);
  void SetCallHook(CallHook hook) { hook_.store(hook); }
  VxFileLog& Log() { return log_; }

 private:
  VxReferenceTools();
  void Unexpected(int slot);
  void Note(const VxString& message);

  VxToolsOptions& options_;
  VxFileLog log_;
  VxTextService text_;
  VxTranslationTable translator_;
  VxProductInfo productInfo_;
  VxMessageBoxService messageBoxes_;
  VxMainThreadMessenger messenger_;
  VxUiServices ui_;

  std::mutex mutex_;
  std::map<HINSTANCE, int> initializeCounts_;
  std::atomic<CallHook> hook_{nullptr};
  std::vector<HWND> popupWindows_;
};
