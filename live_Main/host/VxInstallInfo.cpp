#include "live_Main/host/VxInstallInfo.h"

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/VxFormat.h"
#include "foundation/VxHandle.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxLoadLibrary.h"
#include "live_Main/host/VxSharedMemory.h"

namespace {

constexpr char16_t kInstallationsKey[] = u"Software\\Vexmoor\\Tonecore\\Installations";
constexpr char16_t kInstallationsKeyWow[] =
    u"Software\\WOW6432Node\\Vexmoor\\Tonecore\\Installations";
constexpr int kMaxSubkeyName = 255;

// Copies `text` into a fixed field, cut to fit with its terminator.
void StoreText(char16_t (&field)[kVxInstallPathChars], const VxString& text) {
  const size_t n = text.size() < kVxInstallPathChars - 1 ? text.size() : kVxInstallPathChars - 1;
  std::memcpy(field, text.data(), n * sizeof(char16_t));
  field[n] = 0;
}

VxString ReadText(const char16_t (&field)[kVxInstallPathChars]) {
  size_t n = 0;
  while (n < kVxInstallPathChars && field[n])
    ++n;
  return VxString(field, n);
}

bool EndsWithNoCase(const VxString& text, std::u16string_view suffix) {
  return text.size() >= suffix.size() &&
         VxEqualsNoCase(std::u16string_view(text).substr(text.size() - suffix.size()), suffix);
}

// A string value, or empty when missing or not text.
VxString ReadStringValue(HKEY key, const char16_t* name) {
  DWORD type = 0;
  DWORD bytes = 0;
  const wchar_t* wideName = reinterpret_cast<const wchar_t*>(name);
  if (::RegQueryValueExW(key, wideName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
    return VxString();
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0)
    return VxString();
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, 0);
  if (::RegQueryValueExW(key, wideName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
    return VxString();
  return VxString(buffer.data());
}

struct Installation {
  VxString name;
  VxString path;
};

// How long a module waits for another one to finish filling the block.
constexpr ULONGLONG kFillWaitMs = 5000;

// Owns the process's block for the life of the module.
class BlockHolder {
 public:
  BlockHolder()
      : memory_(VxInstallInfo::BlockName(::GetCurrentProcessId()), sizeof(VxInstallBlock)) {
    auto* block = static_cast<VxInstallBlock*>(memory_.View());
    if (!block)
      return;
    if (block->filled == 0) {
      VxInstallInfo::Fill(block, VxModuleFileName(nullptr), VxInstallInfo::ThisModuleFolder());
    } else {
      // Another module of the process may still be filling it. The wait is
      // bounded by the clock, not by a count of sleeps: at the default timer
      // resolution each Sleep(1) lasts a whole 15.6 ms tick, and this runs
      // under the loader lock.
      const ULONGLONG deadline = ::GetTickCount64() + kFillWaitMs;
      while (block->complete != VxInstallInfo::kComplete && ::GetTickCount64() < deadline)
        ::Sleep(1);
    }
    block_ = block;
  }
  const VxInstallBlock* Get() const { return block_; }

 private:
  VxSharedMemory memory_;
  const VxInstallBlock* block_ = nullptr;
};

}  // namespace

VxString VxInstallInfo::BlockName(uint32_t processId) {
  return VxFormat(u"Vexmoor Process v%d (%d)", {kBlockVersion, processId});
}

const VxInstallBlock* VxInstallInfo::Block() {
  static BlockHolder holder;
  return holder.Get();
}

VxString VxInstallInfo::LibraryInstallPath() {
  const VxInstallBlock* block = Block();
  return block ? ReadText(block->libraryInstallPath) : VxString();
}

VxString VxInstallInfo::FolderOf(const VxString& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == VxString::npos ? VxString() : VxString(path.substr(0, slash + 1));
}

VxString VxInstallInfo::ThisModuleFolder() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&VxInstallInfo::ThisModuleFolder), &module);
  return FolderOf(VxModuleFileName(module));
}

VxString VxInstallInfo::FindRegisteredInstallation(const VxString& hostFolder,
                                                   const VxString& moduleFolder) {
  const char16_t* keyPath =
      EndsWithNoCase(moduleFolder, u"\\x64\\") ? kInstallationsKeyWow : kInstallationsKey;
  VxRegKey list;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(keyPath), 0, KEY_READ,
                      list.put()) != ERROR_SUCCESS)
    return VxString();
  const VxString defaultName = ReadStringValue(list.get(), nullptr);

  std::vector<Installation> installations;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxSubkeyName + 1] = {};
    DWORD length = kMaxSubkeyName + 1;
    const LONG status =
        ::RegEnumKeyExW(list.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS)
      break;
    if (status != ERROR_SUCCESS)
      continue;
    VxRegKey installation;
    if (::RegOpenKeyExW(list.get(), name, 0, KEY_READ, installation.put()) != ERROR_SUCCESS)
      continue;
    VxString path = ReadStringValue(installation.get(), u"Path");
    if (path.empty())
      continue;
    installations.push_back({VxString(name, length), std::move(path)});
  }

  for (const Installation& i : installations)
    if (VxStartsWithNoCase(hostFolder, i.path))
      return i.path;
  for (const Installation& i : installations)
    if (VxStartsWithNoCase(moduleFolder, i.path))
      return i.path;
  for (const Installation& i : installations)
    if (i.name == defaultName)
      return i.path;
  return VxString();
}

VxInstallInfo::Resolution VxInstallInfo::Resolve(const VxString& hostFolder,
                                                 const VxString& moduleFolder) {
  Resolution result;
  const VxString marker = hostFolder + u"Portable.dat";
  if (!hostFolder.empty() && ::GetFileAttributesW(marker.Wide()) != INVALID_FILE_ATTRIBUTES) {
    result.portable = true;
    result.installPath = hostFolder;
    result.dataPath = VxJoinPath(hostFolder, u"Application Data");
    return result;
  }
  result.installPath = FindRegisteredInstallation(hostFolder, moduleFolder);
  return result;
}

void VxInstallInfo::Fill(VxInstallBlock* block,
                         const VxString& hostExecutable,
                         const VxString& moduleFolder) {
  std::memset(static_cast<void*>(block), 0, sizeof(*block));
  block->filled = 1;
  StoreText(block->hostExecutable, hostExecutable);

  const Resolution resolution = Resolve(FolderOf(hostExecutable), moduleFolder);
  StoreText(block->installPath, resolution.installPath);
  StoreText(block->installPath2, resolution.installPath);
  StoreText(block->libraryInstallPath, resolution.installPath);
  StoreText(block->dataPath, resolution.dataPath);
  block->portable = resolution.portable ? 1 : 0;
  block->fillingThreadId = ::GetCurrentThreadId();
  block->currentUserHive = kCurrentUserHive;
  block->minusOne = -1;

  if (IVxTools* tools = VxGetTools())
    tools->BeforeInstallPathLogged();
  const VxString line = VxFormat(u"Vexmoor install path (process: %d): %s\r\n",
                                 {::GetCurrentProcessId(), resolution.installPath});
  ::OutputDebugStringW(line.Wide());
  ::InterlockedExchange(&block->complete, kComplete);
}
