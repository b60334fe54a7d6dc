#include "tests/support/VxToolsTestEnv.h"

#include <string>

#include "foundation/VxFileText.h"
#include "live_Main/host/IVxTools.h"

namespace {

using SetOptionProc = void (*)(const wchar_t*, const wchar_t*);

std::wstring ExePath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

bool VxParseLogLine(const std::string& line, VxLogEntry& out) {
  size_t fields[4];
  size_t from = 0;
  for (size_t& f : fields) {
    f = line.find('\t', from);
    if (f == std::string::npos)
      return false;
    from = f + 1;
  }
  out.time = line.substr(0, fields[0]);
  out.category = std::atoi(line.substr(fields[0] + 1, fields[1] - fields[0] - 1).c_str());
  out.thread =
      std::strtoul(line.substr(fields[1] + 1, fields[2] - fields[1] - 1).c_str(), nullptr, 10);
  out.source = line.substr(fields[2] + 1, fields[3] - fields[2] - 1);
  out.message = line.substr(fields[3] + 1);
  return true;
}

VxToolsTestEnv& VxToolsTestEnv::Instance() {
  static VxToolsTestEnv env;
  return env;
}

VxToolsTestEnv::VxToolsTestEnv() {
  const std::wstring exe = ExePath().substr(ExeFolder().size());
  const std::wstring unique = exe.substr(0, exe.rfind(L'.')) + L"-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount64());
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  logPath_ = std::wstring(temp) + L"vxtools-" + unique + L".log";
  settingsRoot_ = L"Test " + unique;
  SetOption(L"VXTOOLS_LOG_FILE", logPath_.c_str());
  SetOption(L"VXTOOLS_SETTINGS_ROOT", settingsRoot_.c_str());
  SetOption(L"VXTOOLS_HEADLESS", L"1");
}

VxToolsTestEnv::~VxToolsTestEnv() {
  DeleteSettings();
}

std::wstring VxToolsTestEnv::SettingsRegistryPath() const {
  return L"Software\\Vexmoor\\VxTools Reference\\" + settingsRoot_;
}

std::wstring VxToolsTestEnv::ExeFolder() {
  const std::wstring path = ExePath();
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

void VxToolsTestEnv::SetOption(const wchar_t* name, const wchar_t* value) {
  ::SetEnvironmentVariableW(name, value);
  if (HMODULE tools = ::GetModuleHandleW(L"VxTools.dll")) {
    auto set = reinterpret_cast<SetOptionProc>(
        reinterpret_cast<void*>(::GetProcAddress(tools, "VxToolsSetOption")));
    if (set)
      set(name, value);
  }
}

IVxTools* VxToolsTestEnv::LoadTools() {
  if (!tools_)
    tools_ = ::LoadLibraryW((ExeFolder() + L"VxTools.dll").c_str());
  if (!tools_)
    return nullptr;
  auto get = reinterpret_cast<VxGetToolsProc>(
      reinterpret_cast<void*>(::GetProcAddress(tools_, "GetVxToolsDLL")));
  return get ? get(kVxToolsInterfaceVersion) : nullptr;
}

std::vector<std::string> VxToolsTestEnv::ReadLogLines() const {
  std::vector<std::string> lines;
  std::string text;
  if (!VxReadWholeFile(logPath_.c_str(), text))
    return lines;
  size_t start = 0;
  // Only complete lines: the library writes each line with one call, but a
  // reader may still catch the file between two of them.
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> VxToolsTestEnv::FindLogLines(std::string_view substring,
                                                      size_t fromLine) const {
  std::vector<std::string> found;
  const std::vector<std::string> lines = ReadLogLines();
  for (size_t i = fromLine; i < lines.size(); ++i)
    if (lines[i].find(substring) != std::string::npos)
      found.push_back(lines[i]);
  return found;
}

void VxToolsTestEnv::DeleteSettings() {
  if (!settingsRoot_.empty())
    ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsRegistryPath().c_str());
}
