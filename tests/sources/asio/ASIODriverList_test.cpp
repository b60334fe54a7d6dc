// The driver list read from crafted driver keys through the real registry, the
// loader's search folders and class creation: what is listed, under which
// name and in which order, which record loads, and what the settings dialog
// and "vxhost drivers" (through a pipe and on a console) show of it.
#include "sources/asio/ASIODriverList.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/host/VxHostLibraries.h"
#include "sources/asio/ASIOWrapper.h"
#include "testdevices/asio/VxTestAsioControl.h"
#include "tests/reference/host/VxHostRun.h"
#include "tests/ui/VxUiTestHost.h"

namespace {

constexpr wchar_t kSystemCopy[] = L"VxTestAsioSystemCopy.dll";

struct Entry {
  std::wstring key;          // under HKLM\Software\ASIO
  std::wstring clsid;        // its "CLSID" value
  std::wstring description;  // empty: none
  std::wstring server;       // InprocServer32; empty: the class is registered already
  std::wstring listedAs;     // empty: not listed
  int loads = -1;            // the test driver its device ID loads; -1: none or unchecked
  DWORD serverType = REG_SZ;
  std::wstring classKey = {};  // empty: the "CLSID" value
  std::wstring ClassKey() const { return L"CLSID\\" + (classKey.empty() ? clsid : classKey); }
};

std::wstring Fake(int n) {
  return L"{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8F0" + std::to_wstring(n) + L"}";
}

void SetText(HKEY root,
             const std::wstring& path,
             const wchar_t* name,
             const std::wstring& value,
             DWORD type = REG_SZ) {
  ASSERT_EQ(::RegSetKeyValueW(root, path.c_str(), name, type, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// Driver key names and descriptions are read through the ANSI code page, the
// one Wine takes from the Unix locale (ctest runs this test in three): a name
// in the code page's script, and one outside it, which is listed with a
// question mark for each letter the code page lacks, or its nearest letter
// (as Wine's tables map them).
struct Script {
  UINT codePage;
  const wchar_t* native;
  const wchar_t* outside;
  const wchar_t* outsideListed;
};
constexpr Script kScripts[] = {
    {1252, L"Caf\u00e9 Se\u00f1al \u20ac", L"\u0417\u0430\u043f\u0438\u0441\u044c", L"??????"},
    {932, L"\u5165\u529b\u30c6\u30b9\u30c8 \uff8e\uff9f\uff70\uff84", L"Caf\u00e9 \u20ac",
     L"Cafe ?"},
    {1251, L"\u0417\u0430\u043f\u0438\u0441\u044c \u0432\u0445\u043e\u0434 \u2116",
     L"\u5165\u529b Caf\u00e9", L"?? Cafe"},
};

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 4, '\0');
  out.resize(static_cast<size_t>(
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

// What a program shows on a console: the test makes one of its own, the
// program writes to it, and the screen is read back, one line per row.
std::wstring OnConsole(const std::wstring& exe, const std::wstring& arguments) {
  ::FreeConsole();  // Wine gives a console program one whatever its handles are
  if (!::AllocConsole())
    return L"(no console: error " + std::to_wstring(::GetLastError()) + L")";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  VxFileHandle screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                    nullptr));
  PROCESS_INFORMATION pi = {};
  std::wstring text;
  if (VxStartChild(exe, arguments, screen.get(), 0, pi)) {
    VxHandle process(pi.hProcess), thread(pi.hThread);
    ::WaitForSingleObject(process.get(), 120000);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    ::GetConsoleScreenBufferInfo(screen.get(), &info);
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
      std::wstring line(static_cast<size_t>(info.dwSize.X), L' ');
      DWORD read = 0;
      ::ReadConsoleOutputCharacterW(screen.get(), line.data(), info.dwSize.X, {0, row}, &read);
      line.erase(line.find_last_not_of(L' ') + 1);
      text += line + L"\n";
    }
  }
  screen.reset();
  ::FreeConsole();
  return text;
}

TEST(AsioDriverList, ListsWhatTheLoaderFindsUnderItsNameInRegistryOrder) {
  if (const char* expected = std::getenv("VX_EXPECT_ACP")) {
    ASSERT_EQ(::GetACP(), static_cast<UINT>(std::atoi(expected))) << "the locale did not apply";
  }
  const Script* script = nullptr;
  for (const Script& s : kScripts)
    script = s.codePage == ::GetACP() ? &s : script;
  ASSERT_NE(script, nullptr) << "no names for ANSI code page " << ::GetACP();
  ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT",
                            (L"DriverList " + std::to_wstring(::GetCurrentProcessId())).c_str());
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  const std::wstring dll = VxTestAsioDefaultDllPath();
  const std::wstring folder = dll.substr(0, dll.find_last_of(L'\\'));
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  // Installed the way regsvr32 registers a DLL of the system folder: by name.
  ASSERT_TRUE(
      ::CopyFileW(dll.c_str(), (std::wstring(system) + L"\\" + kSystemCopy).c_str(), FALSE));
  // 511 bytes: the longest server value there is room for with its terminator.
  // Two-character steps below: the start must have an odd length to end at 511.
  std::wstring longPath = folder + L"\\";
  if (longPath.size() % 2 == 0)
    longPath += L"x\\..\\";
  while (longPath.size() < 511 - 14)
    longPath += L".\\";
  longPath += L"VxTestAsio.dll";
  ASSERT_EQ(longPath.size(), 511u);
  const std::wstring longDescription = L"Description of 255 characters " + std::wstring(225, L'd');
  std::wstring lowerId = VxTestAsioClassIdText(2);
  ::CharLowerW(lowerId.data());
  const auto id = VxTestAsioClassIdText;
  // In the registry's own order of key names.
  const std::vector<Entry> entries = {
      {L"A duplicate", id(0), L"Duplicate first", dll, L"Duplicate first", 0},
      // Two records with one class ID: the first one loads.
      {L"B duplicate", id(0), L"Duplicate second", L"", L"Duplicate second", 0},
      {L"C no description", id(1), L"", dll, L"C no description", 1},
      {L"D class key in lower case", id(2), L"Lower case", dll, L"Lower case", 2, REG_SZ, lowerId},
      {L"E missing server file", Fake(1), L"Missing", folder + L"\\VxNoSuchDriver.dll", L""},
      {L"F bare name found nowhere", Fake(2), L"Nowhere", L"VxNoSuchDriver.dll", L""},
      {L"G bare name in the system folder", id(3), L"System", kSystemCopy, L"System", 3},
      {L"H expandable path", id(4), L"Expandable",
       L"%SystemRoot%\\system32\\" + std::wstring(kSystemCopy), L"Expandable", 4, REG_EXPAND_SZ},
      {L"I unparsable class ID", L"no class ID", L"Unparsable", dll, L"Unparsable"},
      {L"J long description", id(5), longDescription, dll, longDescription.substr(0, 127), 5},
      {L"K " + std::wstring(script->native), id(6), L"", dll, L"K " + std::wstring(script->native),
       6},
      {L"KA outside the code page", Fake(6), script->outside, dll, script->outsideListed},
      // Listed; Wine's loader refuses a path this long, so it is not loaded.
      {L"L long server path", id(7), L"Long path", longPath, L"Long path"},
      {L"M relative path", Fake(3), L"Relative",
       L"..\\" + folder.substr(folder.find_last_of(L'\\') + 1) + L"\\VxTestAsio.dll", L"Relative"},
      // A name of 128 characters ends the enumeration: neither it nor any
      // key after it is listed.
      {L"Y" + std::wstring(127, L'y'), Fake(4), L"Long name", dll, L""},
      {L"Z after the long name", Fake(5), L"After", dll, L""},
  };
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    VxTestAsioUnregister(i);
  VxTestAsioConfig named;
  named.name = script->native;  // what getDriverName answers, in the ANSI code page
  ASSERT_TRUE(named.Save(6));
  std::vector<const Entry*> listed;
  for (const Entry& e : entries) {
    SetText(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\" + e.key, L"CLSID", e.clsid);
    if (!e.description.empty())
      SetText(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\" + e.key, L"Description", e.description);
    if (!e.server.empty())
      SetText(HKEY_CLASSES_ROOT, e.ClassKey() + L"\\InprocServer32", nullptr, e.server,
              e.serverType);
    if (!e.listedAs.empty())
      listed.push_back(&e);
  }

  VxStringArray names, ids;
  ASIOWrapper().ListDrivers(names, ids);
  ASSERT_EQ(names.size(), listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    const Entry& e = *listed[i];
    SCOPED_TRACE(testing::Message() << "record " << i);
    EXPECT_EQ(names[i], VxString(e.listedAs.c_str()));
    EXPECT_EQ(ids[i], VxString(e.clsid[0] == L'{' ? e.clsid.c_str()
                                                  : L"{00000000-0000-0000-0000-000000000000}"));
    ASIOWrapper wrapper;
    EXPECT_EQ(wrapper.LoadAndInit(ids[i], u"test"), e.loads >= 0);
    if (e.loads >= 0) {
      EXPECT_EQ(wrapper.DriverName(), VxString(VxTestAsioConfig::Load(e.loads).name.c_str()));
      EXPECT_EQ(wrapper.List().Current(), e.loads == 0 ? 0 : static_cast<int32_t>(i));
    }
  }
  // The settings dialog offers the same names, letter for letter.
  IVxAudioLive* source = nullptr;
  ASSERT_EQ(GetLivePlugin(0, &source), 0);
  VxUiTestHost host;
  VxStringArray offered;
  host.Post([&] {
    HWND devices = VxFindChildrenByClass(VxFindPopup(), L"ComboBox").at(0);
    for (LRESULT i = 0; i < ::SendMessageW(devices, CB_GETCOUNT, 0, 0); ++i) {
      wchar_t item[256] = {};
      ::SendMessageW(devices, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
      offered.push_back(VxString(item));
    }
    ::SendMessageW(::GetDlgItem(VxFindPopup(), IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(source->Configure(0, host.Handle()), 0);
  EXPECT_EQ(offered, names);
  VxDeleteSource(source);

  // vxhost prints them in every script: UTF-8 into a pipe, letters on a console.
  const std::wstring native = L"] K " + std::wstring(script->native);
  const std::wstring driverName = L"driver name: \"" + std::wstring(script->native) + L"\"";
  const std::wstring vxhost = VxToolsTestEnv::ExeFolder() + L"vxhost.exe";
  const ProgramRun piped = RunProgram(vxhost, L"drivers");
  for (const std::wstring& text : {native, driverName, std::wstring(script->outsideListed)})
    EXPECT_TRUE(Contains(piped.output, Utf8(text).c_str())) << Utf8(text) << " in\n"
                                                            << piped.output;
  const std::wstring shown = OnConsole(vxhost, L"drivers");
  for (const std::wstring& text : {native, driverName})
    EXPECT_NE(shown.find(text), std::wstring::npos) << Utf8(text) << " in\n" << Utf8(shown);

  for (const Entry& e : entries) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\ASIO\\" + e.key).c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, e.ClassKey().c_str());
  }
  VxTestAsioConfig::Erase(6);
  ::CoUninitialize();
}

}  // namespace
