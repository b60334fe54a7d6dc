#include "testdevices/asio/VxTestAsioControl.h"

#include <windows.h>

#include <fstream>

#include "foundation/VxFileText.h"
#include "foundation/VxHandle.h"

namespace {

using RegisterProc = HRESULT(STDAPICALLTYPE*)();

bool CallExport(const std::wstring& dllPath, const char* name) {
  VxModule module(::LoadLibraryW(dllPath.c_str()));
  if (!module)
    return false;
  auto proc =
      reinterpret_cast<RegisterProc>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
  return proc && SUCCEEDED(proc());
}

}  // namespace

std::wstring VxTestAsioDefaultDllPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + L"VxTestAsio.dll";
}

bool VxTestAsioRegisterDll(const std::wstring& dllPath) {
  return CallExport(dllPath, "DllRegisterServer");
}

bool VxTestAsioUnregisterDll(const std::wstring& dllPath) {
  return CallExport(dllPath, "DllUnregisterServer");
}

VxTestAsioLogLine VxTestAsioParseLogLine(const std::string& line) {
  VxTestAsioLogLine out;
  out.text = line;
  std::string rest = line;
  for (const char* tag : {"FAULT", "LATE", "note"}) {
    const std::string prefix = std::string(tag) + ": ";
    if (rest.compare(0, prefix.size(), prefix) == 0) {
      out.tag = tag;
      rest.erase(0, prefix.size());
    }
  }
  const size_t open = rest.find('(');
  const size_t close = open == std::string::npos ? std::string::npos : rest.find(')', open);
  if (close == std::string::npos) {
    out.name = rest.substr(0, rest.find(' '));
    out.detail = rest.size() > out.name.size() ? rest.substr(out.name.size() + 1) : "";
    return out;
  }
  out.name = rest.substr(0, open);
  out.args = rest.substr(open + 1, close - open - 1);
  rest.erase(0, close + 1);
  if (rest.compare(0, 3, " = ") == 0) {
    rest.erase(0, 3);
    const size_t blank = rest.find(' ');
    out.result = rest.substr(0, blank);
    rest = blank == std::string::npos ? "" : rest.substr(blank);
  }
  if (!rest.empty() && rest[0] == ' ')
    rest.erase(0, 1);
  out.detail = rest;
  return out;
}

std::vector<VxTestAsioLogLine> VxTestAsioReadCallLog(const std::wstring& path) {
  std::vector<VxTestAsioLogLine> lines;
  std::string text;
  (void)VxReadWholeFile(path.c_str(), text);
  size_t from = 0;
  for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(VxTestAsioParseLogLine(text.substr(from, end - from)));
  return lines;
}

std::vector<VxTestAsioLogLine> VxTestAsioFind(const std::vector<VxTestAsioLogLine>& log,
                                              const std::string& name) {
  std::vector<VxTestAsioLogLine> found;
  for (const VxTestAsioLogLine& line : log)
    if (line.name == name && line.tag.empty())
      found.push_back(line);
  return found;
}

std::vector<VxTestAsioLogLine> VxTestAsioFaults(const std::vector<VxTestAsioLogLine>& log) {
  std::vector<VxTestAsioLogLine> found;
  for (const VxTestAsioLogLine& line : log)
    if (line.IsFault())
      found.push_back(line);
  return found;
}
