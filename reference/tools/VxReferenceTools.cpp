#include "reference/tools/VxReferenceTools.h"

#include "reference/tools/VxRegistrySettingsKey.h"
#include "reference/tools/VxToolsExitWatch.h"
#include "reference/tools/VxToolsOptions.h"

namespace {

constexpr char16_t kSource[] = u"VxTools";

VxString ModuleFileName(HINSTANCE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  VxString full(path, n);
  const size_t slash = full.find_last_of(u"\\/");
  return slash == VxString::npos ? full : VxString(full.substr(slash + 1));
}

VxString DefaultLogPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(VxReferenceTools::LibraryInstance(), path, MAX_PATH);
  VxString full(path, n);
  const size_t slash = full.find_last_of(u"\\/");
  return (slash == VxString::npos ? VxString() : VxString(full.substr(0, slash + 1))) +
         u"VxTools.log";
}

}  // namespace

VxReferenceTools& VxReferenceTools::Instance() {
  static VxReferenceTools tools;
  return tools;
}

HINSTANCE VxReferenceTools::LibraryInstance() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&VxReferenceTools::LibraryInstance), &self);
  return self;
}

VxReferenceTools::VxReferenceTools()
    : options_(VxToolsOptions::Instance()),
      log_(options_, DefaultLogPath()),
      translator_(options_),
      productInfo_(options_, log_),
      messageBoxes_(options_, log_),
      messenger_(log_),
      ui_(options_, log_) {}

void VxReferenceTools::Note(const VxString& message) {
  VxToolsExitWatch::Check(message);
  log_.Write(1, kSource, message);
}

bool VxReferenceTools::Initialize(bool startupFlag, HINSTANCE module) {
  int count;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = ++initializeCounts_[module];
  }
  Note(VxFormat(u"Initialize (module: %s, flag: %d, count: %d)",
                {ModuleFileName(module), startupFlag ? 1 : 0, count}));
  if (CallHook hook = hook_.load())
    hook(L"Initialize", module);
  if (!messenger_.IsStarted())
    (void)messenger_.Start(LibraryInstance());
  return true;
}

void VxReferenceTools::Uninitialize(bool startupFlag, HINSTANCE module) {
  int count;
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = initializeCounts_.find(module);
    if (it == initializeCounts_.end() || it->second == 0) {
      count = -1;
    } else {
      count = --it->second;
      if (count == 0)
        initializeCounts_.erase(it);
      last = initializeCounts_.empty();
    }
  }
  if (count < 0) {
    Note(VxFormat(u"Uninitialize without Initialize (module: %s)", {ModuleFileName(module)}));
    return;
  }
  Note(VxFormat(u"Uninitialize (module: %s, flag: %d, count: %d)",
                {ModuleFileName(module), startupFlag ? 1 : 0, count}));
  if (CallHook hook = hook_.load())
    hook(L"Uninitialize", module);
  if (last)
    messenger_.Shutdown();
}

int VxReferenceTools::InitializeCount(HINSTANCE module) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = initializeCounts_.find(module);
  return it == initializeCounts_.end() ? 0 : it->second;
}

void VxReferenceTools::ModuleUnloading(HINSTANCE module) {
  Note(VxFormat(u"ModuleUnloading (module: %s)", {ModuleFileName(module)}));
}

void VxReferenceTools::ProductInfoLoaded(bool flag) {
  Note(VxFormat(u"ProductInfoLoaded (flag: %d)", {flag ? 1 : 0}));
}

void VxReferenceTools::BeforeInstallPathLogged() {
  Note(u"BeforeInstallPathLogged");
}

void VxReferenceTools::AdoptPopupWindow(HWND window) {
  wchar_t className[128] = {};
  if (window)
    ::GetClassNameW(window, className, 128);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    popupWindows_.push_back(window);
  }
  Note(VxFormat(u"AdoptPopupWindow (window: %p, class: %s)",
                {static_cast<const void*>(window), VxString(className)}));
}

IVxTextService* VxReferenceTools::GetTextService(bool) {
  VxToolsExitWatch::Check("GetTextService");
  return &text_;
}

IVxTranslator* VxReferenceTools::GetTranslator(bool) {
  VxToolsExitWatch::Check("GetTranslator");
  return &translator_;
}

IVxProductInfo* VxReferenceTools::GetProductInfo(bool create) {
  VxToolsExitWatch::Check("GetProductInfo");
  // Asked with false, the service exists only once product information loaded.
  if (!create && !productInfo_.IsLoaded())
    return nullptr;
  return &productInfo_;
}

IVxLog* VxReferenceTools::GetLog(bool) {
  VxToolsExitWatch::Check("GetLog");
  return &log_;
}

IVxMessageBoxes* VxReferenceTools::GetMessageBoxes(bool) {
  VxToolsExitWatch::Check("GetMessageBoxes");
  return &messageBoxes_;
}

IVxMainThreadMessageManager* VxReferenceTools::GetMainThreadMessageManager(bool create) {
  VxToolsExitWatch::Check("GetMainThreadMessageManager");
  if (!messenger_.IsStarted()) {
    if (!create)
      return nullptr;
    // Nobody initialised the library yet: the asking thread becomes the main thread.
    if (!messenger_.Start(LibraryInstance()))
      return nullptr;
  }
  return &messenger_;
}

IVxUiServices* VxReferenceTools::GetUiServices(bool) {
  VxToolsExitWatch::Check("GetUiServices");
  return &ui_;
}

IVxSettingsKey* VxReferenceTools::OpenSettingsKey(const char16_t* path, int32_t create, int32_t) {
  VxToolsExitWatch::Check("OpenSettingsKey");
  return VxRegistrySettingsKey::Open(options_.Get(kVxOptSettingsRoot), path, create, &log_);
}

void VxReferenceTools::Unexpected(int slot) {
  Note(VxFormat(u"Unexpected call: IVxTools slot %d", {slot}));
}

void VxReferenceTools::Unused2() {
  Unexpected(2);
}
void VxReferenceTools::Unused6() {
  Unexpected(6);
}
void VxReferenceTools::Unused8() {
  Unexpected(8);
}
void VxReferenceTools::Unused12() {
  Unexpected(12);
}
void VxReferenceTools::Unused13() {
  Unexpected(13);
}
void VxReferenceTools::Unused14() {
  Unexpected(14);
}
void VxReferenceTools::Unused16() {
  Unexpected(16);
}
void VxReferenceTools::Unused17() {
  Unexpected(17);
}
void VxReferenceTools::Unused18() {
  Unexpected(18);
}
void VxReferenceTools::Unused20() {
  Unexpected(20);
}
void VxReferenceTools::Unused21() {
  Unexpected(21);
}
void VxReferenceTools::Unused22() {
  Unexpected(22);
}
void VxReferenceTools::Unused23() {
  Unexpected(23);
}
void VxReferenceTools::Unused24() {
  Unexpected(24);
}
void VxReferenceTools::Unused26() {
  Unexpected(26);
}
void VxReferenceTools::Unused27() {
  Unexpected(27);
}
void VxReferenceTools::Unused28() {
  Unexpected(28);
}
void VxReferenceTools::Unused29() {
  Unexpected(29);
}
void VxReferenceTools::Unused30() {
  Unexpected(30);
}
void VxReferenceTools::Unused31() {
  Unexpected(31);
}
void VxReferenceTools::Unused32() {
  Unexpected(32);
}
void VxReferenceTools::Unused33() {
  Unexpected(33);
}
void VxReferenceTools::Unused34() {
  Unexpected(34);
}
void VxReferenceTools::Unused36() {
  Unexpected(36);
}
void VxReferenceTools::Unused37() {
  Unexpected(37);
}
void VxReferenceTools::Unused38() {
  Unexpected(38);
}
void VxReferenceTools::Unused39() {
  Unexpected(39);
}
void VxReferenceTools::Unused40() {
  Unexpected(40);
}
void VxReferenceTools::Unused41() {
  Unexpected(41);
}
void VxReferenceTools::Unused42() {
  Unexpected(42);
}
