#include "live_Main/boundary/VxApp.h"

#include <shellapi.h>

namespace {
std::atomic<VxApp*> gCurrentApp{nullptr};
}

VxApp::VxApp() {
  gCurrentApp.store(this);
}

VxApp::~VxApp() {
  VxApp* self = this;
  gCurrentApp.compare_exchange_strong(self, nullptr);
  windowClasses_.clear();
  arguments_.clear();
}

VxApp* VxApp::Current() {
  return gCurrentApp.load();
}

bool VxApp::ProcessAttachDetach(HINSTANCE module, uint32_t reason) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (++attachCount_ == 1) {
      module_ = module;
      SplitCommandLine();
      if (!InitInstance()) {
        ExitInstance();
        return false;
      }
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    if (attachCount_-- == 1)
      ExitInstance();
  }
  return true;
}

int32_t VxApp::RunModule(HINSTANCE module) {
  module_ = module;
  if (InitInstance())
    Run();
  ExitInstance();
  return exitCode_;
}

int32_t VxApp::RunProgram() {
  return RunModule(::GetModuleHandleW(nullptr));
}

bool VxApp::InitInstance() {
  return true;
}

bool VxApp::ExitInstance() {
  for (const auto& [name, entry] : windowClasses_)
    ::UnregisterClassW(name.Wide(), module_);
  windowClasses_.clear();
  return true;
}

void VxApp::Run() {}
bool VxApp::Reserved7() {
  return true;
}
void VxApp::Reserved8() {}
bool VxApp::Reserved9() {
  return true;
}
bool VxApp::LoadHostLibraries() {
  return true;
}
bool VxApp::Reserved11() {
  return true;
}
void VxApp::Reserved12() {}
bool VxApp::WantsHostLibraries() {
  return false;
}

void VxApp::AddWindowClass(const VxString& name, ATOM atom) {
  windowClasses_[name].atom = atom;
}

void VxApp::SplitCommandLine() {
  arguments_.clear();
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv)
    return;
  for (int i = 0; i < count; ++i)
    arguments_.emplace_back(argv[i]);
  ::LocalFree(argv);
}
