#include "testdevices/endpoint/VxTestEndpointControl.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "foundation/VxFileText.h"
#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos)
      return parts;
    start = end + 1;
  }
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string VxTestRecordLine::Field(const std::string& name) const {
  const auto it = fields.find(name);
  return it != fields.end() ? it->second : std::string();
}

uint64_t VxTestRecordLine::Number(const std::string& name) const {
  const std::string text = Field(name);
  return text.empty() ? 0 : std::strtoull(text.c_str(), nullptr, 0);
}

std::wstring VxTestEndpointControl::DllPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + L"VxTestEndpoint.dll";
}

bool VxTestEndpointControl::Install(const std::wstring& dllPath) {
  return VxTestEndpointRegistration::Install(dllPath);
}

bool VxTestEndpointControl::Remove() {
  return VxTestEndpointRegistration::Remove();
}

bool VxTestEndpointControl::IsInstalled(const std::wstring& dllPath) {
  return SamePath(VxTestEndpointRegistration::CurrentServer(), dllPath);
}

bool VxTestEndpointControl::ResetRecord(const std::wstring& path) {
  VxFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

std::vector<VxTestRecordLine> VxTestEndpointControl::ReadRecord(const std::wstring& path) {
  std::vector<VxTestRecordLine> lines;
  std::string text;
  (void)VxReadWholeFile(path.c_str(), text);
  for (const std::string& row : Split(text, '\n')) {
    if (row.empty())
      continue;
    const std::vector<std::string> cells = Split(row, '\t');
    VxTestRecordLine line;
    line.event = cells[0];
    for (size_t i = 1; i < cells.size(); ++i) {
      const size_t eq = cells[i].find('=');
      if (eq == std::string::npos)
        continue;
      line.fields[cells[i].substr(0, eq)] = cells[i].substr(eq + 1);
    }
    line.tid = static_cast<unsigned long>(line.Number("tid"));
    line.apartment = line.Field("apt");
    line.com = line.Field("com") == "1";
    lines.push_back(std::move(line));
  }
  return lines;
}

VxTestRecordSummary VxTestEndpointControl::Summarize(const std::vector<VxTestRecordLine>& lines) {
  VxTestRecordSummary s;
  uint64_t holding = 0;
  auto noteThread = [&s](const VxTestRecordLine& line) {
    if (std::find(s.streamThreads.begin(), s.streamThreads.end(), line.tid) ==
        s.streamThreads.end()) {
      s.streamThreads.push_back(line.tid);
      s.streamApartments.push_back(line.apartment);
    }
  };
  for (const VxTestRecordLine& line : lines) {
    const bool ok = line.Number("hr") == 0;
    if (line.event == "create") {
      ++s.created[line.Field("kind")];
    } else if (line.event == "destroy") {
      ++s.destroyed[line.Field("kind")];
    } else if (line.event == "Initialize") {
      ++s.initializeCalls;
    } else if (line.event == "Start") {
      ++s.startCalls;
      noteThread(line);
    } else if (line.event == "Stop") {
      ++s.stopCalls;
      noteThread(line);
    } else if (line.event == "GetBuffer") {
      noteThread(line);
      if (holding != 0)
        s.paired = false;
      if (ok && line.Number("frames") != 0) {
        ++s.packets;
        holding = line.Number("frames");
      }
    } else if (line.event == "ReleaseBuffer") {
      noteThread(line);
      if (line.Number("frames") != holding && line.Number("frames") != 0)
        s.paired = false;
      if (ok)
        s.releasedFrames += line.Number("frames");
      holding = 0;
    } else if (line.event == "RegisterControlChangeNotify") {
      s.registered += ok;
    } else if (line.event == "UnregisterControlChangeNotify") {
      s.unregistered += ok;
    } else if (line.event == "overrun") {
      s.lostFrames += line.Number("lost");
    } else if (line.event == "stream-summary") {
      s.sizeCalls += line.Number("sizeCalls");
    } else if (line.event == "callback-left") {
      ++s.callbacksLeft;
    }
  }
  if (holding != 0)
    s.paired = false;
  return s;
}

uint32_t VxTestEndpointControl::WriteLiveObjects() {
  HMODULE module = ::GetModuleHandleW(L"VxTestEndpoint.dll");
  if (module == nullptr)
    return 0;
  using WriteLive = unsigned int(WINAPI*)();
  auto write = reinterpret_cast<WriteLive>(
      reinterpret_cast<void*>(::GetProcAddress(module, "VxTestEndpointWriteLive")));
  return write != nullptr ? write() : 0;
}

std::vector<uint8_t> VxTestEndpointControl::ExpectedBytes(const VxTestEndpointConfig& config,
                                                          uint64_t firstFrame,
                                                          uint32_t frames) {
  const VxTestSignalFormat format = config.SignalFormat();
  std::vector<uint8_t> bytes(static_cast<size_t>(frames) * format.BlockAlign());
  VxTestSignalFill(format, firstFrame, frames, bytes.data());
  return bytes;
}

VxTestEndpointScope::VxTestEndpointScope(const VxTestEndpointConfig& config) {
  ok_ = config.Write() && VxTestEndpointControl::Install();
}

VxTestEndpointScope::~VxTestEndpointScope() {
  (void)VxTestEndpointControl::Remove();
  VxTestEndpointConfig::Clear();
}
