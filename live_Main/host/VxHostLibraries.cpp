#include "live_Main/host/VxHostLibraries.h"

#include <atomic>

#include "foundation/VxString.h"
#include "live_Main/host/VxInstallInfo.h"

namespace {

// One library of the host: its module, the start-up flag handed to its
// interface, and the interface (null when not loaded or without entry point).
struct LibrarySlot {
  VxLoadLibrary library;
  bool startupFlag = false;
  std::atomic<void*> api{nullptr};
};

// The tools library's file name, kept scrambled in the binary: each code unit
// is XORed with its position plus kScrambleKey.
constexpr char16_t kScrambleKey = 0x35;
constexpr char16_t kToolsFileScrambled[] = {
    u'V' ^ (kScrambleKey + 0), u'x' ^ (kScrambleKey + 1), u'T' ^ (kScrambleKey + 2),
    u'o' ^ (kScrambleKey + 3), u'o' ^ (kScrambleKey + 4), u'l' ^ (kScrambleKey + 5),
    u's' ^ (kScrambleKey + 6), u'.' ^ (kScrambleKey + 7), u'd' ^ (kScrambleKey + 8),
    u'l' ^ (kScrambleKey + 9), u'l' ^ (kScrambleKey + 10)};
static_assert(sizeof(kToolsFileScrambled) / sizeof(char16_t) == 11);

constexpr char16_t kImageFile[] = u"VxImage.dll";

VxString ToolsFileName() {
  // Read through volatile so that the compiler cannot fold the plain name back into the binary.
  const volatile char16_t* scrambled = kToolsFileScrambled;
  VxString name;
  for (size_t i = 0; i < sizeof(kToolsFileScrambled) / sizeof(char16_t); ++i)
    name.push_back(static_cast<char16_t>(scrambled[i] ^ (kScrambleKey + i)));
  return name;
}

// Created on first use and never destroyed: the static clean-up at module
// unload still takes it.
CRITICAL_SECTION* Lock() {
  static std::atomic<CRITICAL_SECTION*> lock{nullptr};
  CRITICAL_SECTION* current = lock.load(std::memory_order_acquire);
  if (current)
    return current;
  auto* created = new CRITICAL_SECTION;
  ::InitializeCriticalSection(created);
  if (!lock.compare_exchange_strong(current, created, std::memory_order_acq_rel)) {
    ::DeleteCriticalSection(created);
    delete created;
    return current;
  }
  return created;
}

class LockGuard {
 public:
  LockGuard() : lock_(Lock()) { ::EnterCriticalSection(lock_); }
  ~LockGuard() { ::LeaveCriticalSection(lock_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};

// Loads `fileName` into `library` from where the host is installed.
bool LoadFromInstallation(VxLoadLibrary& library, const VxString& fileName) {
  return library.LoadFromInstallation(VxInstallInfo::LibraryInstallPath(), fileName);
}

std::atomic<HINSTANCE> gModuleInstance{nullptr};
std::atomic<bool> gProcessEnding{false};
LibrarySlot gToolsSlot;
LibrarySlot gImageSlot;
LibrarySlot* gTools() {
  return &gToolsSlot;
}
LibrarySlot* gImage() {
  return &gImageSlot;
}

// Releases the libraries once more when the module's static objects go away,
// whether or not the application object's exit ran. Defined after the slots so
// that it runs before they are destroyed.
struct StaticCleanup {
  ~StaticCleanup() { VxHostLibraries::Instance().Unload(false); }
} gStaticCleanup;

}  // namespace

VxHostLibraries& VxHostLibraries::Instance() {
  static VxHostLibraries instance;
  return instance;
}

bool VxHostLibraries::LoadTools() {
  if (gProcessEnding.load())
    return false;
  LockGuard guard;
  LibrarySlot& slot = *gTools();
  if (slot.library.IsLoaded())
    return true;
  if (!LoadFromInstallation(slot.library, ToolsFileName()))
    return false;
  auto entry = reinterpret_cast<VxGetToolsProc>(
      reinterpret_cast<void*>(::GetProcAddress(slot.library.Get(), "GetVxToolsDLL")));
  if (!entry)
    return true;
  IVxTools* tools = entry(kVxToolsInterfaceVersion);
  if (!tools)
    return true;
  // Published first: the library may log or post from inside its initialisation.
  slot.api.store(tools, std::memory_order_release);
  tools->Initialize(slot.startupFlag, ModuleInstance());
  return true;
}

bool VxHostLibraries::LoadImage() {
  if (gProcessEnding.load())
    return false;
  LockGuard guard;
  LibrarySlot& slot = *gImage();
  if (slot.library.IsLoaded())
    return true;
  if (!LoadFromInstallation(slot.library, VxString(kImageFile)))
    return false;
  auto entry = reinterpret_cast<VxGetImageAppProc>(
      reinterpret_cast<void*>(::GetProcAddress(slot.library.Get(), "GetVxImageAppDLL")));
  if (!entry)
    return true;
  IVxImageApp* image = entry();
  if (!image)
    return true;
  slot.api.store(image, std::memory_order_release);
  image->Initialize(slot.startupFlag);
  return true;
}

void VxHostLibraries::Unload(bool notifyTools) {
  if (gProcessEnding.load())
    return;
  if (notifyTools) {
    LockGuard guard;
    if (gTools()->library.IsLoaded())
      if (IVxTools* tools = Tools())
        tools->ModuleUnloading(ModuleInstance());
  }
  {
    LockGuard guard;
    LibrarySlot& slot = *gImage();
    if (auto* image = static_cast<IVxImageApp*>(slot.api.load()))
      image->Uninitialize(slot.startupFlag);
    slot.api.store(nullptr);
    slot.library.Free();
  }
  {
    LockGuard guard;
    LibrarySlot& slot = *gTools();
    // Cleared only after the call: the library may still log from inside it.
    if (auto* tools = static_cast<IVxTools*>(slot.api.load()))
      tools->Uninitialize(slot.startupFlag, ModuleInstance());
    slot.api.store(nullptr);
    slot.library.Free();
  }
}

void VxHostLibraries::AbandonAtProcessExit() {
  // No lock: a thread killed by the exit may have died holding it.
  gProcessEnding.store(true);
  for (LibrarySlot* slot : {gImage(), gTools()}) {
    slot->api.store(nullptr);
    slot->library.Abandon();
  }
}

IVxTools* VxHostLibraries::Tools() const {
  return static_cast<IVxTools*>(gTools()->api.load(std::memory_order_acquire));
}

IVxImageApp* VxHostLibraries::Image() const {
  return static_cast<IVxImageApp*>(gImage()->api.load(std::memory_order_acquire));
}

void VxHostLibraries::SetModuleInstance(HINSTANCE module) {
  gModuleInstance.store(module);
}

HINSTANCE VxHostLibraries::ModuleInstance() const {
  return gModuleInstance.load();
}

IVxTools* VxGetTools() {
  return VxHostLibraries::Instance().Tools();
}
