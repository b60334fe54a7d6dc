#include "reference/host/VxHostPlugin.h"

#include <vector>

#include "foundation/VxFormat.h"
#include "live_Main/host/IVxTools.h"

namespace {

template <typename T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

std::wstring VxHostFolder() {
  std::vector<wchar_t> path(32768);
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring full(path.data(), n);
  return full.substr(0, full.find_last_of(L'\\') + 1);
}

std::wstring VxHostAbsolutePath(const std::wstring& path) {
  std::wstring windowsPath = path;
  if (!path.empty() && path[0] == L'/') {
    // Only Wine's kernel32 has this helper; on Windows a leading slash stays a
    // path on the current drive.
    using ToDos = wchar_t* (*)(const char*);
    auto toDos = Export<ToDos>(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (toDos) {
      std::string narrow(path.begin(), path.end());
      if (wchar_t* dos = toDos(narrow.c_str())) {
        windowsPath = dos;
        ::HeapFree(::GetProcessHeap(), 0, dos);
      }
    }
  }
  std::vector<wchar_t> full(32768);
  const DWORD n = ::GetFullPathNameW(windowsPath.c_str(), static_cast<DWORD>(full.size()),
                                     full.data(), nullptr);
  return n ? std::wstring(full.data(), n) : windowsPath;
}

std::wstring VxSystemErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n ? std::wstring(text, n) : std::wstring();
  ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  const std::wstring number = L"(error " + std::to_wstring(error) + L")";
  return message.empty() ? number : message + L" " + number;
}

bool VxHostPlugin::LoadTools() {
  const std::wstring path = VxHostFolder() + L"VxTools.dll";
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error_ = L"the tools library " + path +
             L" is missing; the plug-in cannot start without it (copy it beside vxhost.exe, "
             L"or run \"vxhost layout <dir>\")";
    return false;
  }
  tools_.reset(::LoadLibraryW(path.c_str()));
  if (!tools_) {
    error_ = L"cannot load " + path + L": " + VxSystemErrorText(::GetLastError());
    return false;
  }
  setToolsOption_ = Export<SetToolsOptionProc>(tools_.get(), "VxToolsSetOption");
  setLogListener_ = Export<VxToolsSetLogListenerProc>(tools_.get(), "VxToolsSetLogListener");
  if (!setToolsOption_) {
    error_ = path + L" has no VxToolsSetOption export";
    return false;
  }
  return true;
}

bool VxHostPlugin::CheckStartUp() {
  // The plug-in refuses to load, with a "Critical Error" box, when the tools
  // library or the product information is missing. A host loads both before
  // any plug-in, so the same failures are found here first and told on the
  // console.
  const std::wstring path = VxHostFolder() + L"VxTools.dll";
  if (!tools_ && !LoadTools())
    return false;
  using GetToolsProc = IVxTools* (*)(int);
  auto getTools = Export<GetToolsProc>(tools_.get(), "GetVxToolsDLL");
  IVxTools* tools = getTools ? getTools(kVxToolsInterfaceVersion) : nullptr;
  if (!tools) {
    error_ = path + L" offers no tools interface of version " +
             std::to_wstring(kVxToolsInterfaceVersion) + L"; the plug-in cannot start with it";
    return false;
  }
  IVxProductInfo* productInfo = tools->GetProductInfo(true);
  VxDllString reason;
  if (!productInfo || !productInfo->Load(u"", &reason)) {
    const std::u16string& text = reason.Text();
    error_ =
        L"the tools library refused the product information (" +
        (text.empty() ? std::wstring(L"no reason given") : std::wstring(text.begin(), text.end())) +
        L"); the plug-in cannot start without it";
    return false;
  }
  return true;
}

bool VxHostPlugin::LoadPlugin(const std::wstring& given) {
  if (!CheckStartUp())
    return false;
  const std::wstring path = given.empty() ? VxHostFolder() + L"VxLive.dll" : given;
  plugin_.reset(::LoadLibraryW(path.c_str()));
  if (!plugin_) {
    error_ = L"cannot load " + path + L": " + VxSystemErrorText(::GetLastError()) +
             L" (a refused start-up shows a \"Critical Error\" box)";
    return false;
  }
  pluginPath_ = path;
  getLivePlugin_ = Export<GetLivePluginProc>(plugin_.get(), "GetLivePlugin");
  dllRegisterServer_ = Export<DllRegisterServerProc>(plugin_.get(), "DllRegisterServer");
  if (!getLivePlugin_ || !dllRegisterServer_) {
    error_ = path + L" lacks the GetLivePlugin or DllRegisterServer export";
    return false;
  }
  return true;
}

void VxHostPlugin::SetToolsOption(const wchar_t* name, const wchar_t* value) const {
  if (setToolsOption_)
    setToolsOption_(name, value);
}
