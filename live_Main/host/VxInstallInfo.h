// VxInstallInfo: where the host is installed, shared by every module of the
// host in one process through the named block "Vexmoor Process v33 (<pid>)".
//
// The first module that finds the block unfilled (byte 0 is 0) fills it: host
// executable path, install path (three copies), data path, filling thread,
// current-user hive value, portable flag, and last, atomically, the completion
// marker 99. Later modules only read it. The block has no lock of its own;
// loader notifications, which is where modules fill it, are serialised by the
// operating system, and a reader that sees the block filled but not yet
// complete waits for the marker.
//
// Install path resolution: "Portable.dat" in the host folder makes the host
// folder the install path (portable, data path "<install>Application Data").
// Otherwise the registry's installation list under HKLM
// "Software\Vexmoor\Tonecore\Installations" ("Software\WOW6432Node\..." when the
// module folder ends in "\x64\") is searched; see FindRegisteredInstallation.
//
// Layout of the block: VxInstallBlock below, fixed by the host; all bytes not
// named are zero. Windows only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/VxString.h"

inline constexpr int kVxInstallPathChars = 260;  // including the terminator

struct VxInstallBlock {
  uint8_t filled;  // 1 once a module filled the block
  uint8_t reserved0;
  char16_t hostExecutable[kVxInstallPathChars];
  char16_t reserved1;
  char16_t installPath[kVxInstallPathChars];
  char16_t reserved2;
  char16_t installPath2[kVxInstallPathChars];
  char16_t reserved3;
  char16_t libraryInstallPath[kVxInstallPathChars];  // used to load host libraries
  char16_t reserved4;
  char16_t dataPath[kVxInstallPathChars];  // portable installs only
  char16_t reserved5[3];
  uint32_t fillingThreadId;
  uint32_t reserved6;
  uint32_t currentUserHive;  // 0x80000001 (HKEY_CURRENT_USER)
  uint32_t reserved7;
  uint8_t portable;
  uint8_t reserved8[535];
  int32_t minusOne;  // always -1
  int32_t reserved9;
  volatile LONG complete;  // kComplete once filling is done; written last
  uint32_t reserved10;
};
static_assert(sizeof(VxInstallBlock) == 3184, "the install block is 3184 bytes");
static_assert(offsetof(VxInstallBlock, filled) == 0);
static_assert(offsetof(VxInstallBlock, hostExecutable) == 2);
static_assert(offsetof(VxInstallBlock, installPath) == 524);
static_assert(offsetof(VxInstallBlock, installPath2) == 1046);
static_assert(offsetof(VxInstallBlock, libraryInstallPath) == 1568);
static_assert(offsetof(VxInstallBlock, dataPath) == 2090);
static_assert(offsetof(VxInstallBlock, fillingThreadId) == 2616);
static_assert(offsetof(VxInstallBlock, currentUserHive) == 2624);
static_assert(offsetof(VxInstallBlock, portable) == 2632);
static_assert(offsetof(VxInstallBlock, minusOne) == 3168);
static_assert(offsetof(VxInstallBlock, complete) == 3176);

class VxInstallInfo {
 public:
  static constexpr int32_t kBlockVersion = 33;
  static constexpr LONG kComplete = 99;
  static constexpr uint32_t kCurrentUserHive = 0x80000001u;

  // "Vexmoor Process v33 (<processId>)".
  static VxString BlockName(uint32_t processId);

  // The process's block, created and filled on first use; null when the
  // shared memory cannot be created or mapped. Thread-safe.
  static const VxInstallBlock* Block();
  // The install path used to load host libraries (with a trailing backslash),
  // empty when there is no install information.
  static VxString LibraryInstallPath();

  struct Resolution {
    VxString installPath;
    VxString dataPath;
    bool portable = false;
  };
  // Portable check, then the registry; both folders end in a backslash.
  static Resolution Resolve(const VxString& hostFolder, const VxString& moduleFolder);
  // Searches the installation list. Every installation with a non-empty "Path"
  // takes part; the rules are tried in this order, each over all installations
  // in index order: "Path" is a prefix of the host folder, "Path" is a prefix
  // of the module folder (both without regard to case), the subkey name equals
  // the list key's default value. Empty when nothing matches or the key is missing.
  static VxString FindRegisteredInstallation(const VxString& hostFolder,
                                             const VxString& moduleFolder);
  // Clears `block` and fills it for the host executable `hostExecutable`.
  static void Fill(VxInstallBlock* block,
                   const VxString& hostExecutable,
                   const VxString& moduleFolder);

  // Folder of a full file path, with its trailing backslash.
  static VxString FolderOf(const VxString& path);
  // Folder of the module that contains this code.
  static VxString ThisModuleFolder();
};
