// The library's entry points, its bookkeeping slots and product information.
#include <gtest/gtest.h>

#include <string>

#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

IVxTools* Tools() {
  IVxTools* tools = Env().LoadTools();
  EXPECT_NE(tools, nullptr);
  return tools;
}

HMODULE ToolsModule() {
  (void)Tools();
  return ::GetModuleHandleW(L"VxTools.dll");
}

template <typename Proc>
Proc Export(const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(ToolsModule(), name)));
}

// Names of the DLLs a loaded module imports, read from its import directory.
std::vector<std::string> ImportedDlls(HMODULE module) {
  std::vector<std::string> names;
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress)
    return names;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       d->Name; ++d) {
    std::string name = reinterpret_cast<const char*>(base + d->Name);
    for (char& c : name)
      c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  return names;
}

}  // namespace

TEST(ToolsLibrary, AnswersOnlyItsInterfaceVersion) {
  auto get = Export<VxGetToolsProc>("GetVxToolsDLL");
  ASSERT_NE(get, nullptr);
  IVxTools* tools = get(kVxToolsInterfaceVersion);
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(get(kVxToolsInterfaceVersion), tools) << "one process-wide object";
  EXPECT_EQ(get(kVxToolsInterfaceVersion - 1), nullptr);
  EXPECT_EQ(get(0), nullptr);
}

TEST(ToolsLibrary, ImportsOnlySystemLibraries) {
  for (const std::string& dll : ImportedDlls(ToolsModule())) {
    EXPECT_EQ(dll.find("LIBSTDC++"), std::string::npos) << dll;
    EXPECT_EQ(dll.find("LIBGCC"), std::string::npos) << dll;
    EXPECT_EQ(dll.find("LIBWINPTHREAD"), std::string::npos) << dll;
  }
}

TEST(ToolsLibrary, CountsInitialisationPerModuleAndLogsTheOrder) {
  IVxTools* tools = Tools();
  auto count = Export<int (*)(HINSTANCE)>("VxToolsInitializeCount");
  ASSERT_NE(count, nullptr);
  // Two distinct module handles: this program and a system library.
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  HINSTANCE other = ::GetModuleHandleW(L"kernel32.dll");
  const size_t mark = Env().LogLineCount();

  EXPECT_TRUE(tools->Initialize(false, self));
  EXPECT_TRUE(tools->Initialize(false, self));
  EXPECT_TRUE(tools->Initialize(true, other));
  EXPECT_EQ(count(self), 2);
  EXPECT_EQ(count(other), 1);
  tools->ProductInfoLoaded(false);
  tools->BeforeInstallPathLogged();
  tools->ModuleUnloading(self);
  tools->Uninitialize(false, self);
  tools->Uninitialize(true, other);
  EXPECT_EQ(count(self), 1);
  EXPECT_EQ(count(other), 0);
  tools->Uninitialize(false, other);  // one too many: logged, count stays 0
  EXPECT_EQ(count(other), 0);
  tools->Uninitialize(false, self);

  std::vector<std::string> messages;
  const std::vector<std::string> lines = Env().ReadLogLines();
  for (size_t i = mark; i < lines.size(); ++i) {
    VxLogEntry e;
    ASSERT_TRUE(VxParseLogLine(lines[i], e)) << lines[i];
    if (e.source == "VxTools" && e.category == 1)
      messages.push_back(e.message);
  }
  const char* expected[] = {
      "Initialize (module: reference_tools_tests.exe, flag: 0, count: 1)",
      "Initialize (module: reference_tools_tests.exe, flag: 0, count: 2)",
      "Initialize (module: kernel32.dll, flag: 1, count: 1)",
      "ProductInfoLoaded (flag: 0)",
      "BeforeInstallPathLogged",
      "ModuleUnloading (module: reference_tools_tests.exe)",
      "Uninitialize (module: reference_tools_tests.exe, flag: 0, count: 1)",
      "Uninitialize (module: kernel32.dll, flag: 1, count: 0)",
      "Uninitialize without Initialize (module: kernel32.dll)",
      "Uninitialize (module: reference_tools_tests.exe, flag: 0, count: 0)",
  };
  ASSERT_EQ(messages.size(), std::size(expected));
  for (size_t i = 0; i < messages.size(); ++i) {
    // The system library's file name may be spelled in another case.
    EXPECT_TRUE(_stricmp(messages[i].c_str(), expected[i]) == 0) << messages[i];
  }
}

TEST(ToolsLibrary, PlaceholderSlotsAreLoggedAsUnexpected) {
  IVxTools* tools = Tools();
  const size_t mark = Env().LogLineCount();
  tools->Unused2();
  tools->Unused42();
  EXPECT_EQ(Env().FindLogLines("Unexpected call: IVxTools slot 2", mark).size(), 1u);
  EXPECT_EQ(Env().FindLogLines("Unexpected call: IVxTools slot 42", mark).size(), 1u);
}

TEST(ToolsLibrary, AdoptedPopupWindowIsLogged) {
  IVxTools* tools = Tools();
  const size_t mark = Env().LogLineCount();
  tools->AdoptPopupWindow(nullptr);
  EXPECT_EQ(Env().FindLogLines("\tAdoptPopupWindow (window: 0000000000000000", mark).size(), 1u);
}

TEST(ProductInfo, LoadSucceedsUnlessConfiguredToFail) {
  IVxTools* tools = Tools();
  IVxProductInfo* info = tools->GetProductInfo(true);
  ASSERT_NE(info, nullptr);

  Env().SetOption(L"VXTOOLS_PRODUCT_ERROR", L"License file damaged");
  VxDllString error;
  EXPECT_FALSE(info->Load(u"", &error));
  EXPECT_EQ(error.Text(), u"License file damaged");
  EXPECT_EQ(tools->GetProductInfo(false), nullptr) << "a failed load leaves no product information";

  Env().SetOption(L"VXTOOLS_PRODUCT_ERROR", nullptr);
  Env().SetOption(L"VXTOOLS_PRODUCT_FAIL", L"1");
  VxDllString empty(u"stale");
  EXPECT_FALSE(info->Load(u"", &empty));
  EXPECT_EQ(empty.Text(), u"") << "fails with an empty error text";

  Env().SetOption(L"VXTOOLS_PRODUCT_FAIL", nullptr);
  VxDllString none;
  EXPECT_TRUE(info->Load(u"Test Product", &none));
  EXPECT_EQ(tools->GetProductInfo(false), info);
  EXPECT_EQ(VxString(info->GetProductName()), u"Test Product");
  EXPECT_TRUE(Env().WaitForLogLine("LoadProductInfo (product: \"Test Product\")", 0));
}

TEST(TextService, FormatsTheTypedArgumentList) {
  IVxTextService* text = Tools()->GetTextService(true);
  ASSERT_NE(text, nullptr);
  VxDllString inner(u"inner");
  VxArgList args({u"wide", &inner, -42, 255});
  VxDllString out;
  text->Format(&out, u"%s|%s|%d|%04x|%s", args.List(), args.Capacity());
  EXPECT_EQ(out.Text(), u"wide|inner|-42|00ff|");
}
