// The library loader, the host library set and the log scope, against the
// reference tools library in the program's folder (a portable install).
#include "live_Main/host/VxLoadLibrary.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <regex>
#include <string>

#include "live_Main/boundary/VxLiveApp.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxInstallInfo.h"
#include "live_Main/host/VxLog.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

// A folder left by an earlier, interrupted run counts as made.
bool MakeFolder(const std::wstring& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

constexpr char16_t kMissing[] = u"C:\\vx-no-such-folder\\Missing.dll";

// Loads the tools library through the host library set for each test.
class WithTools : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = &VxToolsTestEnv::Instance();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
    ASSERT_NE(nullptr, VxGetTools());
    firstLine_ = env_->LogLineCount();
  }
  void TearDown() override { VxHostLibraries::Instance().Unload(false); }

  // Entries written since the test began whose message matches `pattern` and
  // whose source starts with `source`.
  std::vector<VxLogEntry> Entries(const std::string& pattern,
                                  const std::string& source = "") const {
    std::vector<VxLogEntry> found;
    const std::regex re(pattern);
    const std::vector<std::string> lines = env_->ReadLogLines();
    for (size_t i = firstLine_; i < lines.size(); ++i) {
      VxLogEntry entry;
      if (VxParseLogLine(lines[i], entry) && std::regex_match(entry.message, re) &&
          entry.source.rfind(source, 0) == 0)
        found.push_back(entry);
    }
    return found;
  }

  VxToolsTestEnv* env_ = nullptr;
  size_t firstLine_ = 0;
};

using LoadLibraryFailure = WithTools;

// A failed load prints the loader line and keeps the loader's error; only with
// bit 31 is it also logged.
TEST_F(LoadLibraryFailure, PrintsTheLoaderLineAndLogsOnlyWithBit31) {
  VxLoadLibrary library;
  for (const uint32_t flags : {0u, VxLoadLibrary::kLogFailure}) {
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(library.Load(kMissing, flags));
    const DWORD error = ::GetLastError();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
    EXPECT_TRUE(
        std::regex_match(out, std::regex("\n\nERROR in VxLoadLibrary: errno=-?[0-9]+, "
                                         "file=C:\\\\vx-no-such-folder\\\\Missing\\.dll\n\n")))
        << "[" << out << "]";
    EXPECT_FALSE(library.IsLoaded());
  }
  const auto entries = Entries("Loading .* failed, error: .*");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("Loading C:\\vx-no-such-folder\\Missing.dll failed, error: 126", entries[0].message);
  EXPECT_EQ(1, entries[0].category);
  EXPECT_EQ("VxLoadLibrary", entries[0].source);
}

TEST(LibraryLoader, EmptyPathFailsAndEveryLoadFreesTheModuleBefore) {
  // The image library beside the program: nothing else in this test loads it.
  const std::wstring image = VxToolsTestEnv::ExeFolder() + L"VxImage.dll";
  const VxString path(image.c_str());
  ASSERT_EQ(nullptr, ::GetModuleHandleW(image.c_str()));
  VxLoadLibrary library;
  // Bit 31 is not passed on to the loader, where it would make the load fail.
  ASSERT_TRUE(
      library.Load(path.c_str(), VxLoadLibrary::kLogFailure | LOAD_WITH_ALTERED_SEARCH_PATH));
  EXPECT_EQ(library.Get(), ::GetModuleHandleW(image.c_str()));
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(library.Load(u"", 0));
  EXPECT_EQ(nullptr, ::GetModuleHandleW(image.c_str()));
  ASSERT_TRUE(library.Load(path.c_str(), 0));
  EXPECT_FALSE(library.Load(nullptr, 0));
  EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(nullptr, ::GetModuleHandleW(image.c_str()));

  ASSERT_TRUE(library.Load(path.c_str(), 0));
  library.Free();
  EXPECT_EQ(nullptr, ::GetModuleHandleW(image.c_str()));
}

// The host's search rule for its libraries, with the install path spelt with
// and without its trailing backslash and with the library only in "x64\".
TEST(LibraryLoader, InstallPathIsJoinedWithOrWithoutTrailingBackslash) {
  const std::wstring bin = VxToolsTestEnv::ExeFolder();
  const std::wstring other = bin + L"install-" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(MakeFolder(other));
  ASSERT_TRUE(MakeFolder(other + L"\\x64"));
  ASSERT_TRUE(
      ::CopyFileW((bin + L"VxImage.dll").c_str(), (other + L"\\x64\\VxImage.dll").c_str(), FALSE));
  const struct {
    std::wstring installPath, loaded;
  } cases[] = {
      {bin, bin + L"VxImage.dll"},
      {bin.substr(0, bin.size() - 1), bin + L"VxImage.dll"},
      {other, other + L"\\x64\\VxImage.dll"},
      {other + L"\\", other + L"\\x64\\VxImage.dll"},
  };
  for (const auto& c : cases) {
    VxLoadLibrary library;
    ASSERT_TRUE(library.LoadFromInstallation(VxString(c.installPath.c_str()), u"VxImage.dll"))
        << std::string(c.installPath.begin(), c.installPath.end());
    EXPECT_EQ(VxString(c.loaded.c_str()), VxModuleFileName(library.Get()));
  }
  ::DeleteFileW((other + L"\\x64\\VxImage.dll").c_str());
  ::RemoveDirectoryW((other + L"\\x64").c_str());
  ::RemoveDirectoryW(other.c_str());
}

// A module path longer than MAX_PATH comes back whole.
TEST(LibraryLoader, ModuleFileNameHasNoLengthLimit) {
  std::wstring folder = L"\\\\?\\" + VxToolsTestEnv::ExeFolder() + L"long-" +
                        std::to_wstring(::GetCurrentProcessId());
  std::vector<std::wstring> made;
  for (;;) {
    ASSERT_TRUE(MakeFolder(folder)) << ::GetLastError();
    made.push_back(folder);
    if (folder.size() > MAX_PATH + 40)
      break;
    folder += L"\\" + std::wstring(60, L'd');
  }
  const std::wstring image = folder + L"\\VxImage.dll";
  ASSERT_TRUE(
      ::CopyFileW((VxToolsTestEnv::ExeFolder() + L"VxImage.dll").c_str(), image.c_str(), FALSE));
  VxModule module(::LoadLibraryExW(image.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  ASSERT_TRUE(module) << ::GetLastError();
  const VxString path = VxModuleFileName(module.get());
  EXPECT_GT(path.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_TRUE(path.ends_with(VxString(image.substr(4).c_str()))) << path.size();
  module.reset();
  ::DeleteFileW(image.c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it)
    ::RemoveDirectoryW(it->c_str());
}

using HostLibraries = WithTools;

TEST_F(HostLibraries, LoadsOnceAndUnloadNotifiesThenReleasesTheTools) {
  VxHostLibraries& libraries = VxHostLibraries::Instance();
  IVxTools* tools = VxGetTools();
  EXPECT_TRUE(libraries.LoadTools());
  EXPECT_EQ(tools, VxGetTools());
  EXPECT_TRUE(Entries("Initialize \\(module: .*").empty()) << "loaded twice";

  libraries.Unload(true);
  EXPECT_EQ(nullptr, VxGetTools());
  const auto messages = Entries(".*", "VxTools");
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(0u, messages[0].message.find("ModuleUnloading (module: "));
  EXPECT_EQ(0u, messages[1].message.find("Uninitialize (module: "));
  EXPECT_NE(std::string::npos, messages[1].message.find("flag: 0"));

  // Loading again initialises the library again, start-up flag false; logging is
  // skipped while unloaded.
  VxLog(kVxLogRuntime, u"Test", u"not logged");
  ASSERT_TRUE(libraries.LoadTools());
  EXPECT_EQ(1u, Entries("Initialize \\(module: .*, flag: 0, .*").size());
  EXPECT_TRUE(Entries("not logged").empty());

  // Without the notification the library is released quietly.
  libraries.Unload(false);
  EXPECT_EQ(nullptr, VxGetTools());
  EXPECT_EQ(1u, Entries("ModuleUnloading.*").size());
  EXPECT_EQ(2u, Entries("Uninitialize \\(module: .*").size());
}

void LogFromInsideTools(const wchar_t* call, HINSTANCE) {
  VxLog(kVxLogRuntime, u"Test::Hook", u"inside %s", {reinterpret_cast<const char16_t*>(call)});
}

// The interface is published before the library's initialisation and cleared
// after its counterpart, so the library may call back into the module, and the
// module log, from inside both.
TEST_F(HostLibraries, ModuleCanLogFromInsideToolsInitialiseAndUninitialise) {
  VxModule hold(::LoadLibraryW((VxToolsTestEnv::ExeFolder() + L"VxTools.dll").c_str()));
  using SetHook = void (*)(void (*)(const wchar_t*, HINSTANCE));
  auto setHook = reinterpret_cast<SetHook>(
      reinterpret_cast<void*>(::GetProcAddress(hold.get(), "VxToolsSetCallHook")));
  ASSERT_NE(nullptr, setHook);
  setHook(&LogFromInsideTools);
  VxHostLibraries::Instance().Unload(false);
  ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  setHook(nullptr);
  EXPECT_EQ(1u, Entries("inside Uninitialize").size());
  EXPECT_EQ(1u, Entries("inside Initialize").size());
}

TEST_F(HostLibraries, LiveAppLoadsTheProductInformationOnlyWhileItIsMissing) {
  VxLiveApp app;
  ASSERT_TRUE(app.LoadHostLibraries());
  ASSERT_TRUE(app.LoadHostLibraries());
  const auto loads = Entries("LoadProductInfo \\(product: \"\"\\)");
  EXPECT_EQ(1u, loads.size()) << "loaded with an empty product name, once";
  EXPECT_EQ(1u, Entries("ProductInfoLoaded \\(flag: 0\\)").size());
}

using InstallBlockFill = WithTools;

TEST_F(InstallBlockFill, TellsTheToolsBeforeTheInstallPathGoesOutAndMarksCompletionLast) {
  VxInstallBlock block;
  std::memset(static_cast<void*>(&block), 0xAB, sizeof(block));
  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  VxInstallInfo::Fill(&block, VxString(exe), VxInstallInfo::ThisModuleFolder());
  EXPECT_EQ(1u, Entries("BeforeInstallPathLogged").size());
  EXPECT_EQ(VxInstallInfo::kComplete, block.complete);
  // Whatever was in the block before is cleared; the C host checks the rest
  // of a block byte for byte.
  EXPECT_EQ(0, block.reserved8[0]);
  EXPECT_EQ(0u, block.reserved10);
}

using LogScope = WithTools;

TEST_F(LogScope, LogsStartAndFinishWithOrWithoutResult) {
  { VxLogScope scope(kVxLogLive, u"CTest::Plain"); }
  {
    VxLogScope scope(kVxLogRuntime, u"CTest::WithResult");
    scope.SetResult(-1);
  }
  const auto ours = Entries(".*", "CTest::");
  ASSERT_EQ(4u, ours.size());
  EXPECT_EQ("Start", ours[0].message);
  EXPECT_EQ(64, ours[0].category);
  EXPECT_TRUE(std::regex_match(ours[1].message, std::regex("Finish \\([0-9]+ ms\\)")))
      << ours[1].message;
  EXPECT_EQ("CTest::Plain", ours[1].source);
  EXPECT_EQ("Start", ours[2].message);
  EXPECT_TRUE(
      std::regex_match(ours[3].message, std::regex("Finish \\(result: -1\\) \\([0-9]+ ms\\)")))
      << ours[3].message;
  EXPECT_EQ(1, ours[3].category);
}

}  // namespace
