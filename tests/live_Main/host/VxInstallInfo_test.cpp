// The install information: the installation list in the real HKLM registry of
// the test prefix, and the portable marker. The shared block is checked byte
// for byte by the C host.
#include "live_Main/host/VxInstallInfo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "live_Main/host/VxSharedMemory.h"
#include "tests/support/VxToolsTestEnv.h"
#include "tests/support/VxWindowsClock.h"

namespace {

constexpr wchar_t kNativeRoot[] = L"Software\\Vexmoor\\Tonecore";
constexpr wchar_t kWowRoot[] = L"Software\\WOW6432Node\\Vexmoor\\Tonecore";

VxString V(const wchar_t* text) {
  return VxString(text);
}

class InstallationList : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }

  static void Clear() {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNativeRoot);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWowRoot);
  }

  static std::wstring ListPath(bool wow) {
    return std::wstring(wow ? kWowRoot : kNativeRoot) + L"\\Installations";
  }

  // Writes a text value, creating the key.
  static void SetText(const std::wstring& key, const wchar_t* name, const wchar_t* text) {
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text,
                                static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))));
  }
  static void Add(bool wow, const wchar_t* name, const wchar_t* path) {
    SetText(ListPath(wow) + L"\\" + name, L"Path", path);
  }
  static void SetDefault(const wchar_t* name) { SetText(ListPath(false), nullptr, name); }

  static VxString Find(const wchar_t* hostFolder, const wchar_t* moduleFolder) {
    return VxInstallInfo::FindRegisteredInstallation(V(hostFolder), V(moduleFolder));
  }
};

// One registry state per row: the installations (name and "Path") of the
// native list and of the WOW6432Node list, the native list's default value,
// and the host and module folders asked about.
TEST_F(InstallationList, RulesAreTriedInOrderHostThenModuleThenDefault) {
  using List = std::vector<std::pair<const wchar_t*, const wchar_t*>>;
  const List three = {{L"A-Default", L"D:\\Other\\"},
                      {L"B-Module", L"C:\\Plugins\\"},
                      {L"C-Host", L"C:\\Player\\"}};
  const List two = {{L"Main", L"D:\\One\\"}, {L"Beta", L"D:\\Two\\"}};
  const List player = {{L"Native", L"C:\\Player\\"}}, root = {{L"Wow", L"C:\\"}};
  const List nested = {{L"A", L"C:\\"}, {L"B", L"C:\\Player\\"}};
  const List empty = {{L"A", L""}, {L"B", L"C:\\Player\\"}};
  const struct {
    List native, wow;
    const wchar_t *defaultName, *host, *module, *expected;
  } cases[] = {
      // Each rule wins over the later ones even when its installation comes later.
      {three, {}, L"A-Default", L"c:\\PLAYER\\bin\\", L"C:\\Plugins\\Live\\", L"C:\\Player\\"},
      {three, {}, L"A-Default", L"E:\\Elsewhere\\", L"c:\\plugins\\live\\", L"C:\\Plugins\\"},
      {three, {}, L"A-Default", L"E:\\Elsewhere\\", L"F:\\Modules\\", L"D:\\Other\\"},
      // Within a rule the first installation in index order wins.
      {nested, {}, nullptr, L"C:\\Player\\", L"F:\\M\\", L"C:\\"},
      // The default value names its installation exactly.
      {two, {}, L"Beta", L"E:\\Host\\", L"F:\\M\\", L"D:\\Two\\"},
      {two, {}, L"beta", L"E:\\Host\\", L"F:\\M\\", L""},
      // An empty path would be a prefix of every folder: it is skipped.
      {empty, {}, L"A", L"C:\\Player\\", L"F:\\M\\", L"C:\\Player\\"},
      // No list, and a list without installations.
      {{}, {}, nullptr, L"C:\\Player\\", L"C:\\Player\\", L""},
      {{}, {}, L"A", L"C:\\Player\\", L"C:\\Player\\", L""},
      // A module folder ending in "\\x64\\" reads the WOW6432Node list.
      {player, root, nullptr, L"C:\\Player\\", L"C:\\Player\\x64\\", L"C:\\"},
      {player, root, nullptr, L"C:\\Player\\", L"C:\\Player\\X64\\", L"C:\\"},
      {player, root, nullptr, L"C:\\Player\\", L"C:\\Player\\x64bit\\", L"C:\\Player\\"},
  };
  for (const auto& c : cases) {
    Clear();
    for (const auto& [name, path] : c.native)
      Add(false, name, path);
    for (const auto& [name, path] : c.wow)
      Add(true, name, path);
    if (c.defaultName)
      SetDefault(c.defaultName);
    EXPECT_EQ(V(c.expected), Find(c.host, c.module))
        << std::string(VxString(c.host).ToUtf8()) << " "
        << std::string(VxString(c.module).ToUtf8());
  }
}

TEST_F(InstallationList, PortableMarkerInTheHostFolderWinsOverTheRegistry) {
  Add(false, L"A", L"C:\\Player\\");
  VxInstallInfo::Resolution r = VxInstallInfo::Resolve(V(L"C:\\Player\\"), V(L"F:\\M\\"));
  EXPECT_FALSE(r.portable);
  EXPECT_EQ(V(L"C:\\Player\\"), r.installPath);
  EXPECT_EQ(VxString(), r.dataPath);
  // This program's folder holds the marker.
  SetDefault(L"A");
  const VxString bin(VxToolsTestEnv::ExeFolder().c_str());
  r = VxInstallInfo::Resolve(bin, V(L"F:\\M\\"));
  EXPECT_TRUE(r.portable);
  EXPECT_EQ(bin, r.installPath);
  EXPECT_EQ(bin + u"Application Data", r.dataPath);
}

// A block another module filled but never marked complete: the plug-in's load
// waits for the marker under the loader lock, and gives up after 5 s of the
// clock however long its sleeps last.
TEST(InstallBlock, AnUnfinishedBlockHoldsTheLoadForFiveSecondsOfTheClock) {
  VxSharedMemory memory(VxInstallInfo::BlockName(::GetCurrentProcessId()), sizeof(VxInstallBlock));
  auto* block = static_cast<VxInstallBlock*>(memory.View());
  ASSERT_NE(nullptr, block);
  VxInstallBlock saved;
  std::memcpy(static_cast<void*>(&saved), block, sizeof saved);
  const std::wstring bin = VxToolsTestEnv::ExeFolder();
  if (!block->filled)
    VxInstallInfo::Fill(block, VxString((bin + L"livemain_core_tests.exe").c_str()),
                        VxString(bin.c_str()));
  block->complete = 0;
  HMODULE plugin = nullptr;
  double seconds = 0;
  {
    VxWindowsClock clock;
    ASSERT_TRUE(clock.Installed());
    const auto start = std::chrono::steady_clock::now();
    plugin = ::LoadLibraryW((bin + L"VxLive.dll").c_str());
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::memcpy(static_cast<void*>(block), &saved, sizeof saved);
  EXPECT_NE(nullptr, plugin) << ::GetLastError();
  if (plugin)
    ::FreeLibrary(plugin);
  EXPECT_GE(seconds, 4.9);
  EXPECT_LT(seconds, 20.0) << "the wait counted sleeps, not time";
}

}  // namespace
