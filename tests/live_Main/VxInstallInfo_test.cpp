// The install information: the installation list in the real HKLM registry of
// the test prefix, the portable marker, and this process's shared block.
#include "live_Main/VxInstallInfo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/VxHandle.h"

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

  static void Add(bool wow, const wchar_t* name, const wchar_t* path) {
    VxRegKey key;
    const std::wstring full = ListPath(wow) + L"\\" + name;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0,
                                               KEY_WRITE, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(key.get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                               static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t))));
  }

  static void SetDefault(bool wow, const wchar_t* name) {
    VxRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ListPath(wow).c_str(), 0,
                                               nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                               static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t))));
  }

  static VxString Find(const wchar_t* hostFolder, const wchar_t* moduleFolder) {
    return VxInstallInfo::FindRegisteredInstallation(V(hostFolder), V(moduleFolder));
  }
};

TEST_F(InstallationList, RulesAreTriedInOrderHostThenModuleThenDefault) {
  Add(false, L"A-Default", L"D:\\Other\\");
  Add(false, L"B-Module", L"C:\\Plugins\\");
  Add(false, L"C-Host", L"C:\\Player\\");
  SetDefault(false, L"A-Default");
  // Each rule wins over the later ones even when its installation comes later.
  EXPECT_EQ(V(L"C:\\Player\\"), Find(L"c:\\PLAYER\\bin\\", L"C:\\Plugins\\Live\\"));
  EXPECT_EQ(V(L"C:\\Plugins\\"), Find(L"E:\\Elsewhere\\", L"c:\\plugins\\live\\"));
  EXPECT_EQ(V(L"D:\\Other\\"), Find(L"E:\\Elsewhere\\", L"F:\\Modules\\"));
}

TEST_F(InstallationList, WithinARuleTheFirstInstallationInIndexOrderWins) {
  Add(false, L"A", L"C:\\");
  Add(false, L"B", L"C:\\Player\\");
  EXPECT_EQ(V(L"C:\\"), Find(L"C:\\Player\\", L"F:\\Modules\\"));
}

TEST_F(InstallationList, DefaultValueMustEqualTheSubkeyNameExactly) {
  Add(false, L"Main", L"D:\\One\\");
  Add(false, L"Beta", L"D:\\Two\\");
  SetDefault(false, L"Beta");
  EXPECT_EQ(V(L"D:\\Two\\"), Find(L"E:\\Host\\", L"F:\\Modules\\"));
  SetDefault(false, L"beta");
  EXPECT_EQ(VxString(), Find(L"E:\\Host\\", L"F:\\Modules\\"));
}

TEST_F(InstallationList, InstallationWithEmptyPathIsSkipped) {
  Add(false, L"A", L"");
  SetDefault(false, L"A");
  // An empty path would be a prefix of every folder.
  EXPECT_EQ(VxString(), Find(L"C:\\Player\\", L"C:\\Player\\"));
  Add(false, L"B", L"C:\\Player\\");
  EXPECT_EQ(V(L"C:\\Player\\"), Find(L"C:\\Player\\", L"F:\\Modules\\"));
}

TEST_F(InstallationList, NoListGivesEmptyInstallPath) {
  EXPECT_EQ(VxString(), Find(L"C:\\Player\\", L"C:\\Player\\"));
  VxRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ListPath(false).c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
  EXPECT_EQ(VxString(), Find(L"C:\\Player\\", L"C:\\Player\\"));
}

TEST_F(InstallationList, ModuleFolderEndingInX64ReadsTheWow6432NodeList) {
  Add(false, L"Native", L"C:\\Player\\");
  Add(true, L"Wow", L"C:\\");
  EXPECT_EQ(V(L"C:\\"), Find(L"C:\\Player\\", L"C:\\Player\\x64\\"));
  EXPECT_EQ(V(L"C:\\"), Find(L"C:\\Player\\", L"C:\\Player\\X64\\"));
  EXPECT_EQ(V(L"C:\\Player\\"), Find(L"C:\\Player\\", L"C:\\Player\\x64bit\\"));
  EXPECT_EQ(V(L"C:\\Player\\"), Find(L"C:\\Player\\", L"C:\\Player\\"));
}

class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"vx_install_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    ::DeleteFileW((path_ + L"Portable.dat").c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

TEST_F(InstallationList, PortableMarkerInTheHostFolderWinsOverTheRegistry) {
  TempFolder host;
  Add(false, L"A", host.Path().c_str());
  VxInstallInfo::Resolution r = VxInstallInfo::Resolve(V(host.Path().c_str()), V(L"F:\\M\\"));
  EXPECT_FALSE(r.portable);
  EXPECT_EQ(V(host.Path().c_str()), r.installPath);
  EXPECT_EQ(VxString(), r.dataPath);

  VxFileHandle marker(::CreateFileW((host.Path() + L"Portable.dat").c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(marker);
  marker.reset();
  Add(false, L"B", L"C:\\Elsewhere\\");
  SetDefault(false, L"B");
  r = VxInstallInfo::Resolve(V(host.Path().c_str()), V(L"F:\\M\\"));
  EXPECT_TRUE(r.portable);
  EXPECT_EQ(V(host.Path().c_str()), r.installPath);
  EXPECT_EQ(V((host.Path() + L"Application Data").c_str()), r.dataPath);
}

TEST(InstallBlock, ThisProcessIsAPortableInstallInItsOwnFolder) {
  EXPECT_EQ(VxString(u"Vexmoor Process v33 (1234)"), VxInstallInfo::BlockName(1234));
  const VxInstallBlock* block = VxInstallInfo::Block();
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(block, VxInstallInfo::Block());
  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const VxString folder = VxInstallInfo::FolderOf(VxString(exe));
  EXPECT_EQ(1, block->filled);
  EXPECT_EQ(1, block->portable);
  EXPECT_EQ(VxInstallInfo::kComplete, block->complete);
  EXPECT_EQ(folder, VxInstallInfo::LibraryInstallPath());
  EXPECT_EQ(folder, VxString(block->installPath));
  EXPECT_EQ(folder + u"Application Data", VxString(block->dataPath));
}

TEST(InstallBlock, OtherModulesOfTheProcessMapTheSameBlock) {
  // A second module of the process maps the same block and finds it filled.
  const VxInstallBlock* block = VxInstallInfo::Block();
  ASSERT_NE(nullptr, block);
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE,
                                      VxInstallInfo::BlockName(::GetCurrentProcessId()).Wide());
  ASSERT_NE(nullptr, mapping);
  VxHandle holder(mapping);
  VxMappedView view(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(view);
  EXPECT_EQ(0, memcmp(view.get(), block, sizeof(VxInstallBlock)));
}

}  // namespace
