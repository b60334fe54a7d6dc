#include "live_Main/boundary/VxLiveApp.h"

#include <clocale>

#include "foundation/VxCharTable.h"
#include "foundation/VxFormat.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxLoadLibrary.h"

namespace {

constexpr char16_t kProductName[] = u"";

}  // namespace

bool VxLiveApp::InitInstance() {
  std::setlocale(LC_ALL, "");
  VxRebuildCharTables();
  if (WantsHostLibraries())
    return LoadHostLibraries();
  return true;
}

bool VxLiveApp::ExitInstance() {
  VxHostLibraries::Instance().Unload(true);
  return VxDllApp::ExitInstance();
}

VxString VxLiveApp::CriticalErrorText(const VxString& modulePath, const VxString& error) {
  return VxFormat(
      u"The following module has failed to load:\r\n%s\r\n\r\nIt has reported the following "
      u"error:\r\n\r\n%s\r\n\r\nPlease reinstall the latest version of the program.",
      {modulePath, error});
}

bool VxLiveApp::LoadHostLibraries() {
  VxHostLibraries& libraries = VxHostLibraries::Instance();
  libraries.SetModuleInstance(module_);
  IVxTools* tools = libraries.Tools();
  if (tools && tools->GetProductInfo(false))
    return true;

  VxString error;
  if (libraries.LoadTools()) {
    tools = libraries.Tools();
    IVxProductInfo* productInfo = tools ? tools->GetProductInfo(true) : nullptr;
    VxDllString reason;
    if (productInfo && productInfo->Load(kProductName, &reason)) {
      tools->ProductInfoLoaded(false);
      return true;
    }
    error = reason.Text().empty() ? VxString(u"Unknown error loading product information")
                                  : reason.Text();
  } else {
    error = u"Failed to load VxTools";
  }
  const VxString text = CriticalErrorText(VxModuleFileName(module_), error);
  ::MessageBoxW(nullptr, text.Wide(), L"Critical Error", MB_OK);
  return false;
}
