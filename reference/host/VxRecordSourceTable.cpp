#include <cerrno>
#include <cwchar>

#include "reference/host/VxRecordSource.h"

const std::vector<VxRecordSourceEntry>& VxRecordSources() {
  static const std::vector<VxRecordSourceEntry> sources = {
      {L"ipc", L"the IPC source, fed by vxproducer.exe through a named pipe", kIpcRecordOptions,
       CreateIpcRecordSource},
      {L"loopback", L"the loopback source: what the default playback endpoint plays",
       kLoopbackRecordOptions, CreateLoopbackRecordSource},
      {L"asio", L"the ASIO source, capturing inputs of an installed ASIO driver",
       kAsioRecordOptions, CreateAsioRecordSource},
  };
  return sources;
}

const wchar_t* VxRecordOptionValue(int argc, wchar_t** argv, int& i, std::wstring& error) {
  if (i + 1 >= argc) {
    error = std::wstring(argv[i]) + L" needs a value";
    return nullptr;
  }
  return argv[++i];
}

bool VxRecordParseInt(const wchar_t* option,
                      const wchar_t* text,
                      long long low,
                      long long high,
                      long long& value,
                      std::wstring& error) {
  wchar_t* end = nullptr;
  errno = 0;
  const long long v = std::wcstoll(text, &end, 10);
  if (end == text || *end != 0 || errno == ERANGE || v < low || v > high) {
    error = std::wstring(option) + L" \"" + text + L"\": expected a whole number from " +
            std::to_wstring(low) + L" to " + std::to_wstring(high);
    return false;
  }
  value = v;
  return true;
}
